#include "identifiers/digest_identifiers.h"

#include <string>
#include <vector>

#include "core/digest.h"
#include "script/stores/binary_vars.h"

namespace {

int digest_of(IdentCall& call,
              int (*value_of)(const std::vector<std::string>&, std::string&, const std::string*))
{
    int r = ident_args_step(call, kIdentAnyArgs);
    if (r >= 0)
        return r;
    std::vector<std::string> args;
    for (int i = 0; i < ident_arg_count(call); ++i)
        args.push_back(ident_arg(call, i));
    // Kind 1 reads the binary variable the data names.
    const BinaryVariable* bvar = args.empty() ? nullptr : bvar_find(args[0]);
    const int error = value_of(args, *call.value, bvar ? &bvar->bytes : nullptr);
    if (error)
        return ident_error(call.token, call.work, error);
    return ident_finish(call);
}

}  // namespace

int id_md5(IdentCall& call)
{
    return digest_of(call, id_md5_value);
}

int id_sha1(IdentCall& call)
{
    return digest_of(call, ident_sha1_value);
}

void digest_identifiers_register()
{
    ident_register_family("id_md5", id_md5);
    ident_register_family("ident_sha1", id_sha1);
}
