#include "core/ini.h"
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
    // A list file too big to hold is the interpreter's memory error.
    static int list_error_listener = 0;
    ini_list_file_error.add_once(list_error_listener, kIniListErrorScript, [](const char* word, int kind) {
        script_error(nullptr, {}, word ? word : "", kind);
    });
}
