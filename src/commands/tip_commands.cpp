// /tips switches the tips on and off; /tip closes a tip or replaces its text.
#include "commands/tip_commands.h"

#include <cctype>
#include <cstdlib>
#include <string>

#include "bars/tips.h"
#include "commands/output_commands.h"
#include "core/numbered_texts.h"
#include "core/text_buffer.h"
#include "script/exec/script_errors.h"
#include "script/exec/script_types.h"

namespace {

void info(QWidget* window, const std::string& text)
{
    if (output_print)
        output_print(window, colour_item_value(kItemInfoText), text, EchoPrintOptions{}, kOutputEcho);
}

bool all_digits(const std::string& s)
{
    if (s.empty())
        return false;
    for (char c : s)
        if (!std::isdigit(static_cast<unsigned char>(c)))
            return false;
    return true;
}

// The rest of the line after `words` words: spaces removed at the ends and
// collapsed inside, doubled reset codes collapsed.
std::string rest_after_words(std::string_view line, int words)
{
    std::size_t i = 0;
    for (int w = 0; w < words; ++w) {
        while (i < line.size() && line[i] == ' ')
            ++i;
        while (i < line.size() && line[i] != ' ')
            ++i;
    }
    std::string out;
    for (; i < line.size(); ++i) {
        const char c = line[i];
        if (c == ' ' && (out.empty() || out.back() == ' '))
            continue;
        if (c == '\x0f' && !out.empty() && out.back() == '\x0f')
            continue;
        out.push_back(c);
    }
    while (!out.empty() && out.back() == ' ')
        out.pop_back();
    return out;
}

}  // namespace

Tip* tip_by_name_or_number(const std::string& which)
{
    if (all_digits(which)) {
        const long n = std::strtol(which.c_str(), nullptr, 10);
        if (Tip* t = n > 0 && n <= 1000 ? tip_at(static_cast<int>(n)) : nullptr)
            return t;
    }
    return tip_find_by_name(which);
}

// /tips [on|off]
int cmd_tips(CommandCall& call)
{
    if (call.argc() >= 1) {
        const std::string& w = call.arg(1);
        if (text_equal_nocase(w, "on") || text_equal_nocase(w, "off")) {
            const int on = text_equal_nocase(w, "on") ? 1 : 0;
            tipopt_set(TIPOPT_ENABLED, on);
            if (!on)
                tip_free_all();
            tipopts_save();
        }
    }
    if (call.show)
        info(call.window, text_load_string(tipopt(TIPOPT_ENABLED) ? 6328 : 6329));
    return 1;
}

// /tip -c name|N    /tip -t name|N text
int cmd_tip(CommandCall& call)
{
    if (!call.tokens.empty() && call.tokens[0] == "tips")
        return cmd_tips(call);
    std::size_t i = 1;
    std::string flags;
    if (call.argc() >= 1 && call.arg(1).size() > 1 && call.arg(1)[0] == '-') {
        flags = call.arg(1).substr(1);
        ++i;
    }
    if (call.argc() < i)
        return script_error(nullptr, "tip", {}, 0);
    const std::string& which = call.arg(i);
    Tip* tip = tip_by_name_or_number(which);
    if (!tip)
        return script_error(nullptr, "tip", which, 3);
    if (flags.find('c') != std::string::npos) {
        tip_free(tip);
        return 1;
    }
    if (flags.find('t') != std::string::npos) {
        const std::string text = rest_after_words(call.rest(), static_cast<int>(i));
        if (!text.empty())
            tip_set_text(tip, text);
    }
    return 1;
}

void tip_commands_install()
{
    script_register_command_family("cmd_tip", cmd_tip);
}
