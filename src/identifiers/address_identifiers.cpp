#include "identifiers/address_identifiers.h"

#include <cstdlib>
#include <string>

#include "irc/lists/address_list.h"
#include "script/exec/script_types.h"

namespace {

// Kind 1: $ial(mask, N); kind 0: $ialchan(mask, #channel, N).
int ial_ident(IdentCall& call, int kind)
{
    const int expected = kind == 1 ? 2 : 3;
    int r = ident_args_step(call, expected);
    if (r >= 0) return r;
    const std::string& mask = ident_arg(call, 0);
    const std::string channel = kind == 1 ? std::string() : ident_arg(call, 1);
    const int n = std::atoi(ident_arg(call, expected - 1).c_str());
    std::string out;
    ial_query(mask, channel, n, std::string(ident_property(call)), kind, out, call.conn());
    *call.value = out;
    return ident_finish(call);
}

}  // namespace

int id_ial(IdentCall& call)
{
    return ial_ident(call, 1);
}

int id_ialchan(IdentCall& call)
{
    return ial_ident(call, 0);
}

void ial_identifiers_register()
{
    ident_register_family("id_ial", id_ial);
    ident_register_family("id_ialchan", id_ialchan);
}
