// Identifiers over lists and devices this program does not hold yet: DCC
// chats, file-server chats, receives and sends, the notify list window's selection, the recorded clicks and
// pixels of picture windows, DDE servers and the web browser's page.
// Each takes and checks its arguments
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

// $url (the page the web browser shows): nothing to read.
int id_nothing(IdentCall& call)
{
    call.value->clear();
    return 2;
}

}  // namespace

void empty_list_identifiers_register()
{
    ident_register_family("id_chat", id_chat);
    ident_register_family("id_get", id_transfer);
    ident_register_family("id_send", id_transfer);
    ident_register_family("id_url", id_nothing);
}
