// Identifiers over lists and devices this program does not hold yet: DCC
// chats, file-server chats, receives and sends, the DCC trusted list, the
// address book, the notify list window's selection, the recorded clicks and
// pixels of picture windows, DDE servers and the web browser's page, and
// the sound devices. Each takes and checks its arguments
// as the full identifier does and answers what it answers for an empty list
// or a closed device: a count of "0", "$false", or nothing, so that a
// script asking goes on.
#include "identifiers/empty_list_identifiers.h"

#include <cstdlib>
#include <string>
#include <string_view>

#include "core/files.h"
#include "core/main_settings.h"
#include "core/text_buffer.h"
#include "identifiers/tokens.h"
#include "irc/numerics/isupport.h"
#include "script/exec/script_text.h"

namespace {

constexpr long kMaxIndex = 9998;

long index_of(const std::string& text)
{
    const long n = std::strtol(text.c_str(), nullptr, 10);
    return n > kMaxIndex ? kMaxIndex : n;
}

// An index that counts: "0" for 0 or less, nothing for an item.
std::string count_or_nothing(long n)
{
    return n <= 0 ? std::string("0") : std::string();
}

// $chat( and $fserv( / $fserve( (N or nick; or nick, N): no chats.
int id_chat(IdentCall& call)
{
    std::string out;
    const std::string& first = ident_arg(call, 0);
    if (ident_arg_count(call) == 2) {
        if (!first.empty() && !ident_arg(call, 1).empty())
            out = count_or_nothing(index_of(ident_arg(call, 1)));
    } else if (!first.empty() && arg_is_integer(first)) {
        out = count_or_nothing(index_of(first));
    }
    return ident_result(call, out);
}

// $get( and $send( (N or nick; or nick, N): no transfers. A negative N
// names the transfer of a DCC event, of which there is none.
int id_transfer(IdentCall& call)
{
    const int r = ident_args_range(call, 1, 2);
    if (r >= 0)
        return r;
    std::string out;
    const std::string& first = ident_arg(call, 0);
    const std::string* n = nullptr;
    if (ident_arg_count(call) == 2) {
        if (!first.empty() && !ident_arg(call, 1).empty())
            n = &ident_arg(call, 1);
    } else if (!first.empty() && arg_is_integer(first)) {
        n = &first;
    }
    if (n && index_of(*n) == 0)
        out = "0";
    return ident_result(call, out);
}

// $trust(N): no trusted entries; an empty argument counts.
int id_trust(IdentCall& call)
{
    std::string out;
    if (index_of(ident_arg(call, 0)) == 0)
        out = "0";
    return ident_result(call, out);
}

// $abook(N), $abook(mask), $abook(mask, N): no contacts.
int id_abook(IdentCall& call)
{
    std::string out;
    const std::string& first = ident_arg(call, 0);
    if (!first.empty()) {
        if (ident_arg_count(call) == 2)
            out = count_or_nothing(index_of(ident_arg(call, 1)));
        else if (arg_is_integer(first))
            out = count_or_nothing(index_of(first));
    }
    return ident_result(call, out);
}

// $snotify (the notify list window's selected nick) and $url (the page
// the web browser shows): nothing to read.
int id_nothing(IdentCall& call)
{
    call.value->clear();
    return 2;
}

// A sound device's answer: closed, so "$false", no file, position and
// length "0", not paused.
std::string closed_device(std::string_view prop)
{
    if (prop.empty() || text_equal_nocase(prop, "pause"))
        return "$false";
    if (text_equal_nocase(prop, "pos") || text_equal_nocase(prop, "length"))
        return "0";
    return std::string();
}

// The sound folder of a file's kind, by its extension.
const std::string& sound_folder(std::string_view ext)
{
    if (text_equal_nocase(ext, ".mid"))
        return main_settings.midis_dir;
    if (text_equal_nocase(ext, ".mp3"))
        return main_settings.mp3s_dir;
    if (text_equal_nocase(ext, ".wma"))
        return main_settings.wmas_dir;
    if (text_equal_nocase(ext, ".ogg"))
        return main_settings.oggs_dir;
    return main_settings.waves_dir;
}

// $inwave, $inmidi, $insong, $inmp3: the property is part of the word.
int id_in_device(IdentCall& call)
{
    std::string_view word = call.token->text;
    const std::size_t dot = word.find('.');
    *call.value = closed_device(dot == std::string_view::npos ? std::string_view() : word.substr(dot + 1));
    return 2;
}

// $insound(file | ext [, item]), $sound( and $mp3( of the same: the devices
// are closed; $sound( and $mp3( give the folder of the kind (the tags of a
// song file are not read).
int id_sound(IdentCall& call)
{
    const int r = ident_args_range(call, 1, 2);
    if (r >= 0)
        return r;
    std::string out;
    std::string a = ident_arg(call, 0);
    std::string ext;
    if (a.find('.') != std::string::npos) {
        text_strip_quotes(a);
        std::string path;
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
    const bool device = text_equal_nocase(ident_word(call), "insound");
    if (device)
        out = closed_device(ident_property(call));
    else if (ident_property(call).empty())
        out = sound_folder(ext);
    return ident_result(call, out);
}

}  // namespace

void empty_list_identifiers_register()
{
    ident_register_family("id_chat", id_chat);
    ident_register_family("id_get", id_transfer);
    ident_register_family("id_send", id_transfer);
    ident_register_family("id_trust", id_trust);
    ident_register_family("id_abook", id_abook);
    ident_register_family("id_snotify", id_nothing);
    ident_register_family("id_url", id_nothing);
    ident_register("inwave", id_in_device, 0, kIdentPrefix);
    ident_register("inmidi", id_in_device, 0, kIdentPrefix);
    ident_register("insong", id_in_device, 0, kIdentPrefix);
    ident_register("inmp3", id_in_device, 0, kIdentPrefix);
    ident_register("insound(", id_sound);
    ident_register("sound(", id_sound);
    ident_register("mp3(", id_sound);
}
