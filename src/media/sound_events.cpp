#include "media/sound_events.h"

#include <map>

#include "core/files.h"
#include "core/ini.h"
#include "core/main_settings.h"
#include "core/options.h"
#include "core/text_buffer.h"
#include "irc/numerics/logon.h"
#include "media/sound_player.h"
#include "model/tip_events.h"
#include "platform/platform_utils.h"

namespace {

std::map<int, std::string> g_files;
int g_load_listener = 0;
int g_save_listener = 0;
int g_wanted_listener = 0;
int g_event_listener = 0;
int g_logon_listener = 0;

extern const char* const kWaveKeys[kSoundEventCount];

struct KindSound {
    int kind;    // the event's notification kind
    int option;  // the tip option it is announced under
    int event;   // its event sound
};
extern const KindSound kKindSounds[];
extern const std::size_t kKindSoundCount;

bool is_beep_value(const std::string& value)
{
    return text_equal_nocase(value, kSoundBeepValue);
}

// Whether an announced event of the option would play a sound.
bool sound_wanted_for(int option)
{
    for (std::size_t i = 0; i < kKindSoundCount; ++i)
        if (kKindSounds[i].option == option && !sound_event_file(kKindSounds[i].event).empty())
            return true;
    return false;
}

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

int sound_event_mode(int event)
{
    const std::string value = sound_event_file(event);
    if (value.empty())
        return kSoundModeNone;
    return is_beep_value(value) ? kSoundModeBeep : kSoundModeFile;
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
        if (!is_beep_value(value))
            file_abs_settings_dir(value);
        g_files[e] = value;
    }
}

void sound_save_event_settings()
{
    for (int e = 0; e < kSoundEventCount; ++e) {
        const std::string path = sound_event_file(e);
        const std::string value =
            path.empty() || is_beep_value(path) ? path : file_relative_to_settings_dir(path);
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

void sound_event_play(int event, int type, Connection* conn)
{
    const std::string file = sound_event_file(event);
    if (file.empty())
        return;
    if (is_beep_value(file)) {
        if (beep_play_hook)
            beep_play_hook(0);
        return;
    }
    sound_play_file(file, type, conn);
}

int sound_event_of_kind(int kind)
{
    for (std::size_t i = 0; i < kKindSoundCount; ++i)
        if (kKindSounds[i].kind == kind)
            return kKindSounds[i].event;
    return -1;
}

void sound_disconnect_notice(Connection* conn)
{
    sound_event_play(kSoundEventDisconnect, 0, conn);
}

void sound_events_install()
{
    event_notice_wanted.add_once(g_wanted_listener, kNoticeWantedSound, [](int option) { return sound_wanted_for(option); });
    tip_event.add_once(g_event_listener, kTipEventSound,
                       [](int, const TipEventText&, int kind, Connection* conn, WindowRecord*) {
                           const int event = sound_event_of_kind(kind);
                           if (event >= 0)
                               sound_event_play(event, 1, conn);
                       });
    irc_logged_on.add_once(g_logon_listener, kLoggedOnSound,
                           [](Connection* conn) { sound_event_play(kSoundEventConnect, 0, conn); });
    settings_loaded.add_once(g_load_listener, kLoadSounds, [](SettingsLoad&) { sound_load_event_settings(); });
    settings_saving.add_once(g_save_listener, kSettingsSaveSounds, [] { sound_save_event_settings(); });
}

void sound_events_uninstall()
{
    settings_loaded.drop(g_load_listener);
    settings_saving.drop(g_save_listener);
    event_notice_wanted.drop(g_wanted_listener);
    tip_event.drop(g_event_listener);
    irc_logged_on.drop(g_logon_listener);
    g_files.clear();
}

namespace {

const char* const kWaveKeys[kSoundEventCount] = {
    "query", "notice", "invite", "disconnect", "send", "highlight", "flash",
    "dccfail", "chat", "join", "part", "kick", "dccok", "connect",
};

// The announced events that play a sound. A lost link plays its sound
// through the disconnect notice, a registered one through the logon.
const KindSound kKindSounds[] = {
    {3, TIPOPT_PRIV_MESSAGE, kSoundEventQuery},
    {4, TIPOPT_PRIV_MESSAGE, kSoundEventQuery},
    {5, TIPOPT_CHAN_NOTICE, kSoundEventNotice},
    {6, TIPOPT_PRIV_NOTICE, kSoundEventNotice},
    {9, TIPOPT_CHAN_JOINPART, kSoundEventJoin},
    {10, TIPOPT_CHAN_JOINPART, kSoundEventJoin},
    {11, TIPOPT_CHAN_JOINPART, kSoundEventJoin},
    {12, TIPOPT_CHAN_JOINPART, kSoundEventPart},
    {13, TIPOPT_CHAN_JOINPART, kSoundEventPart},
    {14, TIPOPT_CHAN_KICK, kSoundEventKick},
    {15, TIPOPT_CHAN_KICK, kSoundEventKick},
    {18, TIPOPT_INVITE, kSoundEventInvite},
};
const std::size_t kKindSoundCount = sizeof(kKindSounds) / sizeof(kKindSounds[0]);

}  // namespace
