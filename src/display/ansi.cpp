#include "display/ansi.h"

#include "script/exec/script_types.h"

namespace {

// $ansi2kest(text)
int id_ansi2kest(IdentCall& call)
{
    const int r = ident_args_step(call, 1);
    if (r >= 0)
        return r;
    std::string text = ident_arg(call, 0);
    ansi_to_codes(text);
    return ident_result(call, text);
}

}  // namespace

void ansi_register()
{
    ident_register_family("id_ansi2kest", id_ansi2kest);
}
