#include "script/eval/base_convert.h"
#include "script/eval/calc.h"
#include "script/exec/executor.h"
#include "script/exec/script_types.h"
#include "script/stores/variables.h"

void script_engine_init()
{
    script_register_command_family("cmd_return", cmd_return);
    script_register_command_family("cmd_goto", cmd_goto);
    variables_install();
    calc_register();
    base_convert_register();
}
