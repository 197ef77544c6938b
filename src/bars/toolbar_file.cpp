#include "bars/toolbar_file.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "model/connection.h"
#include "bars/toolbar.h"
#include "core/files.h"
#include "core/ini.h"
#include "core/string_list.h"
#include "core/text_buffer.h"
#include "script/exec/script_errors.h"
#include "script/exec/script_types.h"

namespace {

std::string quoted(const std::string& text) { return "\"" + text + "\""; }

// A number, a window name (at sign) or a path made relative to the
// settings folder when it lies inside it.
std::string stored_path(const std::string& path)
{
    if (path.empty() || path[0] == '@' || text_is_digits(path))
        return path;
    return file_relative_to_settings_dir(path);
}

bool field_number(const std::string& line, int n, int& value)
{
    std::string f;
    if (!csv_field(line, n, f))
        return false;
    std::size_t i = 0;
    if (i < f.size() && f[i] == '-')
        ++i;
    if (i >= f.size() || f.size() > 11)
        return false;
    for (std::size_t k = i; k < f.size(); ++k)
        if (f[k] < '0' || f[k] > '9')
            return false;
    const long long v = std::atoll(f.c_str());
    if (v < -2147483647LL || v > 2147483647LL)
        return false;
    value = static_cast<int>(v);
    return true;
}

}  // namespace

int csv_field(const std::string& line, int n, std::string& out)
{
    out.clear();
    if (n < 1)
        return 0;
    std::size_t pos = 0;
    for (int k = 1;; ++k) {
        while (pos < line.size() && line[pos] == ' ')
            ++pos;
        std::size_t end;
        std::size_t next;
        std::size_t from = pos;
        if (pos < line.size() && line[pos] == '"') {
            const std::size_t close = line.find('"', pos + 1);
            if (close == std::string::npos)
                return 0;
            from = pos + 1;
            end = close;
            next = line.find(',', close + 1);
        } else {
            end = line.find(',', pos);
            if (end == std::string::npos)
                end = line.size();
            next = end < line.size() ? end : std::string::npos;
        }
        if (k == n) {
            out = line.substr(from, end - from);
            return 1;
        }
        if (next == std::string::npos)
            return 0;
        pos = next + 1;
    }
}

std::string toolbar_file_line(const ToolbarButton& b)
{
    const int type = (b.style & TB_SEPARATOR) ? 2 : (b.style & TB_CHECK) ? 1 : 0;
    char numbers[160];
    std::string line;
    line += quoted(b.name) + "," + quoted(b.tip) + ",";
    line += b.wide ? "1," : "0,";
    line += quoted(stored_path(b.picture)) + ",";
    std::snprintf(numbers, sizeof numbers, "%d,%d,%d,%d,%d,%d,%d,", b.image_number, b.icon_size, b.alpha,
                  b.source.x(), b.source.y(), b.source.width(), b.source.height());
    line += numbers;
    line += quoted(b.alias) + "," + quoted(stored_path(b.popup)) + ",";
    std::snprintf(numbers, sizeof numbers, "%d,%d,%d,%d,", type, (b.state & TB_ENABLED) ? 1 : 0,
                  (b.state & TB_HIDDEN) ? 1 : 0, type == 1 && (b.state & TB_CHECKED) ? 1 : 0);
    line += numbers;
    line += quoted(b.script_file.empty() ? std::string() : file_relative_to_settings_dir(b.script_file));
    return line;
}

std::string toolbar_file_command(const std::string& line)
{
    std::string name, tip, picture, alias, popup, script;
    int wide = 0, image = 0, size = 0, alpha = 0, x = 0, y = 0, w = 0, h = 0;
    int type = 0, enabled = 0, hidden = 0, checked = 0;
    if (!csv_field(line, 1, name) || !csv_field(line, 2, tip) || !field_number(line, 3, wide) ||
        !csv_field(line, 4, picture) || !field_number(line, 5, image) || !field_number(line, 6, size) ||
        !field_number(line, 7, alpha) || !field_number(line, 8, x) || !field_number(line, 9, y) ||
        !field_number(line, 10, w) || !field_number(line, 11, h) || !csv_field(line, 12, alias) ||
        !csv_field(line, 13, popup) || !field_number(line, 14, type) || !field_number(line, 15, enabled) ||
        !field_number(line, 16, hidden) || !field_number(line, 17, checked) || !csv_field(line, 18, script))
        return {};
    if (type < 0 || type > 2)
        return {};
    char buf[64];
    std::string cmd = "/!.toolbar -a";
    if (type == 2)
        cmd += "s";
    if (wide)
        cmd += "x";
    if (type == 1) {
        cmd += checked ? "k1" : "k0";
        std::snprintf(buf, sizeof buf, "n%dz%d", image, size);
        cmd += buf;
    } else if (type == 0) {
        std::snprintf(buf, sizeof buf, "n%dz%d", image, size);
        cmd += buf;
    }
    cmd += enabled ? "e" : "b";
    cmd += hidden ? "h" : "w";
    if (alpha >= 1 && alpha <= 255) {
        std::snprintf(buf, sizeof buf, "y%d", alpha);
        cmd += buf;
    }
    cmd += " " + name;
    if (type != 2) {
        cmd += " " + quoted(tip);
        std::string path = picture;
        if (!path.empty() && path[0] != '@' && !text_is_digits(path))
            file_abs_settings_dir(path);
        cmd += " " + quoted(path);
        if (x || y || w || h) {
            std::snprintf(buf, sizeof buf, " %d %d %d %d", x, y, w, h);
            cmd += buf;
        }
        if (!alias.empty())
            cmd += " " + quoted(alias);
        if (!popup.empty()) {
            // A popup stands after an alias: an empty one keeps its place.
            if (alias.empty())
                cmd += " \"\"";
            cmd += " " + quoted(popup);
        }
    }
    return cmd;
}

std::string toolbar_file_path()
{
    std::string path = "toolbar.ini";
    file_abs_settings_dir(path);
    return path;
}

int toolbar_file_load(const std::string& file, const std::string& section, Connection* conn)
{
    std::string path;
    if (!file_resolve_file_path(file, path) || !file_exists(path, 1))
        return 0;
    const std::string header = "[" + section + "]";
    StringNode* list = ini_load_list_file(path, header.c_str(), 1, 0);
    if (!list)
        return 0;
    // The first value is the count.
    std::vector<std::string> lines;
    for (StringNode* p = list->next; p; p = p->next)
        lines.push_back(p->text);
    strlist_free(&list);
    if (!conn)
        conn = conn_current();
    // Run as part of the caller's command: an error stays pending for the
    // caller to report once.
    script_exec_line(nullptr, "/!.toolbar -c", nullptr, 0, nullptr, nullptr, conn, 1);
    for (const std::string& line : lines) {
        const std::string cmd = toolbar_file_command(line);
        if (cmd.empty())
            continue;
        // Typed form: the stored texts are taken as they are, neither
        // evaluated nor split at "|".
        if (script_exec_line(nullptr, cmd.c_str(), nullptr, 0, nullptr, nullptr, conn, 1) != kScriptDone ||
            script_error_pending())
            return 0;
    }
    return 1;
}

int toolbar_file_save(const std::string& file, const std::string& section)
{
    std::string path;
    if (!file_resolve_file_path(file, path))
        return 0;
    StringNode* list = nullptr;
    const int count = toolbar_count();
    list = strlist_append(list, std::to_string(count), 0);
    for (int i = 0; i < count; ++i)
        if (const ToolbarButton* b = toolbar_button_at(i))
            list = strlist_append(list, toolbar_file_line(*b), 0);
    const std::string header = "[" + section + "]";
    const int ok = ini_save_list_file(path, header.c_str(), list);
    strlist_free(&list);
    return ok;
}

void toolbar_file_load_at_start()
{
    const std::string path = toolbar_file_path();
    if (!file_exists(path, 1))
        return;
    StringNode* list = ini_load_list_file(path, "[toolbar]", 1, 0);
    const bool has_button = list && list->next;
    strlist_free(&list);
    if (has_button && !toolbar_file_load(path, "toolbar", nullptr))
        script_error_show(nullptr, conn_current());
}
