#include "identifiers/encoding_identifiers.h"

#include <optional>
#include <string>
#include <vector>

#include "model/window_charset.h"
#include "model/window_record.h"
#include "core/encoding_idents.h"
#include "core/text_buffer.h"
#include "script/stores/binary_vars.h"

namespace {

// Takes the evaluated arguments when their number is within min..max; else
// records the invalid-parameter error. Returns -1 to compute now, else the
// handler's result.
int take_args(IdentCall& call, int min_args, int max_args, std::vector<std::string>& args)
{
    int r = ident_args_step(call, kIdentAnyArgs);
    if (r >= 0)
        return r;
    const int n = ident_arg_count(call);
    if (n < min_args || n > max_args)
        return ident_error(call.token, call.work, 6);
    args.clear();
    for (int i = 0; i < n; ++i)
        args.push_back(ident_arg(call, i));
    return -1;
}

// The value of a core, or its error code as the identifier's error.
int finish(IdentCall& call, int code)
{
    if (code != 0) {
        call.value->clear();
        return ident_error(call.token, call.work, code);
    }
    return ident_finish(call);
}

} // namespace

int id_isutf(IdentCall& call)
{
    std::vector<std::string> args;
    int r = take_args(call, 1, 1, args);
    if (r >= 0)
        return r;
    return finish(call, id_isutf_value(args, *call.value));
}

int id_utf(IdentCall& call)
{
    std::vector<std::string> args;
    int r = take_args(call, 1, 2, args);
    if (r >= 0)
        return r;
    const bool decode = text_starts_with_nocase(call.name, "utfdecode");
    WindowRecord* rec = call.window() ? win_record_of(call.window()) : nullptr;
    const std::optional<int> window_codepage = rec ? std::optional<int>(win_codepage(rec)) : std::nullopt;
    return finish(call, id_utf_value(window_codepage, args, decode, *call.value));
}

int id_encode(IdentCall& call)
{
    std::vector<std::string> args;
    int r = take_args(call, 1, 3, args);
    if (r >= 0)
        return r;
    const bool decode = text_starts_with_nocase(call.name, "decode");
    // With the 'b' switch the first argument names a binary variable.
    BinaryVariable* variable = bvar_find(args[0]);
    return finish(call, id_encode_value(args, decode, *call.value, variable ? &variable->bytes : nullptr));
}

void encoding_identifiers_register()
{
    ident_register_family("id_isutf", id_isutf);
    ident_register_family("id_utf", id_utf);
    ident_register_family("id_encode", id_encode);
}
