#include "dcc/download_folders.h"

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include <sys/stat.h>

#include "core/file_type_rules.h"
#include "core/files.h"
#include "core/ini.h"
#include "core/main_settings.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"

namespace {

std::string absolute(std::string path)
{
    if (path.empty())
        return path;
    file_fix_slashes(path);
    file_abs_settings_dir(path);
    return path;
}

std::string with_slash(std::string folder)
{
    if (!folder.empty() && folder.back() != '/')
        folder += '/';
    return folder;
}

// A rule text rebuilt from its parts; a part that is empty is left out.
std::string compose(const std::string& masks, const std::string& folder, const std::string& program,
                    const std::string& command, const std::string& options)
{
    std::string rule = masks + "EXTDIR:" + folder;
    if (!program.empty())
        rule += "EXTAPP:" + program;
    if (!command.empty())
        rule += "EXTCOM:" + command;
    if (!options.empty())
        rule += "EXTOPT:" + options;
    return rule;
}

// A rule as it lives in memory: masks cut to the first word, folder and
// program absolute.
std::string in_memory(const std::string& rule)
{
    return compose(dcc_ext_rule_part(rule, 0), absolute(dcc_ext_rule_part(rule, 1)),
                   absolute(dcc_ext_rule_part(rule, 2)), dcc_ext_rule_part(rule, 3), dcc_ext_rule_part(rule, 4));
}

// The same rule as the file keeps it: folder and program relative to the
// settings folder where they lie inside it.
std::string on_disk(const std::string& rule)
{
    auto relative = [](const std::string& path) {
        return path.empty() ? path : file_relative_to_settings_dir(absolute(path));
    };
    return compose(dcc_ext_rule_part(rule, 0), relative(dcc_ext_rule_part(rule, 1)),
                   relative(dcc_ext_rule_part(rule, 2)), dcc_ext_rule_part(rule, 3), dcc_ext_rule_part(rule, 4));
}

std::vector<std::string> read_raw()
{
    std::vector<std::string> rules;
    for (int k = 0;; ++k) {
        std::string rule;
        const std::string key = "n" + std::to_string(k);
        ini_read("extensions", key.c_str(), "", rule, kLongTextSize, main_ini_path);
        if (rule.empty())
            break;
        rules.push_back(std::move(rule));
    }
    return rules;
}

bool any_rule_mentions(const std::vector<std::string>& rules, const char* ext)
{
    for (const std::string& r : rules)
        if (text_find_nocase(r, ext) != std::string::npos)
            return true;
    return false;
}

// Rules for the sound folders, on a fresh list: one rule for all five types
// when all have the same existing folder, else one per type that has one.
bool add_sound_rules(std::vector<std::string>& rules)
{
    struct Sound {
        const char* ext;
        const std::string* folder;
    };
    const Sound sounds[] = {{".wav", &main_settings.waves_dir}, {".mid", &main_settings.midis_dir},
                            {".mp3", &main_settings.mp3s_dir},  {".wma", &main_settings.wmas_dir},
                            {".ogg", &main_settings.oggs_dir}};
    std::vector<const Sound*> qualify;
    for (const Sound& s : sounds)
        if (!s.folder->empty() && file_exists(*s.folder, 2) && !any_rule_mentions(rules, s.ext))
            qualify.push_back(&s);
    if (qualify.empty())
        return false;
    bool same = qualify.size() == 5;
    for (const Sound* s : qualify)
        same = same && file_same_path(with_slash(*s->folder), with_slash(*qualify[0]->folder));
    if (same) {
        rules.push_back("*.wav,*.mid,*.mp3,*.wma,*.oggEXTDIR:" + with_slash(*qualify[0]->folder));
        return true;
    }
    for (const Sound* s : qualify)
        rules.push_back(std::string("*") + s->ext + "EXTDIR:" + with_slash(*s->folder));
    return true;
}

int g_load_listener = 0;

}  // namespace

void download_folders_install()
{
    settings_loaded.add_once(g_load_listener, kLoadDccExtensions, [](SettingsLoad&) { dcc_ext_rules_load(); });
}

void download_folders_uninstall()
{
    settings_loaded.drop(g_load_listener);
}

int dcc_ext_rules_load()
{
    // An old single receive folder becomes the default rule.
    std::string first;
    ini_read("extensions", "n0", "", first, kLongTextSize, main_ini_path);
    if (first.empty()) {
        std::string getdir;
        ini_read("dirs", "getdir", "", getdir, kLongTextSize, main_ini_path);
        if (!getdir.empty()) {
            ini_write("extensions", "n0", ("defaultEXTDIR:" + getdir).c_str(), main_ini_path);
            ini_write("dirs", "getdir", nullptr, main_ini_path);
        }
    }

    std::vector<std::string> rules;
    bool have_default = false;
    for (const std::string& raw : read_raw()) {
        if (raw.find("EXTDIR:") == std::string::npos)
            continue;
        const std::string rule = in_memory(raw);
        if (dcc_ext_is_default_name(dcc_ext_rule_part(rule, 0))) {
            if (have_default)
                continue;
            have_default = true;
            rules.insert(rules.begin(), rule);
        } else {
            rules.push_back(rule);
        }
    }
    bool save = false;
    if (!have_default) {
        rules.insert(rules.begin(), "defaultEXTDIR:" + settings_dir);
        save = true;
    }

    // The default folder must exist and must not be the settings folder.
    const std::string folder = with_slash(absolute(dcc_ext_rule_part(rules[0], 1)));
    if (folder.empty() || file_same_path(folder, settings_dir) || !file_exists(folder, 2)) {
        std::string download = settings_dir + "download";
        if (!file_exists(download, 2))
            download = settings_dir + "downloads";
        if (file_exists(download, 2) || file_make_dir(download)) {
            const std::string& r = rules[0];
            rules[0] = compose(dcc_ext_rule_part(r, 0), download + "/", dcc_ext_rule_part(r, 2),
                               dcc_ext_rule_part(r, 3), dcc_ext_rule_part(r, 4));
            if (!save)
                ini_write("extensions", "n0", on_disk(rules[0]).c_str(), main_ini_path);
        }
    }
    if (save) {
        add_sound_rules(rules);
        dcc_ext_rules_save(rules);
    }
    return static_cast<int>(rules.size());
}

int dcc_ext_rules_save(const std::vector<std::string>& rules)
{
    int n = 0;
    int ok = 1;
    for (const std::string& rule : rules) {
        if (rule.find("EXTDIR:") == std::string::npos)
            continue;
        const std::string key = "n" + std::to_string(n++);
        if (!ini_write("extensions", key.c_str(), on_disk(rule).c_str(), main_ini_path))
            ok = 0;
    }
    if (!ini_delete_numbered_from("extensions", "n", n, main_ini_path))
        ok = 0;
    return ok;
}

int dcc_nick_folder_name(const std::string& nick, std::string& out)
{
    out.clear();
    if (nick.size() >= 256)
        return 0;
    std::string n = nick.substr(0, nick.find(' '));
    for (char& ch : n) {
        const unsigned char c = static_cast<unsigned char>(ch);
        const bool keep = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                          std::strchr("[]^_`{}()-", c) != nullptr || c > 127;
        if (!keep || c == 0)
            ch = '_';
    }
    if (n.empty())
        return 0;
    out = n;
    return 1;
}

std::string dcc_nick_folder(const std::string& folder, const std::string& nick)
{
    std::string name;
    if (!dcc_nick_folder_name(nick, name))
        return folder;
    return with_slash(folder) + name + "/";
}

int dcc_clean_file_name(const std::string& offered, std::string& out)
{
    out.clear();
    std::string name = offered;
    const std::size_t sep = name.find_last_of("/\\");
    if (sep != std::string::npos)
        name.erase(0, sep + 1);
    name = text_trim_blanks(name);
    if (name.empty() || name == "." || name == ".." || name.size() > kDccFileNameMax)
        return 0;
    for (char& ch : name)
        if (ch == 0 || static_cast<unsigned char>(ch) == 127)
            ch = '_';
    file_sanitize_name(name, false);
    if (file_is_device(name))
        return 0;
    out = name;
    return 1;
}

int dcc_receive_path(const std::string& folder, const std::string& offered, std::string& out)
{
    out.clear();
    std::string name;
    if (folder.empty() || !dcc_clean_file_name(offered, name))
        return 0;
    const std::string dir = with_slash(folder);
    const std::string path = dir + name;
    // Directly inside, and never through a link named like the file: a
    // link (even one whose target does not exist yet) would put the data
    // wherever it points.
    struct stat st;
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode))
        return 0;
    if (!file_path_is_inside(path, dir))
        return 0;
    out = path;
    return 1;
}
