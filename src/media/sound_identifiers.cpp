#include "media/sound_identifiers.h"

#include <string>
#include <string_view>

#include "core/files.h"
#include "core/main_settings.h"
#include "core/text_buffer.h"
#include "media/mp3_tags.h"
#include "media/sound_player.h"
#include "script/exec/script_text.h"
#include "script/exec/script_types.h"

namespace {

// The device of a playing code: "$true" while open, .fname, .pos, .length, .pause.
std::string device_property(int code, std::string_view prop)
{
    const bool open = sound_device_open(code);
    if (prop.empty())
        return ident_truth(open);
    if (text_equal_nocase(prop, "fname")) {
        std::string path;
        sound_pending_find(code, &path);
        return path;
    }
    if (text_equal_nocase(prop, "pos"))
        return std::to_string(sound_device_position(code));
    if (text_equal_nocase(prop, "length"))
        return std::to_string(sound_device_length(code));
    if (text_equal_nocase(prop, "pause"))
        return ident_truth(open && sound_device_paused(code));
    return std::string();
}

int playing_code_of_kind(int kind)
{
    return kind == kSoundMidi ? kPlayingMidi : kind >= kSoundMp3 ? kPlayingSong : kPlayingWave;
}

const std::string& folder_of_ext(std::string_view ext)
{
    return sound_folder_of_kind(sound_file_kind(std::string(ext)));
}

// $inwave, $inmidi, $insong, $inmp3: the property is part of the word.
int id_in_device(IdentCall& call)
{
    std::string_view word = call.token->text;
    const std::size_t dot = word.find('.');
    const std::string_view name = word.substr(0, dot);
    const int code = text_equal_nocase(name, "inwave") ? kPlayingWave : text_equal_nocase(name, "inmidi") ? kPlayingMidi : kPlayingSong;
    *call.value = device_property(code, dot == std::string_view::npos ? std::string_view() : word.substr(dot + 1));
    return 2;
}

// $insound(file | ext [, item]), $sound( and $mp3( of the same.
int id_sound(IdentCall& call)
{
    const int r = ident_args_range(call, 1, 2);
    if (r >= 0)
        return r;
    std::string out;
    std::string a = ident_arg(call, 0);
    std::string ext;
    std::string path;
    const bool is_file = a.find('.') != std::string::npos;
    if (is_file) {
        text_strip_quotes(a);
        if (a.empty() || !file_resolve_file_path(a, path))
            return ident_error(call.token, call.work, 6);
        if (file_is_device(path))
            return ident_result(call, out);
        const std::size_t slash = path.rfind('/');
        const std::size_t dot = path.rfind('.');
        if (dot != std::string::npos && (slash == std::string::npos || dot > slash))
            ext = path.substr(dot);
    } else {
        ext = ("." + a).substr(0, 4);
    }
    const std::string_view prop = ident_property(call);
    if (text_equal_nocase(ident_word(call), "insound")) {
        out = device_property(playing_code_of_kind(sound_file_kind(ext)), prop);
    } else if (prop.empty()) {
        out = folder_of_ext(ext);
    } else if (is_file && sound_file_kind(ext) >= kSoundMp3) {
        if (!file_exists(path, 1)) {
            const std::string& folder = folder_of_ext(ext);
            path = folder.empty() ? a : (folder.back() == '/' ? folder : folder + "/") + a;
        }
        mp3_property(path, "." + std::string(prop), out, ident_arg(call, 1));
    }
    return ident_result(call, out);
}

}  // namespace

void sound_identifiers_install()
{
    ident_register("inwave", id_in_device, 0, kIdentPrefix);
    ident_register("inmidi", id_in_device, 0, kIdentPrefix);
    ident_register("insong", id_in_device, 0, kIdentPrefix);
    ident_register("inmp3", id_in_device, 0, kIdentPrefix);
    ident_register("insound(", id_sound);
    ident_register("sound(", id_sound);
    ident_register("mp3(", id_sound);
}
