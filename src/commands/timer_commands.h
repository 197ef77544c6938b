// The /timer (/timerNAME, /timers) and /signal commands.
#pragma once

#include <string>

struct CommandCall;
class QWidget;
struct Timer;

int cmd_timer(CommandCall& call);
int cmd_signal(CommandCall& call);

// One timer's line of the listing (without the network suffix).
std::string timer_describe(const Timer* timer);

// Registers the commands.
void timer_commands_register();
