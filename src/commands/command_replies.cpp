#include "commands/command_replies.h"

#include <cstdio>

#include "commands/messaging_commands.h"
#include "core/numbered_texts.h"
#include "model/window_record.h"
#include "core/text_limits.h"
#include "script/exec/script_types.h"

std::string command_word(const CommandCall& call, const char* fallback)
{
    return call.tokens.empty() ? std::string(fallback) : call.tokens[0];
}

int command_fail(CommandCall& call, std::string_view word, int type)
{
    return script_error(call.window, word, {}, type);
}

std::string command_text_with(int id, const std::string* s, int n)
{
    const char* t = text_load_string(id);
    if (!t) return {};
    char buf[kMediumTextSize];
    if (s) std::snprintf(buf, sizeof buf, t, s->substr(0, 256).c_str());
    else std::snprintf(buf, sizeof buf, t, n);
    return buf;
}

void command_show(CommandCall& call, Connection* conn, std::uint32_t colour, const std::string& text)
{
    if (call.show) chat_show(win_record_of(call.window), conn, colour, text);
}
