#include "media/agent_words.h"

#include <algorithm>
#include <cctype>

#include "commands/output_commands.h"
#include "core/numbered_texts.h"
#include "core/text_buffer.h"
#include "script/exec/script_types.h"

namespace {

std::vector<std::string> g_phrases;
bool g_queueing = false;

void info(const CommandCall& call, const std::string& text)
{
    if (call.show && output_print)
        output_print(call.window, colour_item_value(kItemInfoText), text, EchoPrintOptions{}, kOutputEcho);
}

std::string trimmed(const std::string& s)
{
    const std::size_t a = s.find_first_not_of(' ');
    if (a == std::string::npos)
        return std::string();
    return s.substr(a, s.find_last_not_of(' ') - a + 1);
}

}  // namespace

const std::vector<std::string>& vcmd_phrases()
{
    return g_phrases;
}

bool agent_queueing()
{
    return g_queueing;
}

// /gload ... /gqreq [-switches] name [arguments]
int cmd_agent(CommandCall& call)
{
    const std::string word = call.tokens.empty() ? std::string() : call.tokens[0];
    std::size_t i = 1;
    if (call.argc() >= 1 && !call.arg(1).empty() && call.arg(1)[0] == '-')
        ++i;
    if (call.argc() < i)
        return script_error(nullptr, word, {}, 0);
    const std::string& name = call.arg(i);
    if (word == "gqreq") {
        if (text_equal_nocase(name, "on") || text_equal_nocase(name, "off")) {
            g_queueing = text_equal_nocase(name, "on");
            info(call, text_load_string(g_queueing ? 135 : 136));
        }
        return kScriptDone;
    }
    if (word == "gload") {
        // No character server: loading fails as it does when the server
        // cannot load the file.
        script_error(nullptr, text_fill_id(133, {name}), {}, 6);
        return kScriptFailed;
    }
    if (word == "gunload")
        return kScriptDone; // a name that is not loaded: nothing to do
    script_error(nullptr, text_fill_id(137, {name}), {}, 6);
    return kScriptFailed;
}

// $agent(N | name)[.property], $agentver, $agentstat
int id_agent(IdentCall& call)
{
    const std::string_view w = ident_word(call);
    if (text_equal_nocase(w, "agentver") || text_equal_nocase(w, "agentstat")) {
        std::string out = "0";
        return ident_result(call, out);
    }
    const int r = ident_args_step(call, 1);
    if (r >= 0)
        return r;
    std::string out;
    const std::string& a = ident_arg(call, 0);
    // No character is loaded and no character file exists: 0 counts zero,
    // anything else names nothing.
    if (a == "0" && (ident_property(call).empty() || text_equal_nocase(ident_property(call), "char")))
        out.assign(1, '0');
    return ident_result(call, out);
}

// /vcmd [-carl] [on | off | sleep | N | phrases], /vcadd phrases, /vcrem phrases
int cmd_vcadd(CommandCall& call)
{
    const std::string word = call.tokens.empty() ? std::string() : call.tokens[0];
    std::string sw;
    std::size_t i = 1;
    if (call.argc() >= 1 && !call.arg(1).empty() && call.arg(1)[0] == '-') {
        sw = call.arg(1).substr(1);
        ++i;
    }
    bool add = word == "vcadd" || sw.find('a') != std::string::npos;
    bool remove = word == "vcrem" || sw.find('r') != std::string::npos;
    if (sw.find('c') != std::string::npos)
        g_phrases.clear();
    if (add || remove) {
        std::string rest;
        for (std::size_t k = i; k <= call.argc(); ++k)
            rest += (rest.empty() ? "" : " ") + call.arg(k);
        bool changed = false;
        std::size_t at = 0;
        while (at <= rest.size()) {
            std::size_t comma = rest.find(',', at);
            if (comma == std::string::npos)
                comma = rest.size();
            const std::string phrase = trimmed(rest.substr(at, comma - at)).substr(0, 1024);
            at = comma + 1;
            if (phrase.empty())
                continue;
            auto same = [&](const std::string& p) { return text_equal_nocase(p, phrase); };
            if (add) {
                if (std::none_of(g_phrases.begin(), g_phrases.end(), same) && g_phrases.size() < 4096) {
                    g_phrases.push_back(phrase);
                    changed = true;
                }
            } else {
                const std::size_t before = g_phrases.size();
                g_phrases.erase(std::remove_if(g_phrases.begin(), g_phrases.end(), same), g_phrases.end());
                changed = changed || g_phrases.size() != before;
            }
        }
        // The recogniser's menu cannot be refilled: there is no recogniser.
        info(call, text_load_string(changed ? 5926 : 5928));
    } else if (call.argc() < i) {
        if (sw.find('l') == std::string::npos && sw.find('c') == std::string::npos)
            info(call, text_load_string(5922));
    } else {
        for (std::size_t k = i; k <= call.argc(); ++k) {
            const std::string& a = call.arg(k);
            if (text_equal_nocase(a, "on")) {
                script_error(nullptr, text_load_string(5923), {}, 6);
                return kScriptFailed;
            }
            if (text_equal_nocase(a, "off"))
                info(call, text_load_string(5922));
            else if (text_equal_nocase(a, "sleep"))
                info(call, text_load_string(5924));
        }
    }
    if (sw.find('l') != std::string::npos) {
        if (g_phrases.empty()) {
            info(call, text_load_string(5930));
        } else {
            info(call, "-");
            info(call, text_load_string(5929));
            for (const std::string& p : g_phrases)
                info(call, p);
            info(call, "-");
        }
    }
    return kScriptDone;
}

// $vcmd(N), $vcmdver, $vcmdstat
int id_vcmd(IdentCall& call)
{
    const std::string_view w = ident_word(call);
    if (text_equal_nocase(w, "vcmdver") || text_equal_nocase(w, "vcmdstat")) {
        std::string out = "0"; // no speech API: no object can be made
        return ident_result(call, out);
    }
    const int r = ident_args_step(call, 1);
    if (r >= 0)
        return r;
    const long n = std::strtol(ident_arg(call, 0).c_str(), nullptr, 10);
    std::string out;
    if (n <= 0)
        out = std::to_string(g_phrases.size());
    else if (static_cast<std::size_t>(n) <= g_phrases.size())
        out = g_phrases[static_cast<std::size_t>(n) - 1];
    return ident_result(call, out);
}

void agent_words_install()
{
    script_register_command_family("cmd_agent", cmd_agent);
    script_register_command_family("cmd_vcadd", cmd_vcadd);
    ident_register_family("id_agent", id_agent);
    ident_register_family("id_vcmd", id_vcmd);
}

void agent_words_uninstall()
{
    g_phrases.clear();
    g_queueing = false;
}
