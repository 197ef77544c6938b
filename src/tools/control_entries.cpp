#include "tools/control_entries.h"

#include <algorithm>

#include "core/main_settings.h"
#include "core/options.h"
#include "core/string_list.h"
#include "core/text_limits.h"
#include "core/wildcard.h"
#include "display/nick_colours.h"
#include "irc/lists/ignore_list.h"
#include "irc/lists/user_lists.h"

namespace {

std::string first_word(const std::string& text)
{
    const std::size_t a = text.find_first_not_of(" \t");
    if (a == std::string::npos) return {};
    const std::size_t e = text.find_first_of(" \t", a);
    return text.substr(a, e == std::string::npos ? std::string::npos : e - a);
}

std::string cut_at_comma(const std::string& text)
{
    return text.substr(0, text.find(','));
}

std::vector<std::string> split_commas(const std::string& text)
{
    std::vector<std::string> out;
    std::size_t p = 0;
    while (p <= text.size()) {
        std::size_t c = text.find(',', p);
        if (c == std::string::npos) c = text.size();
        std::string part = control_collapse_blanks(text.substr(p, c - p));
        if (!part.empty()) out.push_back(part);
        p = c + 1;
    }
    return out;
}

int kind_bit(const std::string& word)
{
    for (int i = 0; i < 8; ++i)
        if (word.size() == std::char_traits<char>::length(kIgnoreTypeWords[i])) {
            bool same = true;
            for (std::size_t k = 0; k < word.size(); ++k)
                if (std::tolower(static_cast<unsigned char>(word[k])) != kIgnoreTypeWords[i][k]) same = false;
            if (same) return i;
        }
    return -1;
}

StringNode** list_head(int kind)
{
    switch (kind) {
    case kControlIgnore: return &main_settings.ignore_list;
    case kControlOp: return &main_settings.aop_list;
    case kControlVoice: return &main_settings.avoice_list;
    case kControlProtect: return &main_settings.protect_list;
    }
    return nullptr;
}

const OptionId kEnabledOption[4] = {OPT_IGNORE_ENABLED, OPT_AUTO_OP_ENABLED, OPT_AUTO_VOICE_ENABLED,
                                    OPT_PROTECT_ENABLED};

}  // namespace

std::string control_collapse_blanks(const std::string& text)
{
    std::string out;
    for (char c : text) {
        if (c == ' ' || c == '\t') {
            if (!out.empty() && out.back() != ' ') out += ' ';
        } else {
            out += c;
        }
    }
    while (!out.empty() && out.back() == ' ') out.pop_back();
    return out;
}

std::string control_entry_display(const std::string& entry, int kind, std::uint32_t value)
{
    std::string text = entry;
    const std::string network = userlist_split_network(text);
    const std::size_t comma = text.find(',');
    std::string out = text.substr(0, comma);
    const std::string rest = comma == std::string::npos ? std::string() : text.substr(comma + 1);
    if (kind == kControlIgnore) {
        int bits = 0;
        for (const std::string& w : split_commas(rest)) {
            const int b = kind_bit(w);
            if (b >= 0) bits |= 1 << b;
        }
        std::string letters;
        for (int i = 0; i < 8; ++i)
            if (bits & (1 << i)) letters += kIgnoreTypeLetters[i];
        out += " (" + (letters.empty() ? std::string("all") : letters) + ")";
        const int number = static_cast<int>(value & 0xFFFF);
        if (number != 0) out += " [" + std::to_string(number) + "]";
    } else {
        std::string channels;
        for (const std::string& c : split_commas(rest)) channels += (channels.empty() ? "" : ",") + c;
        if (!channels.empty()) out += " (" + channels + ")";
    }
    if (!network.empty()) out += " - " + network;
    return out;
}

ControlEntryForm control_entry_form(const std::string& entry, int kind, const std::string& chan_types)
{
    ControlEntryForm f;
    std::string text = entry;
    f.network = userlist_split_network(text);
    std::vector<std::string> parts = split_commas(text);
    if (!parts.empty()) {
        f.mask = first_word(parts.front());
        parts.erase(parts.begin());
    }
    for (const std::string& w : parts) {
        if (kind == kControlIgnore) {
            const int b = kind_bit(w);
            if (b >= 0) f.kinds |= 1 << b;
        } else if (!chan_types.empty() && chan_types.find(w.front()) != std::string::npos) {
            f.channels += (f.channels.empty() ? "" : ",") + w;
        }
    }
    return f;
}

std::string control_entry_build(const ControlEntryForm& form, int kind, std::uint32_t& value)
{
    std::string mask = cut_at_comma(first_word(form.mask));
    if (mask.empty()) return {};
    if (mask.size() > kMediumText) mask.resize(kMediumText);
    const bool bare_nick = mask.find('!') == std::string::npos && mask.find('@') == std::string::npos;
    if (!(kind == kControlProtect && bare_nick)) {
        const std::size_t bang = mask.find('!');
        const std::size_t at = mask.find('@', bang == std::string::npos ? 0 : bang);
        // A full address names its host: the host mask stands for it.
        if (bang != std::string::npos && bang > 0 && at != std::string::npos && at > bang + 1 &&
            at + 1 < mask.size() && mask.find('*') == std::string::npos && mask.find('?') == std::string::npos)
            mask = "*!*@" + mask.substr(at + 1);
        else
            mask_default_ban(mask);
    }
    std::string out = mask;
    if (kind == kControlIgnore) {
        const int number = form.timed ? std::clamp(form.seconds, 0, 0xFFFF) : 0;
        value = (value & 0xFFFF0000u) | static_cast<std::uint32_t>(number);
        for (int i = 0; i < 8; ++i)
            if (form.kinds & (1 << i)) out += std::string(",") + kIgnoreTypeWords[i];
    } else {
        std::string channels;
        for (char c : control_collapse_blanks(form.channels)) {
            if (c == ' ') c = ',';
            if (c == ',' && (channels.empty() || channels.back() == ',')) continue;
            channels += c;
        }
        while (!channels.empty() && channels.back() == ',') channels.pop_back();
        if (!channels.empty()) out += "," + channels;
    }
    const std::string net = cut_at_comma(first_word(form.network));
    if (!net.empty()) out += ",\"" + net + "\"";
    while (!out.empty() && out.back() == ',') out.pop_back();
    if (out.size() > kLongText) out.resize(kLongText);
    return out;
}

ControlWorking control_working_load()
{
    ControlWorking w;
    for (int k = 0; k < 4; ++k) {
        for (StringNode* n = *list_head(k); n; n = n->next) {
            ControlLine line;
            line.text = n->text;
            if (k == kControlIgnore) {
                const int secs = ignore_timed_seconds(ignore_entry_parts(n->text).mask);
                line.value = 0x10000u | static_cast<std::uint32_t>(std::clamp(secs, 0, 0xFFFF));
            }
            w.lines[k].push_back(line);
        }
        w.enabled[k] = opt(kEnabledOption[k]) != 0;
    }
    w.random_delay = opt(OPT_AUTO_OP_DELAY) != 0;
    return w;
}

void control_working_apply(const ControlWorking& w)
{
    for (int k = 0; k < 4; ++k) {
        StringNode** head = list_head(k);
        strlist_free(head);
        for (const ControlLine& l : w.lines[k]) {
            const std::string text = control_collapse_blanks(l.text);
            if (!text.empty()) *head = strlist_append(*head, std::string_view(text), 0);
        }
        opt_set(kEnabledOption[k], w.enabled[k] ? 1 : 0);
    }
    ini_save_user_lists(1);
    for (const ControlLine& l : w.lines[kControlIgnore]) {
        const int number = static_cast<int>(l.value & 0xFFFF);
        if (number == 0) continue;
        const IgnoreEntryParts parts = ignore_entry_parts(l.text);
        ignore_timed_add(parts.mask, parts.network, number);
    }
    ignore_prune_timed();
    ini_save_user_lists(2 | 4 | 8);
    opt_set(OPT_AUTO_OP_DELAY, w.random_delay ? 1 : 0);
}

bool cnick_entry_form(const std::string& line, CnickEntryForm& f)
{
    NickColorRule r;
    if (!cnick_rule_parse(r, line)) return false;
    f = CnickEntryForm();
    f.mask = r.mask;
    f.use_mask = !r.mask.empty();
    f.modes = r.modes;
    f.use_modes = !r.modes.empty();
    f.levels = r.levels;
    std::replace(f.levels.begin(), f.levels.end(), ' ', ',');
    f.use_levels = !r.levels.empty();
    f.any_mode = r.any_mode != 0;
    f.no_mode = r.no_mode != 0;
    f.lists = r.lists & 31;
    f.colour = r.color >= 0 && r.color <= 15 ? r.color : 99;
    f.method = r.method >= 0 && r.method <= 2 ? r.method : 0;
    f.idle = std::max(0, r.idle);
    return true;
}

std::string cnick_entry_build(CnickEntryForm& f)
{
    const std::string mask = f.use_mask ? cut_at_comma(first_word(f.mask)) : std::string();
    const std::string modes = f.use_modes ? cut_at_comma(first_word(f.modes)) : std::string();
    std::string levels;
    if (f.use_levels) {
        std::string t = f.levels;
        std::replace(t.begin(), t.end(), ',', ' ');
        levels = control_collapse_blanks(t);
        while (!levels.empty() && levels.front() == ' ') levels.erase(0, 1);
    }
    if (mask.empty() && modes.empty() && levels.empty() && !f.any_mode && !f.no_mode && (f.lists & 31) == 0) {
        f.any_mode = true;
        f.no_mode = true;
    }
    const int colour = f.colour >= 0 && f.colour <= 15 ? f.colour : 99;
    std::string out = mask + "," + std::to_string(colour);
    out += "," + modes + "," + levels;
    out += "," + std::to_string(f.any_mode ? 1 : 0) + "," + std::to_string(f.no_mode ? 1 : 0);
    out += "," + std::to_string(f.lists & 31) + "," + std::to_string(f.method >= 0 && f.method <= 2 ? f.method : 0);
    out += "," + std::to_string(std::max(0, f.idle));
    return out;
}

int cnick_line_colour(const std::string& line)
{
    NickColorRule r;
    if (!cnick_rule_parse(r, line)) return 99;
    return r.color;
}

std::vector<std::string> cnick_lines_load()
{
    std::vector<std::string> out;
    for (const NickColorRule& r : cnick_rules) out.push_back(cnick_rule_value(r));
    return out;
}

void cnick_lines_apply(const std::vector<std::string>& lines, bool enabled)
{
    opt_set(OPT_NICK_COLOURS_ENABLED, enabled ? 1 : 0);
    cnick_rules.clear();
    for (const std::string& l : lines) {
        NickColorRule r;
        if (cnick_rule_parse(r, l)) cnick_rules.push_back(r);
    }
    cnick_save();
    cnick_recolor_all();
}
