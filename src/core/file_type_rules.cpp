#include "core/file_type_rules.h"

#include <cstdlib>
#include <string>
#include <vector>

#include "core/files.h"
#include "core/ini.h"
#include "core/numbered_texts.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "core/wildcard.h"

namespace {

std::string absolute_folder(std::string folder)
{
    if (folder.empty())
        return settings_dir;
    file_fix_slashes(folder);
    file_abs_settings_dir(folder);
    if (folder.back() != '/')
        folder += '/';
    return folder;
}

// The default rule's folder, or the settings folder's "download" (else
// "downloads") folder where it is missing or is the settings folder itself.
std::string default_folder(const std::string* rule)
{
    const std::string folder = absolute_folder(rule ? dcc_ext_rule_part(*rule, 1) : std::string());
    if (!file_same_path(folder, settings_dir) && file_exists(folder, 2))
        return folder;
    const std::string download = settings_dir + "download/";
    return file_exists(download, 2) ? download : settings_dir + "downloads/";
}

std::string action_of(const std::string& rule)
{
    std::string program = dcc_ext_rule_part(rule, 2);
    if (!program.empty()) {
        file_fix_slashes(program);
        return file_abs_settings_dir(program);
    }
    const std::string command = dcc_ext_rule_part(rule, 3);
    return command.empty() ? std::string() : "/" + command;
}

}  // namespace

std::vector<std::string> file_type_rules_read()
{
    std::vector<std::string> rules;
    for (int k = 0; k < 10000; ++k) {
        std::string rule;
        const std::string key = "n" + std::to_string(k);
        ini_read("extensions", key.c_str(), "", rule, kLongTextSize, main_ini_path);
        if (rule.empty())
            break;
        if (rule.find("EXTDIR:") != std::string::npos)
            rules.push_back(std::move(rule));
    }
    return rules;
}

std::string file_type_rule_folder(const std::string& rule)
{
    return absolute_folder(dcc_ext_rule_part(rule, 1));
}

std::string dcc_ext_rule_part(const std::string& rule, int part)
{
    const std::size_t dir = rule.find("EXTDIR:");
    if (dir == std::string::npos)
        return std::string();
    if (part == 0) {
        const std::string masks = rule.substr(0, dir);
        return masks.substr(0, masks.find(' '));
    }
    static const char* const marks[] = {"EXTDIR:", "EXTAPP:", "EXTCOM:", "EXTOPT:"};
    if (part < 1 || part > 4)
        return std::string();
    const std::size_t at = rule.find(marks[part - 1], dir);
    if (at == std::string::npos)
        return std::string();
    const std::size_t from = at + 7;
    std::size_t to = rule.size();
    for (int k = part; k < 4; ++k) {
        const std::size_t next = rule.find(marks[k], from);
        if (next != std::string::npos && next < to)
            to = next;
    }
    return rule.substr(from, to - from);
}

int dcc_ext_is_default_name(const std::string& text)
{
    if (text.empty())
        return 0;
    return text_equal_nocase(text, "default") || text_equal_nocase(text, text_load_string(1710)) ? 1 : 0;
}

int dcc_folder_for_file(const std::string& name, std::string& out, int kind, int* options)
{
    const std::vector<std::string> rules = file_type_rules_read();
    const std::string* def = nullptr;
    for (const std::string& r : rules)
        if (dcc_ext_is_default_name(dcc_ext_rule_part(r, 0))) {
            def = &r;
            break;
        }
    out = kind == 1 ? (def ? action_of(*def) : std::string()) : default_folder(def);
    if (options)
        *options = def ? std::atoi(dcc_ext_rule_part(*def, 4).c_str()) : 0;
    if (name.empty() || kind == 2)
        return 1;
    for (const std::string& r : rules) {
        const std::string masks = dcc_ext_rule_part(r, 0);
        if (&r == def || dcc_ext_is_default_name(masks))
            continue;
        bool hit = false;
        for (std::size_t p = 0; p <= masks.size() && !hit;) {
            std::size_t e = masks.find(',', p);
            if (e == std::string::npos)
                e = masks.size();
            const std::string mask = masks.substr(p, e - p);
            hit = !mask.empty() && wild_match(mask, name, 0, 1);
            p = e + 1;
        }
        if (!hit)
            continue;
        if (kind == 1) {
            out = action_of(r);
        } else {
            const std::string folder = absolute_folder(dcc_ext_rule_part(r, 1));
            // A rule whose folder is gone sends its files to the default one.
            if (file_exists(folder, 2))
                out = folder;
        }
        if (options)
            *options = std::atoi(dcc_ext_rule_part(r, 4).c_str());
        return 1;
    }
    return 1;
}
