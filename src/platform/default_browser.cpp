#include "platform/default_browser.h"

#include <cstdlib>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "core/files.h"
#include "core/main_settings.h"

namespace {

// Association and desktop files are small; a larger one is not read.
constexpr std::size_t kMaxDesktopFile = 256 * 1024;

std::string env_or(const char* name, const std::string& fallback)
{
    const char* v = std::getenv(name);
    return v && *v ? std::string(v) : fallback;
}

std::string home()
{
    return env_or("HOME", "/");
}

std::vector<std::string> split(const std::string& text, char sep)
{
    std::vector<std::string> parts;
    std::size_t from = 0;
    while (from <= text.size()) {
        std::size_t at = text.find(sep, from);
        if (at == std::string::npos)
            at = text.size();
        if (at > from)
            parts.push_back(text.substr(from, at - from));
        from = at + 1;
    }
    return parts;
}

std::string config_home() { return env_or("XDG_CONFIG_HOME", home() + "/.config"); }
std::string data_home() { return env_or("XDG_DATA_HOME", home() + "/.local/share"); }
std::vector<std::string> config_dirs() { return split(env_or("XDG_CONFIG_DIRS", "/etc/xdg"), ':'); }
std::vector<std::string> data_dirs()
{
    return split(env_or("XDG_DATA_DIRS", "/usr/local/share:/usr/share"), ':');
}

// The folders that hold desktop entries, the user's first.
std::vector<std::string> application_dirs()
{
    std::vector<std::string> dirs{data_home() + "/applications"};
    for (const std::string& d : data_dirs())
        dirs.push_back(d + "/applications");
    return dirs;
}

// The value of key in [section] of a desktop-style file; empty when absent.
std::string read_key(const std::string& path, std::string_view section, std::string_view key)
{
    std::string text;
    if (file_read_all(path, text, kMaxDesktopFile) != 1)
        return {};
    bool inside = false;
    for (const std::string& raw : split(text, '\n')) {
        std::string_view line(raw);
        while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
            line.remove_suffix(1);
        if (!line.empty() && line.front() == '[') {
            inside = line.size() == section.size() + 2 &&
                     line.substr(1, section.size()) == section;
            continue;
        }
        if (!inside)
            continue;
        const std::size_t eq = line.find('=');
        if (eq == std::string_view::npos)
            continue;
        std::string_view name = line.substr(0, eq);
        while (!name.empty() && name.back() == ' ')
            name.remove_suffix(1);
        if (name != key)
            continue;
        std::string_view value = line.substr(eq + 1);
        while (!value.empty() && value.front() == ' ')
            value.remove_prefix(1);
        return std::string(value);
    }
    return {};
}

// The desktop entry's file, the first folder's first.
std::string desktop_file(const std::string& id)
{
    if (id.empty() || id.find('/') != std::string::npos || id == "." || id == "..")
        return {};
    for (const std::string& dir : application_dirs()) {
        const std::string path = dir + "/" + id;
        if (file_exists(path, 1))
            return path;
    }
    return {};
}

bool runnable(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

}  // namespace

std::string shell_default_handler(const std::string& mime_type)
{
    std::vector<std::string> lists{config_home() + "/mimeapps.list"};
    for (const std::string& d : config_dirs())
        lists.push_back(d + "/mimeapps.list");
    for (const std::string& d : application_dirs())
        lists.push_back(d + "/mimeapps.list");
    for (const std::string& d : application_dirs())
        lists.push_back(d + "/defaults.list");
    for (const std::string& list : lists) {
        for (const std::string& id : split(read_key(list, "Default Applications", mime_type), ';'))
            if (!desktop_file(id).empty())
                return id;
    }
    return {};
}

std::string shell_browser_from_command(const std::string& command)
{
    std::string rest = command;
    auto next_word = [&rest]() {
        const std::size_t a = rest.find_first_not_of(' ');
        if (a == std::string::npos) {
            rest.clear();
            return std::string();
        }
        rest.erase(0, a);
        std::string word;
        if (rest[0] == '"') {
            const std::size_t close = rest.find('"', 1);
            word = rest.substr(1, close == std::string::npos ? std::string::npos : close - 1);
            rest.erase(0, close == std::string::npos ? rest.size() : close + 1);
        } else {
            const std::size_t blank = rest.find(' ');
            word = rest.substr(0, blank);
            rest.erase(0, blank == std::string::npos ? rest.size() : blank);
        }
        return word;
    };
    std::string program = next_word();
    if (program == "env") {
        do
            program = next_word();
        while (program.find('=') != std::string::npos);
    }
    if (program.empty())
        return {};
    if (program.find('/') != std::string::npos)
        return runnable(program) ? program : std::string();
    for (const std::string& dir : split(env_or("PATH", "/usr/bin:/bin"), ':')) {
        const std::string path = dir + "/" + program;
        if (runnable(path))
            return path;
    }
    return {};
}

void shell_default_browser()
{
    main_settings.browser_path.clear();
    for (const char* type : {"x-scheme-handler/http", "text/html"}) {
        const std::string file = desktop_file(shell_default_handler(type));
        if (file.empty())
            continue;
        std::string path = shell_browser_from_command(read_key(file, "Desktop Entry", "Exec"));
        if (!path.empty()) {
            main_settings.browser_path = path;
            return;
        }
    }
}

void default_browser_install()
{
    static int load_listener = 0;
    settings_loaded.add_once(load_listener, kLoadBrowser, [](SettingsLoad&) { shell_default_browser(); });
}
