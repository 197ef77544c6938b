#include "commands/output_commands.h"
#include "commands/variable_commands.h"
#include "identifiers/channel_identifiers.h"
#include "identifiers/empty_list_identifiers.h"
#include "identifiers/encoding_identifiers.h"
#include "identifiers/input_identifiers.h"
#include "identifiers/digest_identifiers.h"
#include "identifiers/measure_identifiers.h"
#include "identifiers/network_identifiers.h"
#include "identifiers/number_identifiers.h"
#include "identifiers/script_identifiers.h"
#include "identifiers/text_identifiers.h"
#include "identifiers/time_identifiers.h"
#include "identifiers/tokens.h"
#include "identifiers/user_list_identifiers.h"
#include "identifiers/value_identifiers.h"
#include "identifiers/window_identifiers.h"
#include "core/ini.h"
#include "script/eval/base_convert.h"
#include "script/eval/calc.h"
#include "identifiers/popup_identifiers.h"
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
    tokens_register();
    encoding_identifiers_register();
    digest_identifiers_register();
    value_identifiers_register();
    text_identifiers_register();
    number_identifiers_register();
    time_identifiers_register();
    channel_identifiers_register();
    user_list_identifiers_register();
    window_identifiers_register();
    input_identifiers_register();
    script_identifiers_register();
    network_identifiers_register();
    empty_list_identifiers_register();
    measure_identifiers_register();
    popup_identifiers_register();
    variable_commands_register();
    output_commands_register();
    // A list file too big to hold is the interpreter's memory error.
    static int list_error_listener = 0;
    ini_list_file_error.add_once(list_error_listener, kIniListErrorScript, [](const char* word, int kind) {
        script_error(nullptr, {}, word ? word : "", kind);
    });
}
