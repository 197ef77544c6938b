// The interpreter as the program installs it for remote scripts: the engine,
// the built-in identifiers, the variable and output commands, the events and
// their identifiers.
#pragma once

#include "app/subsystems.h"
#include "commands/output_commands.h"
#include "commands/variable_commands.h"
#include "identifiers/builtin_identifiers.h"
#include "script/events/event_fire.h"
#include "script/exec/script_types.h"

inline void test_script_engine_install()
{
    script_engine_init();
    builtin_identifiers_install();
    variable_commands_register();
    output_commands_register();
    events_install();
    app_wire_script_events();
}
