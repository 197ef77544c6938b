#include "options/setting_values.h"

#include "core/options.h"
#include "core/text_buffer.h"
#include "options/locks.h"
#include "script/exec/script_types.h"

namespace {

// $ebeeps, $locked
int id_setting(IdentCall& call)
{
    call.value->clear();
    options_setting_value(call.name, call.conn(), call.window(), call.value);
    return 2;
}

}  // namespace

int options_setting_value(std::string_view name, Connection*, QWidget*, std::string* out)
{
    if (!out)
        return 0;
    if (text_equal_nocase(name, "ebeeps")) {
        *out = ident_truth(opt(OPT_SOUNDS_ENABLED) != 0);
        return 1;
    }
    if (text_equal_nocase(name, "locked")) {
        *out = ident_truth(lock_program_locked() != 0);
        return 1;
    }
    return 0;
}

void setting_values_install()
{
    ident_register("ebeeps", id_setting);
    ident_register("locked", id_setting);
}
