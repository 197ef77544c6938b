// The main settings file: start-up load, the savers of its sections, and the
// user lists of "control.ini".
#include "core/main_settings.h"

#include <cstdlib>
#include <string>
#include <string_view>

#include "core/files.h"
#include "core/ini.h"
#include "core/options.h"
#include "core/string_list.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "core/time_date.h"

#ifndef KEST_VERSION
#define KEST_VERSION "0.1.0"
#endif

const char* const kDefaultDccAcceptTypes =
    "*.jpg,*.gif,*.png,*.bmp,*.txt,*.log,*.wav,*.mid,*.mp3,*.wma,*.ogg,*.zip";
const char* const kDefaultDccIgnoreTypes =
    "*.exe,*.com,*.bat,*.dll,*.ini,*.kst,*.vbs,*.js,*.pif,*.scr,*.lnk,*.pl,*.shs,*.htm,*.html,*.wmf";
const char* const kProgramVersionText = "Kest " KEST_VERSION;

MainSettings main_settings;
Signal<void(SettingsLoad&)> settings_loaded;
Signal<void()> settings_saving;

namespace {

std::string read_key(const char* section, const char* key, const char* def, std::size_t size)
{
    std::string out;
    ini_read(section, key, def, out, size, main_ini_path);
    return out;
}

void write_key(const char* section, const char* key, const std::string& value)
{
    ini_write(section, key, value.c_str(), main_ini_path);
}

// A decimal number as the older files store it: leading blanks, an optional
// sign, digits up to the first other character; nothing gives 0.
long long read_decimal(const std::string& text)
{
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
        negative = text[i] == '-';
        ++i;
    }
    long long v = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        if (v < 100000000000LL)
            v = v * 10 + (text[i] - '0');
    }
    return negative ? -v : v;
}

// A list of file types split at ",", blanks around each entry removed and
// empty entries dropped.
StringNode* split_types(const std::string& text)
{
    StringNode* head = nullptr;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find(',', start);
        if (end == std::string::npos)
            end = text.size();
        std::size_t a = start, b = end;
        while (a < b && (text[a] == ' ' || text[a] == '\t'))
            ++a;
        while (b > a && (text[b - 1] == ' ' || text[b - 1] == '\t'))
            --b;
        if (b > a) {
            if (StringNode* h = strlist_append(head, std::string_view(text).substr(a, b - a), 0))
                head = h;
        }
        start = end + 1;
    }
    return head;
}

// The entries joined with ","; joining stops after the entry that brings the
// text to 1,024 characters or more.
std::string join_types(const StringNode* list)
{
    std::string out;
    for (const StringNode* n = list; n; n = n->next) {
        if (n->text.empty())
            continue;
        if (!out.empty())
            out += ',';
        out += n->text;
        if (out.size() >= kMediumText)
            break;
    }
    return out;
}

// A file setting read into an absolute path; an empty setting stays empty.
std::string absolute_or_empty(std::string path)
{
    if (!path.empty())
        file_abs_settings_dir(path);
    return path;
}

// A folder with a default subfolder of the settings folder: an empty setting
// takes the default, which is made when missing; the result is absolute and
// ends in "/".
void default_folder(std::string& dir, const char* subfolder)
{
    if (dir.empty()) {
        dir = settings_dir + subfolder;
        file_make_dir(dir);
    } else {
        file_abs_settings_dir(dir);
    }
    file_add_trailing_slash(dir);
}

// A folder that falls back to another folder when empty; absolute, ending in
// "/".
void folder_or(std::string& dir, const std::string& fallback)
{
    if (dir.empty())
        dir = fallback;
    file_abs_settings_dir(dir);
    file_add_trailing_slash(dir);
}

struct UserListSlot {
    const char* old_section;  // its older place in the main file
    const char* header;       // its section in "control.ini"
    StringNode* MainSettings::*list;
    int bit;
};

constexpr UserListSlot kUserLists[] = {
    {"ignore", "[ignore]", &MainSettings::ignore_list, 1},
    {"autoop", "[op]", &MainSettings::aop_list, 2},
    {"voice", "[voice]", &MainSettings::avoice_list, 4},
    {"protect", "[protect]", &MainSettings::protect_list, 8},
};

// The other parts' loaders of the steps from `from` up to `to`.
void load_others(int from, int to, SettingsLoad& load)
{
    settings_loaded.fire_range(from, to, load);
}

// The same for steps that need the first connection.
void load_others_of_connection(int from, int to, SettingsLoad& load)
{
    if (load.first)
        settings_loaded.fire_range(from, to, load);
}

void load_text_section()
{
    MainSettings& s = main_settings;
    s.default_port = read_key("text", "defport", "", kShortTextSize);
    if (read_decimal(s.default_port) < 1)
        s.default_port = "6667";
    s.last_reset = read_key("text", "lastreset", "", kShortTextSize);
    s.app_title = read_key("text", "aptitle", "", kMediumTextSize);
    s.command_char = read_key("text", "commandchar", "/", kShortTextSize);
    if (s.command_char.empty())
        s.command_char = "/";

    std::string types = read_key("text", "accept", "", kLongTextSize);
    strlist_free(&s.dcc_accept_types);
    s.dcc_accept_types = split_types(types.empty() ? kDefaultDccAcceptTypes : types);
    types = read_key("text", "ignore", "", kLongTextSize);
    strlist_free(&s.dcc_ignore_types);
    s.dcc_ignore_types = split_types(types.empty() ? kDefaultDccIgnoreTypes : types);

    s.line_separator = read_key("text", "linesep", "-", kShortTextSize);
    if (text_equal_nocase(s.line_separator, "none"))
        s.line_separator.clear();
    else if (text_equal_nocase(s.line_separator, "space"))
        s.line_separator = " ";

    s.finger_text = read_key("text", "finger", "", kMediumTextSize);
    s.quit_message = read_key("text", "quit", "", kMediumTextSize);

    time_stamp_format = read_key("text", "timestamp", "", kShortTextSize);
    if (time_stamp_format.empty())
        time_stamp_format = "[HH:nn]";
    text_squeeze_char(time_stamp_format, ' ');
    time_log_stamp_format = read_key("text", "logstamp", "", kShortTextSize);
    if (time_log_stamp_format.empty())
        time_log_stamp_format = time_stamp_format;
    text_squeeze_char(time_log_stamp_format, ' ');
}

void load_fileserver_section()
{
    MainSettings& s = main_settings;
    // An empty home folder stays empty: serving the settings folder itself
    // would hand out the settings files.
    s.fserve_home = absolute_or_empty(read_key("fileserver", "homedir", "", kMediumTextSize));
    if (!s.fserve_home.empty())
        file_add_trailing_slash(s.fserve_home);
    s.fserve_welcome = absolute_or_empty(read_key("fileserver", "welcome", "", kMediumTextSize));

    std::string old = read_key("fileserver", "warning", "", kShortTextSize);
    if (!old.empty()) {
        s.warn_fserve = text_equal_nocase(old, "off") ? 0 : 1;
        write_key("warn", "fserve", s.warn_fserve ? "on" : "off");
        ini_write("fileserver", "warning", nullptr, main_ini_path);
    } else {
        s.warn_fserve = text_equal_nocase(read_key("warn", "fserve", "", kShortTextSize), "off") ? 0 : 1;
    }
    s.warn_dcc = text_equal_nocase(read_key("warn", "dcc", "", kShortTextSize), "off") ? 0 : 1;
    s.wizard_warning = static_cast<int>(read_decimal(read_key("wizard", "warning", "", kShortTextSize)));
}

void load_dirs_section()
{
    MainSettings& s = main_settings;
    s.send_dir = read_key("dirs", "senddir", "", kMediumTextSize);
    file_folder_setting(s.send_dir);
    s.log_dir = read_key("dirs", "logdir", "", kMediumTextSize);
    default_folder(s.log_dir, "logs");
    s.pics_dir = read_key("dirs", "pics", "", kMediumTextSize);
    file_folder_setting(s.pics_dir);
    s.waves_dir = read_key("dirs", "waves", "", kMediumTextSize);
    default_folder(s.waves_dir, "sounds");
    s.midis_dir = read_key("dirs", "midis", "", kMediumTextSize);
    folder_or(s.midis_dir, s.waves_dir);
    s.mp3s_dir = read_key("dirs", "mp3s", "", kMediumTextSize);
    folder_or(s.mp3s_dir, s.waves_dir);
    s.wmas_dir = read_key("dirs", "wmas", "", kMediumTextSize);
    folder_or(s.wmas_dir, s.waves_dir);
    s.oggs_dir = read_key("dirs", "oggs", "", kMediumTextSize);
    folder_or(s.oggs_dir, s.waves_dir);
    s.chans_dir = read_key("dirs", "chans", "", kMediumTextSize);
    default_folder(s.chans_dir, "channels");
    ini_save_dirs();
}

}  // namespace

// ---------------------------------------------------------------------------
// Load

std::string settings_control_ini_path()
{
    return settings_dir + "control.ini";
}

long long settings_decimal(const std::string& text)
{
    return read_decimal(text);
}

void ini_load_user_lists()
{
    const std::string control = settings_control_ini_path();
    for (const UserListSlot& slot : kUserLists) {
        StringNode*& list = main_settings.*(slot.list);
        strlist_free(&list);
        StringNode* old = ini_read_numbered_list(slot.old_section, "n", nullptr, main_ini_path, 0);
        if (old) {
            list = old;
            // The old section goes only once its entries are safe in the new file.
            if (ini_save_list_file(control, slot.header, list))
                ini_write(slot.old_section, nullptr, nullptr, main_ini_path);
        } else {
            list = ini_load_list_file(control, slot.header, 0, 0);
        }
    }
}

int settings_load_all(Connection* first)
{
    MainSettings& s = main_settings;
    SettingsLoad load;
    load.first = first;

    // 1. Identity.
    load_others_of_connection(kLoadIdentity, kLoadServersFile, load);

    // 2. The server list.
    s.servers_file = read_key("files", "servers", "", kMediumTextSize);
    file_setting_path(s.servers_file, "servers.ini");

    // 3. The first connection's server, 4. its local host.
    load_others_of_connection(kLoadFirstServer, kLoadDccPorts, load);

    // 5. DCC.
    load_others(kLoadDccPorts, kLoadFiles, load);

    // 6. The URL list.
    s.urls_file = read_key("files", "urls", "", kMediumTextSize);
    file_setting_path(s.urls_file, "urls.ini");
    strlist_free(&s.url_list);
    s.url_list = ini_load_list_file(s.urls_file, "[urls]", 2, 0);

    // 7. The channels folder list lives in the main file.
    s.chanfolder_file = main_ini_path;

    // 8. The address book.
    s.addrbk_file = read_key("files", "addrbk", "", kMediumTextSize);
    file_setting_path(s.addrbk_file, "addrbk.ini");

    // 9. The browser is found again at every start.
    ini_write("files", "browser", nullptr, main_ini_path);
    s.browser_path.clear();
    load_others(kLoadBrowser, kLoadSections, load);

    // 10. Tray icon and finger file.
    s.trayicon_file = absolute_or_empty(read_key("files", "trayicon", "", kMediumTextSize));
    s.finger_file = absolute_or_empty(read_key("files", "finger", "", kMediumTextSize));

    // 11. Texts.
    load_text_section();

    // 12. File server and warnings.
    load_fileserver_section();

    // 13. Folders.
    load_dirs_section();

    // 14. The link warning and an old section.
    s.warn_link = text_equal_nocase(read_key("warn", "link", "", kShortTextSize), "off") ? 0 : 1;
    if (!read_key("kestlink", "exe", "", kShortTextSize).empty())
        ini_write("kestlink", nullptr, nullptr, main_ini_path);

    // 15. The other parts' loaders, the option lines and the user lists
    // among them.
    load_others(kLoadLanguage, kLoadNotifyList, load);
    load_others_of_connection(kLoadNotifyList, kLoadNotifyOptions, load);
    load_others(kLoadNotifyOptions, kLoadOptionLines, load);
    options_load();
    if (options_old_default_port > 0)
        s.default_port = std::to_string(options_old_default_port);
    load_others(kLoadOptionLines, kLoadUserLists, load);
    ini_load_user_lists();
    load_others(kLoadUserLists, kLoadMode, load);

    // 16. Compact mode.
    s.compact_mode = 0;
    if (text_equal_nocase(read_key("mode", "state", "normal", kShortTextSize), "compact")) {
        s.compact_mode = 1;
        opt_set(OPT_TREEBAR_SIDE, 1);
        opt_set(OPT_TREEBAR_SHOWN, 1);
    }

    // 17. The live identity, the server group, the channels-list filter.
    load_others_of_connection(kLoadIdentityCopy, kLoadServerGroup, load);
    load_others(kLoadServerGroup, kLoadChannelsFilter, load);
    load_others_of_connection(kLoadChannelsFilter, kLoadVersion, load);

    // 18. The version.
    if (!text_equal_nocase(read_key("about", "version", "", kShortTextSize), kProgramVersionText))
        write_key("about", "version", kProgramVersionText);

    // 19. The script files; the remote files' loader gives the load's result.
    load_others(kLoadAliasFiles, kLoadEnd, load);
    return load.result;
}

// ---------------------------------------------------------------------------
// Save

void settings_save_all()
{
    settings_saving.fire_range(kSettingsSaveMainWindow, kSettingsSaveOptionLines);
    ini_save_options();
    ini_save_text_settings();
    settings_saving.fire_range(kSettingsSaveNickColours, kSettingsSaveTrusted);
    ini_save_user_lists(0);
}

void ini_save_user_lists(int flags)
{
    if (flags == 0)
        flags = 15;
    const std::string control = settings_control_ini_path();
    for (const UserListSlot& slot : kUserLists)
        if (flags & slot.bit)
            ini_save_list_file(control, slot.header, main_settings.*(slot.list));
}

void ini_save_dirs()
{
    MainSettings& s = main_settings;
    struct Folder {
        const char* key;
        std::string* dir;
    };
    const Folder folders[] = {
        {"senddir", &s.send_dir}, {"logdir", &s.log_dir}, {"pics", &s.pics_dir},
        {"waves", &s.waves_dir},  {"midis", &s.midis_dir}, {"mp3s", &s.mp3s_dir},
        {"wmas", &s.wmas_dir},    {"oggs", &s.oggs_dir},
    };
    for (const Folder& f : folders) {
        file_folder_setting(*f.dir);
        write_key("dirs", f.key, file_relative_to_settings_dir(*f.dir));
    }
}

void ini_save_text_settings()
{
    const MainSettings& s = main_settings;
    write_key("text", "defport", s.default_port);
    write_key("text", "lastreset", s.last_reset);
    write_key("text", "aptitle", s.app_title);
    write_key("text", "commandchar", s.command_char);
    if (s.line_separator.empty())
        write_key("text", "linesep", "none");
    else if (s.line_separator == " ")
        write_key("text", "linesep", "space");
    else
        write_key("text", "linesep", s.line_separator);
    write_key("text", "finger", s.finger_text);
    write_key("text", "quit", s.quit_message);
    write_key("text", "timestamp", time_stamp_format);
    write_key("text", "logstamp", time_log_stamp_format);
    write_key("text", "accept", join_types(s.dcc_accept_types));
    write_key("text", "ignore", join_types(s.dcc_ignore_types));

    write_key("files", "servers", file_relative_to_settings_dir(s.servers_file));
    write_key("files", "trayicon", file_relative_to_settings_dir(s.trayicon_file));
    write_key("files", "finger", file_relative_to_settings_dir(s.finger_file));
    write_key("files", "urls", file_relative_to_settings_dir(s.urls_file));
    write_key("files", "addrbk", file_relative_to_settings_dir(s.addrbk_file));
}

void ini_save_main_window_placement(const MainWindowPlacement& p, bool shift_held)
{
    // The stored line's sixth and seventh fields are kept.
    int fields[7] = {0, 0, 0, 0, 0, 1, 0};
    const std::string stored = read_key("windows", "main", "0,0,0,0,0,1,0", kLongTextSize);
    ini_csv_begin(stored);
    for (int& f : fields)
        f = ini_next_csv_int(f);
    ini_csv_begin(std::string());

    int state;
    const int tray_state = p.restores_maximised ? 4 : 3;
    if (p.hidden_in_tray && !p.visible)
        state = tray_state;
    else if (p.minimised)
        state = 1;
    else if (p.maximised)
        state = 2;
    else
        state = 0;
    if (shift_held)
        state = tray_state;

    int left = p.normal_left, top = p.normal_top, width = p.normal_width, height = p.normal_height;
    if (state == 0) {
        left = p.left;
        top = p.top;
        width = p.width;
        height = p.height;
    }
    const std::string line = std::to_string(left) + "," + std::to_string(width) + "," + std::to_string(top) +
                             "," + std::to_string(height) + "," + std::to_string(state) + "," +
                             std::to_string(fields[5]) + "," + std::to_string(fields[6]);
    write_key("windows", "main", line);
}

void main_settings_free_lists()
{
    MainSettings& s = main_settings;
    strlist_free(&s.url_list);
    strlist_free(&s.dcc_accept_types);
    strlist_free(&s.dcc_ignore_types);
    for (const UserListSlot& slot : kUserLists)
        strlist_free(&(s.*(slot.list)));
}
