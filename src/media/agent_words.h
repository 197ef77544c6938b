// The speech character's commands (/gload ... /gqreq) and identifiers
// ($agent, $agentver, $agentstat), and the voice commands (/vcmd, /vcadd,
// /vcrem, $vcmd, $vcmdver, $vcmdstat). This system has no animated speech
// character server and no speech recogniser: the words keep their syntax,
// their settings and their lists, and answer as they do when the character
// cannot be loaded and the recogniser cannot be started.
#pragma once

#include <string>
#include <vector>

struct CommandCall;
struct IdentCall;

int cmd_agent(CommandCall& call);
int id_agent(IdentCall& call);
int cmd_vcadd(CommandCall& call);
int id_vcmd(IdentCall& call);

// The voice-command phrases, in the order added.
const std::vector<std::string>& vcmd_phrases();
// Whether queueing of agent requests is on.
bool agent_queueing();

void agent_words_install();
void agent_words_uninstall();
