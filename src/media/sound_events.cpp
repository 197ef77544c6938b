#include "media/sound_events.h"

#include <map>

#include "core/files.h"
#include "core/ini.h"
#include "core/main_settings.h"
#include "core/options.h"
#include "media/sound_player.h"

namespace {

std::map<int, std::string> g_files;
int g_load_listener = 0;
int g_save_listener = 0;

extern const char* const kWaveKeys[kSoundEventCount];

std::string folder_part(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

}  // namespace

std::string sound_event_file(int event, std::string* buffer)
{
    auto it = g_files.find(event);
    std::string path = it == g_files.end() ? std::string() : it->second;
    if (buffer)
        *buffer = path;
    return path;
}

void sound_set_event_file(int event, const std::string& path)
{
    if (event < 0 || event >= kSoundEventCount)
        return;
    g_files.erase(event);
    if (!path.empty())
        g_files[event] = path;
}

void sound_load_event_settings()
{
    g_files.clear();
    for (int e = 0; e < kSoundEventCount; ++e) {
        std::string value;
        ini_read("waves", kWaveKeys[e], "", value, 1024, main_ini_path);
        if (value.empty() && e == kSoundEventChat)
            ini_read("waves", kWaveKeys[kSoundEventQuery], "", value, 1024, main_ini_path);
        if (value.empty())
            continue;
        file_abs_settings_dir(value);
        g_files[e] = value;
    }
}

void sound_save_event_settings()
{
    for (int e = 0; e < kSoundEventCount; ++e) {
        const std::string path = sound_event_file(e);
        const std::string value = path.empty() ? std::string() : file_relative_to_settings_dir(path);
        ini_write("waves", kWaveKeys[e], value.empty() ? nullptr : value.c_str(), main_ini_path);
    }
}

int sound_request_play(const std::string& name, std::string& folder)
{
    folder.clear();
    std::string path;
    if (!sound_resolve_file(name, path, 1, nullptr, nullptr, nullptr)) {
        // Not in the sound folders: a path that names an existing file.
        if (name.find('/') == std::string::npos || !file_resolve_file_path(name, path) || !file_exists(path, 1))
            return -1;
    }
    folder = folder_part(path);
    const int type = opt(OPT_SOUND_IGNORE_WHILE_PLAYING) ? 1 : 0;
    return sound_play_file(path, type, nullptr) ? 1 : 0;
}

void sound_entry_play(Connection* conn, const std::string& file)
{
    std::string path;
    if (!sound_resolve_file(file, path, 1, nullptr, nullptr, conn))
        return;
    sound_play_file(path, 1, conn);
}

void sound_events_install()
{
    settings_loaded.add_once(g_load_listener, kLoadSounds, [](SettingsLoad&) { sound_load_event_settings(); });
    settings_saving.add_once(g_save_listener, kSettingsSaveSounds, [] { sound_save_event_settings(); });
}

void sound_events_uninstall()
{
    settings_loaded.drop(g_load_listener);
    settings_saving.drop(g_save_listener);
    g_files.clear();
}

namespace {

const char* const kWaveKeys[kSoundEventCount] = {
    "query", "notice", "invite", "disconnect", "send", "highlight", "flash",
    "dccfail", "chat", "join", "part", "kick", "dccok", "connect",
};

}  // namespace
