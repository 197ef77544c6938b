#include "media/mixer.h"

#include <algorithm>
#include <cstdlib>
#include <string>

#include "core/text_buffer.h"
#include "media/sound_player.h"
#include "script/exec/script_types.h"

namespace {

struct Line {
    long volume = 65535;
    long mute = 0;
};
Line g_lines[3];

double share(int line)
{
    return g_lines[line].mute ? 0.0 : static_cast<double>(g_lines[line].volume) / 65535.0;
}

// What each device hears: its line scaled by the master.
void apply()
{
    const double master = share(kMixerMaster);
    sound_device_set_volume(kPlayingWave, master * share(kMixerWave));
    sound_device_set_volume(kPlayingSong, master * share(kMixerWave));
    sound_device_set_volume(kPlayingMidi, master * share(kMixerMidi));
}

}  // namespace

int mixer_control(long& value, int kind, int line, int set)
{
    if (line < 0 || line > 2 || kind < 0 || kind > 1)
        return 0;
    long& slot = kind == 0 ? g_lines[line].volume : g_lines[line].mute;
    if (!set) {
        value = slot;
        return 1;
    }
    slot = kind == 0 ? std::clamp(value, 0L, 65535L) : (value ? 1 : 0);
    apply();
    return 1;
}

int mixer_get_mute(long& value, int line)
{
    return mixer_control(value, 1, line, 0);
}

// /vol -wpmvu[N] [value]
int cmd_vol(CommandCall& call)
{
    if (call.argc() < 1 || call.arg(1).empty() || call.arg(1)[0] != '-')
        return kScriptDone;
    const std::string& sw = call.arg(1);
    bool lines[3] = {false, false, false};
    int mute = 0; // 0 leave, 1 mute, 2 unmute
    for (std::size_t i = 1; i < sw.size(); ++i) {
        const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(sw[i])));
        if (c == 'w' || c == 'p')
            lines[kMixerWave] = true;
        else if (c == 'm')
            lines[kMixerMidi] = true;
        else if (c == 'v')
            lines[kMixerMaster] = true;
        else if (c == 'u') {
            std::size_t j = i + 1;
            while (j < sw.size() && std::isdigit(static_cast<unsigned char>(sw[j])))
                ++j;
            const std::string n = sw.substr(i + 1, j - i - 1);
            mute = n.empty() || n == "1" ? 1 : n == "2" ? 2 : 0;
            i = j - 1;
        }
    }
    long value = -1;
    if (call.argc() >= 2) {
        const std::string& v = call.arg(2);
        char* end = nullptr;
        const long long n = std::strtoll(v.c_str(), &end, 10);
        if (end != v.c_str())
            value = n > 65535 ? 65535 : n < -1 ? -1 : static_cast<long>(n);
    }
    for (int line : {kMixerMaster, kMixerWave, kMixerMidi}) {
        if (!lines[line])
            continue;
        if (mute) {
            long m = mute == 1 ? 1 : 0;
            mixer_control(m, 1, line, 1);
        }
        if (value >= 0)
            mixer_control(value, 0, line, 1);
    }
    return kScriptDone;
}

// $vol(master | midi | wave) [.mute]
int id_vol(IdentCall& call)
{
    const int r = ident_args_step(call, 1);
    if (r >= 0)
        return r;
    const std::string& word = ident_arg(call, 0);
    const int line = text_equal_nocase(word, "master") ? kMixerMaster : text_equal_nocase(word, "midi") ? kMixerMidi : kMixerWave;
    std::string out;
    long value = 0;
    if (text_equal_nocase(ident_property(call), "mute")) {
        mixer_get_mute(value, line);
        out = ident_truth(value != 0);
    } else {
        if (!mixer_control(value, 0, line, 0))
            value = 0;
        out = std::to_string(value);
    }
    return ident_result(call, out);
}

void mixer_install()
{
    script_register_command_family("cmd_vol", cmd_vol);
    ident_register_family("id_vol", id_vol);
}

void mixer_uninstall()
{
    for (Line& l : g_lines)
        l = Line{};
    apply();
}
