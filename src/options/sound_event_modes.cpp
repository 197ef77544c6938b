#include "options/sound_event_modes.h"

#include <cstdlib>
#include <string>

#include "core/ini.h"
#include "media/sound_events.h"

namespace {

unsigned g_beeps = 0;  // bit n: event n beeps
bool g_loaded = false;

void ensure_loaded()
{
    if (!g_loaded)
        sound_event_modes_load();
}

}  // namespace

void sound_event_modes_load()
{
    g_beeps = 0;
    g_loaded = true;
    std::string text;
    ini_read("waves", "beeps", "", text, 256, main_ini_path);
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t comma = text.find(',', at);
        const std::string word = text.substr(at, comma == std::string::npos ? std::string::npos : comma - at);
        char* end = nullptr;
        const long n = std::strtol(word.c_str(), &end, 10);
        if (end && *end == '\0' && !word.empty() && n >= 0 && n < kSoundEventCount)
            g_beeps |= 1u << n;
        if (comma == std::string::npos)
            break;
        at = comma + 1;
    }
}

int sound_event_mode(int event)
{
    if (event < 0 || event >= kSoundEventCount)
        return kSoundModeNone;
    ensure_loaded();
    if (g_beeps & (1u << event))
        return kSoundModeBeep;
    return sound_event_file(event).empty() ? kSoundModeNone : kSoundModeFile;
}

void sound_event_set_beep(int event, int on)
{
    if (event < 0 || event >= kSoundEventCount)
        return;
    ensure_loaded();
    const unsigned before = g_beeps;
    if (on)
        g_beeps |= 1u << event;
    else
        g_beeps &= ~(1u << event);
    if (g_beeps == before)
        return;
    std::string text;
    for (int e = 0; e < kSoundEventCount; ++e)
        if (g_beeps & (1u << e))
            text += (text.empty() ? "" : ",") + std::to_string(e);
    ini_write("waves", "beeps", text.empty() ? nullptr : text.c_str(), main_ini_path);
}
