#include "display/window_buffer.h"

#include <QFileDialog>
#include <QListWidget>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <ctime>
#include <set>
#include <vector>

#include "display/child_layout.h"
#include "display/child_controls.h"
#include "model/connection.h"
#include "model/window_record.h"
#include "core/files.h"
#include "core/numbered_texts.h"
#include "core/options.h"
#include "core/string_list.h"
#include "core/text_buffer.h"
#include "core/time_date.h"
#include "model/colors.h"
#include "model/line_buffer.h"
#include "display/logging.h"
#include "display/text_marking.h"
#include "platform/platform_utils.h"

namespace {

constexpr std::size_t kBlock = 8192;
constexpr int kReloadLines = 500;
constexpr int kReloadDays = 30;

bool window_shows_stamps(WindowRecord* rec)
{
    if (!rec)
        return false;
    return rec->timestamp == 1 || (rec->timestamp == 2 && opt(OPT_TIMESTAMP_EVENTS));
}

// The palette index a logged line names with its leading colour code.
std::uint32_t line_colour_of(const std::string& line)
{
    if (line.size() >= 2 && line[0] == 0x03 && std::isdigit(static_cast<unsigned char>(line[1]))) {
        int n = line[1] - '0';
        if (line.size() >= 3 && std::isdigit(static_cast<unsigned char>(line[2])))
            n = n * 10 + (line[2] - '0');
        if (n <= 15)
            return static_cast<std::uint32_t>(color_resolve(static_cast<std::uint32_t>(n)));
    }
    return kColorNormalText;
}

}  // namespace

void buffer_list_items(WindowRecord* rec, std::vector<std::string>& out, std::vector<int>* colours)
{
    out.clear();
    if (colours)
        colours->clear();
    ListBox* list = win_is_record(rec) ? rec->listbox.get() : nullptr;
    if (!list)
        return;
    for (int i = 0; i < list->count(); ++i) {
        out.push_back(list->item(i)->text().toStdString());
        if (colours)
            colours->push_back(list->item(i)->data(Qt::UserRole).toInt());
    }
}

void buffer_list_add(WindowRecord* rec, const std::string& text, int colour)
{
    ListBox* list = win_is_record(rec) ? rec->listbox.get() : nullptr;
    if (!list)
        return;
    auto* item = new QListWidgetItem(QString::fromStdString(text));
    item->setData(Qt::UserRole, colour < 0 ? color_resolve(kColorListboxText) : colour);
    list->addItem(item);
}

void buffer_view_to_end(WindowRecord* rec)
{
    if (!win_is_record(rec))
        return;
    win_recalc_scroll(rec, 1);
    rec->scroll_pos = rec->scroll_end;
    win_update_vscroll(rec);
    if (TextArea* area = rec->text_area.get())
        area->update();
}

std::string log_reload_filter(WindowRecord* rec, const std::string& following,
                              const std::string& line, const std::string& stamp)
{
    const std::string separator = display_separator_text();
    std::string text = line.empty() ? separator : line;
    // Header lines never come back.
    for (int id : {3709, 3701, 3702}) {
        const std::string header = text_load_string(id);
        if (!header.empty() && text.size() >= header.size() &&
            text_equal_nocase(std::string_view(text).substr(0, header.size()), header))
            return std::string();
    }
    // Runs of separators shrink to one.
    const std::string next = following.empty() ? separator : following;
    if (text == separator && next == separator)
        return std::string();
    // The log stamp, after a leading colour code.
    std::size_t start = 0;
    if (!text.empty() && text[0] == 0x03) {
        start = 1;
        for (int d = 0; d < 2 && start < text.size() && std::isdigit(static_cast<unsigned char>(text[start])); ++d)
            ++start;
        if (text.compare(start, 3, ",99") == 0)
            start += 3;
    }
    if (stamp.empty() || window_shows_stamps(rec))
        return text;
    std::size_t t = 0, p = start;
    while (t < stamp.size() && p < text.size()) {
        const bool digit_t = std::isdigit(static_cast<unsigned char>(stamp[t]));
        if (digit_t && std::isdigit(static_cast<unsigned char>(text[p]))) {
            while (t < stamp.size() && std::isdigit(static_cast<unsigned char>(stamp[t])))
                ++t;
            while (p < text.size() && std::isdigit(static_cast<unsigned char>(text[p])))
                ++p;
        } else if (stamp[t] == text[p]) {
            ++t;
            ++p;
        } else {
            return text;
        }
    }
    if (t == stamp.size() && p < text.size() && text[p] == ' ')
        text.erase(start, p + 1 - start);
    return text;
}

StringNode* log_read_tail(const std::string& path, int count, int filter, WindowRecord* rec,
                          int* failed)
{
    if (failed)
        *failed = 0;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        if (failed)
            *failed = 1;
        return nullptr;
    }
    std::string stamp;
    if (filter && win_is_record(rec))
        time_stamp_text(stamp, 3);
    const std::string separator = display_separator_text();
    std::vector<std::string> lines;   // newest first
    std::string newer;                // the raw line after the one being taken
    bool at_end = true;               // nothing taken yet: the file's last terminator
    auto take = [&](const std::string& line) {
        if (at_end) {
            at_end = false;
            if (line.empty())
                return;
        }
        std::string kept = line;
        bool counts = true;
        if (filter & 1) {
            kept = log_reload_filter(rec, newer, line, stamp);
            counts = !kept.empty() && !((filter & 2) && kept == separator);
        }
        newer = line;
        if (counts) {
            lines.push_back(kept);
            --count;
        }
    };
    std::fseek(f, 0, SEEK_END);
    long pos = std::ftell(f);
    std::string carry;   // the unfinished first line of the block read last
    std::string block;
    while (count > 0) {
        if (pos <= 0) {
            if (!carry.empty() || !at_end)
                take(carry);
            break;
        }
        const long size = std::min<long>(static_cast<long>(kBlock), pos);
        const long from = pos - size;
        block.resize(static_cast<std::size_t>(size));
        std::fseek(f, from, SEEK_SET);
        if (std::fread(block.data(), 1, block.size(), f) != block.size())
            break;
        if (block.find_first_of("\r\n") == std::string::npos)
            break;   // a line longer than a block is not returned
        const std::string text = block + carry;
        std::size_t end = text.size();
        for (std::size_t i = text.size(); i-- > 0 && count > 0;) {
            if (text[i] != '\n' && text[i] != '\r')
                continue;
            take(text.substr(i + 1, end - (i + 1)));
            if (text[i] == '\n' && i > 0 && text[i - 1] == '\r')
                --i;
            end = i;
        }
        carry = text.substr(0, end);
        pos = from;
    }
    std::fclose(f);
    StringNode* list = nullptr;
    for (auto it = lines.rbegin(); it != lines.rend(); ++it)
        list = strlist_append(list, *it, 0);
    return list;
}

void log_reload_into_window(WindowRecord* rec)
{
    if (!win_is_record(rec) || (rec->type != kWinChannel && rec->type != kWinQuery))
        return;
    const int bits = opt(OPT_LOG_RELOAD);
    if (!(rec->type == kWinChannel ? (bits & 1) : (bits & 2)))
        return;
    const bool was_logging = rec->logging != 0;
    if (was_logging)
        log_close(rec, 0);
    std::vector<std::string> collected;   // oldest first
    std::set<std::string> seen;
    int wanted = kReloadLines;
    for (int day = 0; day < kReloadDays && wanted > 0; ++day) {
        std::string path;
        log_compose_path(rec->log_text, rec->type, 1, day, rec->conn, path);
        if (path.empty() || !seen.insert(path).second)
            continue;
        int failed = 0;
        StringNode* tail = log_read_tail(path, wanted, 1, rec, &failed);
        std::vector<std::string> these;
        for (StringNode* n = tail; n; n = n->next)
            these.push_back(n->text);
        strlist_free(&tail);
        collected.insert(collected.begin(), these.begin(), these.end());
        wanted = kReloadLines - static_cast<int>(collected.size());
    }
    for (const std::string& line : collected)
        if (!line_new(rec, line.c_str(), 0, line_colour_of(line), 1, 0, 0))
            break;
    if (was_logging && win_is_record(rec))
        log_open(rec, 0);
    if (!win_is_record(rec))
        return;
    buffer_view_to_end(rec);
}

// ---- Saving the buffer ----

namespace {

// A numbered text with its "%s" forms filled in turn.
std::string filled(int id, const std::string& a, const std::string& b = std::string())
{
    std::string form;
    text_load_string(id, &form);
    std::string out;
    int n = 0;
    for (std::size_t i = 0; i < form.size(); ++i) {
        if (form[i] == '%' && i + 1 < form.size() && form[i + 1] == 's') {
            out += n++ == 0 ? a : b;
            ++i;
        } else {
            out += form[i];
        }
    }
    return out;
}

bool has_lines(const WindowRecord* rec)
{
    for (const StringNode* n = rec->lines; n; n = n->next)
        if (!line_is_marker(n))
            return true;
    return false;
}

}  // namespace

int win_save_buffer_to(WindowRecord* rec, const std::string& path)
{
    if (!win_is_record(rec) || !conn_is_live(rec->conn) || !has_lines(rec)) {
        beep_error(0);
        return 0;
    }
    QWidget* status = rec->conn->status_window.data();
    bool ok = false;
    if (!file_is_device(path)) {
        if (std::FILE* f = std::fopen(path.c_str(), "a")) {
            const std::string now = time_ctime_text(std::time(nullptr));
            std::string head = "\n" + filled(3708, rec->name, now);
            ok = std::fputs(head.c_str(), f) >= 0;
            if (ok && rec->type == kWinQuery && rec->subtype == kQueryPrivate) {
                const std::string title = rec->hwnd ? rec->hwnd->windowTitle().toStdString() : std::string();
                if (title.find('@') != std::string::npos)
                    ok = std::fputs((filled(3709, "") + " " + title + "\n").c_str(), f) >= 0;
            }
            for (const StringNode* n = rec->lines; n && ok; n = n->next) {
                if (line_is_marker(n))
                    continue;
                ok = std::fwrite(n->text.data(), 1, n->text.size(), f) == n->text.size() &&
                     std::fputc('\n', f) != EOF;
            }
            if (ok)
                ok = std::fputs(filled(3710, rec->name, now).c_str(), f) >= 0;
            ok = std::fclose(f) == 0 && ok;
        }
    }
    if (status)
        echo_line(status, ok ? filled(3712, rec->name, path) : filled(3711, path), kColorInfoText);
    return ok ? 1 : 0;
}

void win_save_buffer(WindowRecord* rec)
{
    if (!win_is_record(rec) || !conn_is_live(rec->conn) || !has_lines(rec)) {
        beep_error(0);
        return;
    }
    std::string name;
    log_base_name(rec->name, name, rec->conn);
    file_avoid_device_name(name);
    const std::string start = log_folder() + name;
    const QString chosen =
        QFileDialog::getSaveFileName(rec->hwnd.get(), QString::fromUtf8(text_load_string(5103)),
                                     QString::fromStdString(start), QString(), nullptr,
                                     QFileDialog::DontUseNativeDialog | QFileDialog::DontConfirmOverwrite);
    if (chosen.isEmpty() || !win_is_record(rec))
        return;
    std::string path = chosen.toStdString();
    const std::size_t slash = path.find_last_of('/');
    if (path.find('.', slash == std::string::npos ? 0 : slash + 1) == std::string::npos)
        path += ".log";
    win_save_buffer_to(rec, path);
}
