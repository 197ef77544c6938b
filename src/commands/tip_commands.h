// The tip commands: /tips on|off and /tip -c|-t.
#pragma once

#include <string>

struct CommandCall;
struct Tip;

int cmd_tip(CommandCall& call);
int cmd_tips(CommandCall& call);
// The tip of that position (all digits) or name (case ignored); null when none.
Tip* tip_by_name_or_number(const std::string& which);
void tip_commands_install();
