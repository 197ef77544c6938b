// What a built-in command says back: its error, its numbered texts and the
// lines it shows in the window it was typed in.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

struct CommandCall;
struct Connection;

// The command's word as typed, or `fallback` for a call without tokens.
std::string command_word(const CommandCall& call, const char* fallback);
// Reports the error `type` for the command word in the call's window.
int command_fail(CommandCall& call, std::string_view word, int type);
// The numbered text with one "%s" (from `s`, at most 256 bytes of it) or,
// without `s`, one "%d" filled in; empty when the text is missing.
std::string command_text_with(int id, const std::string* s, int n);
// Shows the line in the call's window unless the call is quiet.
void command_show(CommandCall& call, Connection* conn, std::uint32_t colour, const std::string& text);
