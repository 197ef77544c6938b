// Event firing: the causing user, the walk over the loaded scripts through
// the per-event index, level and field matching, and running the chosen
// line of each script.
#include "script/events/event_fire.h"

#include <cstdlib>

#include "model/connection.h"
#include "model/window_record.h"
#include "core/main_settings.h"
#include "core/string_list.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "core/wildcard.h"
#include "script/eval/evaluate.h"
#include "script/events/event_index.h"
#include "script/events/remote_files.h"
#include "script/events/users.h"
#include "script/exec/script_errors.h"
#include "script/exec/script_hooks.h"
#include "script/stores/regex.h"
#include "script/stores/variables.h"

int event_switch_events = 1;
int event_switch_raw = 1;
int event_switch_ctcps = 1;
int event_startup_hold = 0;

namespace {

// An event line marked "$": its match text is a regular expression when it
// is delimited as one (1 hit, 0 none); -1 sends it to the wildcard match.
int event_regex_match(std::string_view pattern, std::string_view text)
{
    if (!regex_is_delimited(pattern))
        return -1;
    return regex_match_text(text, pattern) > 0 ? 1 : 0;
}

std::vector<EventFireContext*> g_stack;

std::string_view trim_right(std::string_view t)
{
    while (!t.empty() && t.back() == ' ')
        t.remove_suffix(1);
    return t;
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

long parse_number(std::string_view t)
{
    long v = 0;
    for (std::size_t i = 0; i < t.size() && is_digit(t[i]); ++i) {
        v = v * 10 + (t[i] - '0');
        if (v > 1000000000L)
            break;
    }
    return v;
}

std::string join_params(const EventLine* line, std::size_t from)
{
    std::string out;
    if (!line)
        return out;
    for (std::size_t i = from; i < line->params.size(); ++i) {
        std::size_t extra = line->params[i].size() + (out.empty() ? 0 : 1);
        if (out.size() + extra > kLongText)
            break;
        if (!out.empty())
            out += ' ';
        out += line->params[i];
    }
    return out;
}

bool is_channel(const EventFireContext& c, std::string_view t)
{
    if (t.empty())
        return false;
    std::string types = c.conn && !c.conn->chan_types.empty() ? c.conn->chan_types : "#&";
    return types.find(t[0]) != std::string::npos;
}

bool in_list(int id, std::initializer_list<int> ids)
{
    for (int i : ids)
        if (i == id)
            return true;
    return false;
}

bool is_mode_item_event(int id)
{
    return in_list(id, {kEvBan, kEvDehelp, kEvDeop, kEvDeowner, kEvDevoice, kEvHelp, kEvOp,
                        kEvOwner, kEvServerOp, kEvUnban, kEvVoice});
}

bool honours_not_me(int id)
{
    return id == kEvCtcp || is_mode_item_event(id) ||
           in_list(id, {5, 10, 11, 14, 15, 25, 26, 27, 31, 32, 35, 37, 39, 40, 41, 42, 43, 45, 47,
                        51, 52, 53, 54, 55, 58, 67, 68, 73});
}

bool honours_op(int id)
{
    return id == kEvCtcp || is_mode_item_event(id) ||
           in_list(id, {5, 32, 35, 37, 39, 42, 47, 52, 55, 67, 68});
}

// ---------------------------------------------------------------------------
// Field cutting.

// The field splitter. false when the line does not match.
bool split_field(std::string_view rest, std::string_view& field, std::string_view& after, bool regex)
{
    rest = text_skip_blanks(rest);
    if (rest.empty() || rest[0] == '{')
        return false;
    std::size_t i = 0;
    if (rest.size() >= 2 && rest[0] == '$' && rest[1] == '(') {
        int depth = 0;
        std::size_t k = 1;
        for (; k < rest.size(); ++k) {
            if (rest[k] == '(')
                ++depth;
            else if (rest[k] == ')' && --depth == 0)
                break;
        }
        if (k >= rest.size())
            return false;
        i = k + 1;
    } else if (regex && rest[0] == '/') {
        // A regular expression's own text: "/.../flags".
        std::size_t k = rest.find('/', 1);
        if (k != std::string_view::npos)
            i = k + 1;
    }
    std::size_t stop = rest.find_first_of(i == 0 ? ":{" : ":", i);
    if (i > 0 && stop == std::string_view::npos)
        stop = rest.find('{', i);
    if (stop == std::string_view::npos)
        return false;
    if (rest[stop] == '{') {
        field = trim_right(rest.substr(0, stop));
        after = rest.substr(stop);
        return true;
    }
    field = rest.substr(0, stop);
    after = text_skip_blanks(rest.substr(stop + 1));
    return !after.empty();
}

// A plain cut at the first ":".
bool plain_cut(std::string_view rest, std::string_view& field, std::string_view& after)
{
    rest = text_skip_blanks(rest);
    std::size_t stop = rest.find(':');
    if (stop == std::string_view::npos)
        return false;
    field = rest.substr(0, stop);
    after = text_skip_blanks(rest.substr(stop + 1));
    return !after.empty();
}

// ---------------------------------------------------------------------------

struct Candidate {
    std::string command;
    std::string params;
    std::string chan;
    std::string matchkey;
    std::string ulevel;
    std::string clevel;
    StringNode* line = nullptr;
    long number = 0;
    bool named = false;
    bool valid = false;
};

class Walker {
public:
    explicit Walker(EventFireContext& c) : c_(c) {}
    void walk(std::string_view word, int id, int phase);

private:
    EventFireContext& c_;
    // Evaluates a field that begins with "$(" or "%"; false when the
    // evaluation gives nothing. Other fields are copied.
    bool eval_field(std::string_view field, std::string_view compared, std::string& out);
    bool match_text(std::string_view mask, std::string_view text);
    bool target_one(std::string_view entry, std::string_view target, bool text_form);
    bool target_list(std::string_view list, std::string_view target, bool text_form);
    bool window_spec(std::string_view spec);
    bool level_test(std::string_view level_field, long held_number, bool any_matched,
                    Candidate& cand);
    bool examine(StringNode* line, int phase, long held_number, bool any_matched, Candidate& cand);
    bool match_rest(std::string_view rest, Candidate& cand);
    void run(const Candidate& cand);
    bool handled(ScriptFile* s) const;
};

bool Walker::handled(ScriptFile* s) const
{
    for (ScriptFile* h : c_.handled)
        if (h == s)
            return true;
    for (const std::string& p : c_.ran)
        if (text_equal_nocase(p, s->path))
            return true;
    return false;
}

bool Walker::eval_field(std::string_view field, std::string_view compared, std::string& out)
{
    if (field.size() >= 2 && field[0] == '$' && field[1] == '(') {
        std::string text(field.substr(0, kLongText));
        std::string p1(compared.substr(0, kLongText));
        if (!ident_eval_text(c_.window, &text, p1.c_str(), nullptr, 1, 1, -1, c_.script, c_.conn))
            return false;
        out = text;
        return !out.empty();
    }
    if (!field.empty() && field[0] == '%') {
        std::string value;
        if (!var_find(field, &value, nullptr))
            return false;
        out = value;
        return !out.empty();
    }
    out.assign(field);
    return true;
}

bool Walker::match_text(std::string_view mask, std::string_view text)
{
    if (c_.flag_regex) {
        int r = event_regex_match(mask, text);
        if (r >= 0)
            return r > 0;
    }
    return wild_match(mask, text, 0, 1) != 0;
}

bool Walker::target_one(std::string_view e, std::string_view target, bool)
{
    e = text_skip_blanks(e);
    e = e.substr(0, e.find(' '));
    std::string value;
    if (!e.empty() && (e[0] == '%' || (e.size() > 1 && e[0] == '$' && e[1] == '('))) {
        if (!eval_field(e, target, value))
            return false;
        e = value;
    }
    if (e.empty())
        return false;
    if (e.size() == 1) {
        switch (e[0]) {
        case '*': return true;
        case '#': return is_channel(c_, target);
        case '?': case '=': case '!':
            return !target.empty() && !is_channel(c_, target) && target[0] != '@';
        case '@': return !target.empty() && target[0] == '@';
        default: break;
        }
    }
    return match_text(e, target);
}

bool Walker::target_list(std::string_view list, std::string_view target, bool text_form)
{
    list = text_skip_blanks(list);
    std::string value;
    if (list.find(',') == std::string_view::npos && !list.empty() &&
        (list[0] == '%' || (list.size() > 1 && list[0] == '$' && list[1] == '('))) {
        if (!eval_field(list, target, value))
            return false;
        list = value;
    }
    if (list.empty())
        return false;
    std::size_t p = 0;
    while (true) {
        std::size_t q = list.find(',', p);
        std::string_view e = list.substr(p, q == std::string_view::npos ? std::string_view::npos : q - p);
        if (target_one(e, target, text_form))
            return true;
        if (q == std::string_view::npos)
            return false;
        p = q + 1;
    }
}

bool Walker::window_spec(std::string_view spec)
{
    WindowRecord* w = c_.window ? win_record_of(c_.window) : nullptr;
    if (!w || spec.empty())
        return false;
    char f = spec[0];
    if (f == '#' && w->type != kWinChannel)
        return false;
    if (f == '?' && !(w->type == kWinQuery && (w->subtype == kQueryPrivate || w->subtype == kQueryMessages)))
        return false;
    if (f == '@' && (w->name.empty() || w->name[0] != '@'))
        return false;
    if (f == '=' || f == '!') {
        int need = f == '=' ? kQueryDccChat : kQueryFserve;
        if (!(w->type == kWinQuery && w->subtype == need))
            return false;
        std::string_view rest = spec.size() > 1 ? spec.substr(1) : spec;
        std::string_view name = w->name;
        std::size_t b = name.find(' ');
        std::string_view partner = (b == std::string_view::npos || b + 1 >= name.size()) ? name : name.substr(b + 1);
        if (spec.size() == 1)
            return true;
        return match_text(rest, partner) || target_list(rest, partner, false);
    }
    return match_text(spec, w->name) || target_list(spec, w->name, false);
}

bool Walker::level_test(std::string_view lf, long held, bool any_matched, Candidate& cand)
{
    // Relation characters.
    bool lt = lf.find('<') != std::string_view::npos;
    bool gt = lf.find('>') != std::string_view::npos;
    bool eq = lf.find('=') != std::string_view::npos;
    if ((lt || gt || eq) && c_.relation_ref > 0 && !c_.user_level.empty() && is_digit(c_.user_level[0])) {
        long L = parse_number(c_.user_level), R = c_.relation_ref;
        bool ok = true;
        if (gt && eq) ok = L <= R;
        else if (gt && lt) ok = L != R;
        else if (gt) ok = L < R;
        else if (lt && eq) ok = L >= R;
        else if (lt) ok = L > R;
        else ok = L == R;
        if (!ok)
            return false;
    }
    if (lf.find('&') != std::string_view::npos && c_.halt)
        return false;
    c_.flag_exact = lf.find('+') != std::string_view::npos;
    c_.flag_not_me = lf.find('!') != std::string_view::npos;
    c_.flag_op = lf.find('@') != std::string_view::npos;
    c_.flag_regex = lf.find('$') != std::string_view::npos;
    std::size_t i = 0;
    while (i < lf.size() && std::string_view(" !$&*+@^").find(lf[i]) != std::string_view::npos)
        ++i;
    std::string_view name = lf.substr(i).substr(0, kShortText);
    name = name.substr(0, name.find('!'));
    if (!any_matched && lf.find('*') != std::string_view::npos) {
        cand.clevel = "*";
        cand.ulevel = c_.user_level;
        cand.named = true;
        return true;
    }
    if (name.empty())
        return false;
    bool numeric_line = is_digit(name[0]);
    long S = numeric_line ? parse_number(name) : 0;
    std::string_view list = c_.level_list;
    std::size_t p = 0;
    bool first = true;
    while (p <= list.size()) {
        std::size_t q = list.find(',', p);
        std::string_view e = text_skip_blanks(list.substr(p, q == std::string_view::npos ? std::string_view::npos : q - p));
        bool exact = !first;
        bool exact_flag = c_.flag_exact;
        std::size_t k = 0;
        while (k < e.size() && (e[k] == '=' || e[k] == '+' || e[k] == ' ')) {
            if (e[k] == '=')
                exact = true;
            if (e[k] == '+')
                exact_flag = true;
            ++k;
        }
        std::string_view ev = e.substr(k);
        first = false;
        if (!ev.empty()) {
            if (!numeric_line) {
                if (text_equal_nocase(ev, name)) {
                    cand.clevel.assign(name);
                    cand.ulevel.assign(ev);
                    cand.named = true;
                    return true;
                }
            } else if (is_digit(ev[0])) {
                long uv = parse_number(ev);
                bool pass = true;
                if (S <= held)
                    pass = false;
                else if (exact_flag && uv != S)
                    pass = false;
                else if (exact)
                    pass = uv == S;
                else
                    pass = uv >= S;
                if (pass) {
                    cand.clevel.assign(name);
                    cand.ulevel.assign(ev);
                    cand.number = S;
                    cand.named = false;
                    return true;
                }
            }
        }
        if (q == std::string_view::npos)
            break;
        p = q + 1;
    }
    return false;
}

bool Walker::examine(StringNode* node, int phase, long held, bool any_matched, Candidate& cand)
{
    cand = Candidate();
    cand.line = node;
    c_.flag_exact = c_.flag_not_me = c_.flag_op = c_.flag_regex = 0;
    std::string_view t = text_skip_blanks(node->text);
    int kind = static_cast<int>(node->extra[kLineClass]);
    if (kind == kLineRaw) {
        long want = node->extra[kLineNumber];
        long word_number = is_digit(c_.event_word.empty() ? 'x' : c_.event_word[0]) ? parse_number(c_.event_word) : -1;
        if (want != 0 && want != word_number)
            return false;
        std::string_view rest = text_skip_blanks(t.substr(3));
        std::string_view field, after;
        if (!split_field(rest, field, after, false)) {
            // "raw 433" alone: the word field is the whole rest.
            field = trim_right(rest);
            after = "/!return";
            if (field.empty())
                return false;
        }
        std::string f(field);
        if (!f.empty() && f[0] == '&') {
            if (c_.halt)
                return false;
            f.erase(0, 1);
        }
        std::size_t d = f.find('$');
        if (d != std::string::npos && !(f.size() > d + 1 && f[d + 1] == '(')) {
            c_.flag_regex = 1;
            f.erase(d, 1);
        }
        std::string value;
        if (!eval_field(f, c_.event_word, value))
            return false;
        bool ok = value == "*" || (is_digit(value[0]) ? parse_number(value) == word_number
                                                        : text_equal_nocase(value, c_.event_word));
        if (!ok)
            return false;
        cand.clevel = cand.ulevel = "1";
        c_.numeric = static_cast<int>(word_number);
        cand.named = true;
        return match_rest(after, cand);
    }
    bool ctcp = kind == kLineCtcp;
    t = text_skip_blanks(t.substr(ctcp ? 4 : 2));
    if (t.size() >= 3 && text_equal_nocase(t.substr(0, 3), "me:")) {
        if (!event_nick_is_me(&c_))
            return false;
        t = text_skip_blanks(t.substr(3));
    }
    std::size_t colon = t.find(':');
    if (colon == std::string_view::npos)
        return false;
    std::string_view level_field = t.substr(0, colon);
    std::string_view rest = t.substr(colon + 1);
    if (!ctcp) {
        bool caret = level_field.find('^') != std::string_view::npos;
        if (caret != (phase == 1))
            return false;
    }
    if (!level_test(level_field, held, any_matched, cand))
        return false;
    if (!ctcp) {
        rest = text_skip_blanks(rest);
        std::size_t end = rest.find(':');
        std::string_view ev = rest.substr(0, end);
        std::size_t brace = ev.find('{');
        if (brace != std::string_view::npos) {
            end = brace;
            ev = trim_right(ev.substr(0, brace));
        }
        ev = trim_right(ev);
        // "on <level>:CTCP:<word>:..." is the ctcp line written as an on
        // line: the CTCP word follows as its own field.
        const bool ctcp_on_line = c_.event_id == kEvCtcp && text_equal_nocase(ev, "CTCP");
        if (!(ev == "*" || ctcp_on_line || text_equal_nocase(ev, c_.event_word)))
            return false;
        if (end == std::string_view::npos)
            rest = "/!return";
        else if (rest[end] == '{')
            rest = rest.substr(end);
        else {
            rest = text_skip_blanks(rest.substr(end + 1));
            if (rest.empty())
                rest = "/!return";
        }
    }
    return match_rest(rest, cand);
}

bool Walker::match_rest(std::string_view rest, Candidate& cand)
{
    const int id = c_.event_id;
    const EventLine* line = c_.line;
    std::string_view field, after;
    std::string value;
    if (honours_not_me(id) && c_.flag_not_me && event_nick_is_me(&c_))
        return false;
    if (honours_op(id) && c_.flag_op && !event_me_is_op(&c_))
        return false;
    auto chan_of_target = [&]() {
        if (line && is_channel(c_, line->target))
            cand.chan = line->target;
    };
    if (id == kEvCtcp) {
        if (!line || !split_field(rest, field, after, c_.flag_regex))
            return false;
        if (!eval_field(field, c_.event_word, value))
            return false;
        std::string_view ctext = c_.event_word;
        bool ok;
        if (value == "*")
            ok = true;
        else if (value.find_first_of("*?") != std::string::npos)
            ok = match_text(value, ctext);
        else
            ok = ctext.size() >= value.size() && text_equal_nocase(ctext.substr(0, value.size()), value) &&
                 (ctext.size() == value.size() || ctext[value.size()] == ' ');
        if (!ok)
            return false;
        rest = after;
        std::string_view f2, a2;
        if (!rest.empty() && std::string_view("*#?%").find(rest[0]) != std::string_view::npos &&
            split_field(rest, f2, a2, c_.flag_regex)) {
            if (!target_list(f2, line->target, false))
                return false;
            rest = a2;
        }
        cand.command.assign(rest);
        cand.params.assign(text_skip_blanks(c_.event_word));
        chan_of_target();
        return true;
    }
    switch (id) {
    // on <level>:CHAT:<text mask>:<commands> (SERV alike): a line of a DCC
    // chat or file-server session.
    case kEvChat: case kEvServ: {
        if (!line || !c_.source || !c_.source->dcc_chat || !split_field(rest, field, after, c_.flag_regex))
            return false;
        std::string mask;
        if (!eval_field(field, line->text, mask) || !match_text(mask, line->text))
            return false;
        cand.command.assign(after);
        cand.params = line->text;
        return true;
    }
    // on <level>:DCCSERVER:<word>:<commands>: a request on the own DCC
    // server; the word is matched against the request's kind (text 2:
    // CHAT, FSERVE or SEND).
    case kEvDccServer: {
        if (!c_.source || !(c_.source->dcc_chat || c_.source->dcc_get) ||
            !split_field(rest, field, after, c_.flag_regex))
            return false;
        const std::string& kind = c_.source->text2;
        std::string mask;
        if (!eval_field(field, kind, mask) || !match_text(mask, kind))
            return false;
        cand.matchkey = mask;
        cand.command.assign(after);
        return true;
    }
    case kEvAction: case kEvNotice: case kEvText: {
        if (!line || !plain_cut(rest, field, after))
            return false;
        std::string mask;
        if (!eval_field(field, line->text, mask))
            return false;
        if (!match_text(mask, line->text))
            return false;
        std::string_view tf, ta;
        if (!split_field(after, tf, ta, c_.flag_regex))
            return false;
        if (!target_list(tf, line->target, true))
            return false;
        cand.matchkey = mask;
        cand.command.assign(ta);
        cand.params = line->text;
        chan_of_target();
        return true;
    }
    case kEvCtcpReply: case kEvSnotice: case kEvWallops: case kEvError: case kEvRaw: {
        if (!line)
            return false;
        std::string compared;
        if (id == kEvWallops)
            compared = line->params.empty() ? std::string() : line->params[0];
        else if (id == kEvError)
            compared = line->command + (line->params.empty() ? "" : " " + join_params(line, 0));
        else if (id == kEvRaw)
            compared = join_params(line, 0);
        else
            compared = line->text;
        if (!split_field(rest, field, after, c_.flag_regex))
            return false;
        std::string mask;
        if (!eval_field(field, compared, mask) || !match_text(mask, compared))
            return false;
        cand.matchkey = mask;
        cand.command.assign(after);
        cand.params = compared;
        if (id == kEvCtcpReply)
            chan_of_target();
        return true;
    }
    case kEvInvite: {
        if (!line || !split_field(rest, field, after, c_.flag_regex))
            return false;
        std::string chan = line->params.size() > 1 ? line->params[1] : std::string();
        if (!target_list(field, chan, false))
            return false;
        cand.command.assign(after);
        if (is_channel(c_, chan))
            cand.chan = chan;
        return true;
    }
    case kEvSignal: {
        if (!split_field(rest, field, after, c_.flag_regex))
            return false;
        std::string_view t1 = c_.text1;
        std::size_t b = t1.find(' ');
        std::string_view name = t1.substr(0, b);
        std::string mask;
        if (!eval_field(field, t1, mask) || !match_text(mask, name))
            return false;
        cand.matchkey = mask;
        cand.command.assign(after);
        cand.params.assign(b == std::string_view::npos ? std::string_view() : text_skip_blanks(t1.substr(b)));
        return true;
    }
    case kEvActive: case kEvInput: case kEvTabComp: {
        if (!split_field(rest, field, after, c_.flag_regex) || !window_spec(field))
            return false;
        cand.matchkey.assign(field);
        cand.command.assign(after);
        if (id == kEvInput || id == kEvTabComp)
            cand.params = c_.text1;
        return true;
    }
    case kEvHotlink: case kEvVcmd: {
        if (id == kEvHotlink && c_.text2.empty())
            return false;
        if (!split_field(rest, field, after, c_.flag_regex))
            return false;
        const std::string& compared = id == kEvHotlink ? c_.text2 : c_.text1;
        std::string mask;
        if (id == kEvHotlink) {
            if (!eval_field(field, compared, mask))
                return false;
        } else {
            mask.assign(field);
        }
        if (!match_text(mask, compared))
            return false;
        std::string_view wf, wa;
        if (!split_field(after, wf, wa, c_.flag_regex) || !window_spec(wf))
            return false;
        cand.matchkey = mask;
        cand.command.assign(wa);
        cand.params = compared;
        return true;
    }
    case kEvKeyDown: case kEvKeyUp: {
        WindowRecord* w = c_.window ? win_record_of(c_.window) : nullptr;
        if (!w || !plain_cut(rest, field, after))
            return false;
        std::string wmask;
        if (!eval_field(field, {}, wmask))
            return false;
        if (wmask != "@" && !match_text(wmask, w->name))
            return false;
        std::string_view kf, ka;
        if (!split_field(after, kf, ka, false))
            return false;
        bool hit = false;
        std::size_t p = 0;
        while (!hit) {
            std::size_t q = kf.find(',', p);
            std::string_view e = text_skip_blanks(kf.substr(p, q == std::string_view::npos ? std::string_view::npos : q - p));
            if (!e.empty() && (e == "*" || (is_digit(e[0]) && parse_number(e) == c_.source->key_value)))
                hit = true;
            if (q == std::string_view::npos)
                break;
            p = q + 1;
        }
        if (!hit)
            return false;
        cand.command.assign(ka);
        if (is_channel(c_, w->name))
            cand.chan = w->name;
        return true;
    }
    case kEvLogon: {
        if (!split_field(rest, field, after, false))
            return false;
        std::string network;
        conn_get_network(network, c_.conn);
        if (!match_text(field, network))
            return false;
        cand.command.assign(after);
        return true;
    }
    case kEvClose: case kEvOpen: {
        rest = text_skip_blanks(rest);
        if (rest == "!" || rest == "=") {
            cand.command.assign(rest);
            return true;
        }
        if (c_.source && (c_.source->dcc_chat))
            return false;   // chat windows: the DCC part answers these
        WindowRecord* w = c_.window ? win_record_of(c_.window) : nullptr;
        if (!split_field(rest, field, after, false) || field.empty())
            return false;
        std::string type;
        if (!eval_field(field, c_.nick, type))
            return false;
        if (w && w->type == kWinStatus && type[0] != '*')
            return false;
        if (type[0] != '?' && type[0] != '@' && type[0] != '*')
            return false;
        if (!(match_text(type, c_.nick) || target_list(type, c_.nick, false)))
            return false;
        cand.matchkey = type;
        std::string_view cmd = after;
        if (!w && line && !line->text.empty()) {
            std::size_t k = cmd.find(':');
            if (k != std::string_view::npos && cmd[0] != '{') {
                std::string mask;
                if (!eval_field(cmd.substr(0, k), line->text, mask) || !match_text(mask, line->text))
                    return false;
                cmd = text_skip_blanks(cmd.substr(k + 1));
                if (cmd.empty())
                    return false;
            }
            cand.params = line->text;
        }
        cand.command.assign(cmd);
        return true;
    }
    default:
        break;
    }
    if (is_mode_item_event(id) || in_list(id, {kEvMode, kEvRawMode, kEvServerMode, kEvJoin,
                                                kEvKick, kEvPart, kEvTopic})) {
        if (!line || !split_field(rest, field, after, c_.flag_regex))
            return false;
        if (!target_list(field, line->target, false))
            return false;
        cand.command.assign(after);
        if (id == kEvKick || id == kEvPart || id == kEvTopic)
            cand.params = line->text;
        else if (id != kEvJoin)
            cand.params = join_params(line, 1);
        chan_of_target();
        return true;
    }
    if (in_list(id, {kEvAppActive, kEvAgent, kEvConnect, kEvConnectFail, kEvDisconnect, kEvDns,
                     kEvExit, kEvLoad, kEvMidiEnd, kEvNick, kEvNoSound, kEvNotify, kEvPing,
                     kEvPlayEnd, kEvPong, kEvQuit, kEvSongEnd, kEvStart, kEvUnload, kEvUnotify,
                     kEvUserMode, kEvWaveEnd})) {
        if (in_list(id, {kEvNick, kEvPing, kEvPong, kEvQuit, kEvUserMode}) && !line)
            return false;
        cand.command.assign(text_skip_blanks(rest));
        if (id == kEvConnectFail)
            cand.params = c_.text1;
        else if (id == kEvNoSound || id == kEvQuit)
            cand.params = line ? line->text : std::string();
        else if (id == kEvPong)
            cand.params = join_params(line, 0);
        else if (id == kEvUserMode)
            cand.params = join_params(line, 1);
        return !cand.command.empty();
    }
    // dialog name : sub-events : control ids : commands
    if (id == kEvDialog) {
        if (!c_.source || !c_.source->dialog || !plain_cut(rest, field, after))
            return false;
        if (!match_text(field, c_.text1))
            return false;
        std::string_view events, ids, more;
        if (!plain_cut(after, events, more) || !plain_cut(more, ids, after))
            return false;
        auto any_entry = [](std::string_view list, auto hit) {
            std::size_t p = 0;
            while (true) {
                std::size_t q = list.find(',', p);
                std::string_view e = text_skip_blanks(
                    list.substr(p, q == std::string_view::npos ? std::string_view::npos : q - p));
                if (!e.empty() && hit(e))
                    return true;
                if (q == std::string_view::npos)
                    return false;
                p = q + 1;
            }
        };
        if (!any_entry(events, [&](std::string_view e) { return match_text(e, c_.text2); }))
            return false;
        const int control = c_.source->dialog_control;
        auto id_hit = [control](std::string_view e) {
            while (!e.empty() && e.back() == ' ')
                e.remove_suffix(1);
            if (e == "*")
                return true;
            std::size_t dash = e.find('-');
            if (dash == std::string_view::npos)
                return is_digit(e[0]) && parse_number(e) == control;
            std::string_view lo = e.substr(0, dash), hi = text_skip_blanks(e.substr(dash + 1));
            if (lo.empty() || hi.empty() || !is_digit(lo[0]) || !is_digit(hi[0]))
                return false;
            return parse_number(lo) <= control && control <= parse_number(hi);
        };
        if (!any_entry(ids, id_hit))
            return false;
        cand.command.assign(after);
        return true;
    }
    // Socket events: the field is matched against the socket's name.
    if (in_list(id, {kEvSockClose, kEvSockListen, kEvSockOpen, kEvSockRead, kEvSockWrite,
                     kEvUdpRead, kEvUdpWrite})) {
        if (!c_.source || !c_.source->socket || !split_field(rest, field, after, c_.flag_regex))
            return false;
        const std::string& name = c_.source->text1;
        if (!eval_field(field, name, value) || !match_text(value, name))
            return false;
        cand.command.assign(after);
        return true;
    }
    // DCC file events: a comma list of file masks against the record's full path.
    if (in_list(id, {kEvFileRcvd, kEvGetFail, kEvFileSent, kEvSendFail})) {
        const bool get = id == kEvFileRcvd || id == kEvGetFail;
        if (!c_.source || !(get ? c_.source->dcc_get : c_.source->dcc_send) ||
            !split_field(rest, field, after, c_.flag_regex))
            return false;
        const std::string& path = c_.source->text1;
        if (!eval_field(field, path, value))
            return false;
        std::string_view masks = value;
        bool hit = false;
        while (!hit) {
            std::size_t comma = masks.find(',');
            std::string_view mask = text_skip_blanks(masks.substr(0, comma));
            if (!mask.empty() && match_text(mask, path))
                hit = true;
            if (comma == std::string_view::npos)
                break;
            masks.remove_prefix(comma + 1);
        }
        if (!hit)
            return false;
        cand.command.assign(after);
        return true;
    }
    return false;
}

void Walker::run(const Candidate& cand)
{
    ScriptFile* script = c_.script;
    c_.command = cand.command;
    c_.params = cand.params;
    c_.chan = cand.chan;
    c_.matchkey = cand.matchkey;
    c_.ulevel = cand.ulevel;
    c_.clevel = cand.clevel;
    if (c_.event_id == kEvNick && c_.line && !c_.line->params.empty())
        c_.nick2 = c_.line->params[0];
    c_.ran.push_back(script->path);
    QWidget* window = nullptr;
    if (in_list(c_.event_id, {kEvHotlink, kEvInput, kEvKeyDown, kEvKeyUp, kEvTabComp, kEvChat, kEvServ}))
        window = c_.window;
    else if (c_.conn) {
        WindowRecord* status = win_find_by_type(kWinStatus, c_.conn);
        window = status ? status->hwnd.get() : nullptr;
    }
    std::string_view command = c_.command;
    StringNode temp;
    ExecArgs args;
    args.window = window;
    args.mode = 2;
    args.halt = &c_;
    args.script = script;
    args.conn = c_.conn;
    args.definition = cand.line;
    std::string params = c_.params;
    args.params = params.c_str();
    if (!command.empty() && command[0] == '{') {
        std::string_view first = text_skip_blanks(command.substr(1));
        if (!first.empty()) {
            temp.text.assign(first.substr(0, kLongText));
            temp.next = cand.line->next;
            args.lines = &temp;
        } else {
            args.lines = cand.line->next;
        }
    } else {
        temp.text.assign(command.substr(0, kLongText));
        args.lines = &temp;
    }
    const int tripped_before = script_nesting_tripped;
    int r = args.lines ? script_exec_block(args) : 1;
    temp.next = nullptr;
    // A handler that went past the depth bound has shown its nesting error
    // (its run is an outermost one); the next script's handler still runs.
    // A trip at the hard limit stays, so that the whole nest unwinds.
    if (!tripped_before && script_nesting_tripped == kScriptNestingSoft)
        script_nesting_tripped = 0;
    if (r == kScriptHalted || c_.halt)
        c_.result = 0;
}

void Walker::walk(std::string_view word, int id, int phase)
{
    c_.event_word.assign(word.substr(0, kLongText));
    c_.event_id = id;
    c_.phase = phase;
    c_.ulevel.clear();
    c_.clevel.clear();
    c_.relation_ref = 0;
    if (c_.nick.empty()) {
        c_.level_list = std::to_string(user_default_level);
        c_.user_level = c_.level_list;
    } else if (!c_.nick2.empty()) {
        int lv = user_levels_of_address(c_.nick2, nullptr, &c_.level_list, &c_.maddress, &c_);
        c_.user_level = std::to_string(lv);
        c_.relation_ref = user_default_level > 0 ? user_default_level : 0;
    } else {
        int lv = user_levels_of_address(c_.nick, c_.has_address ? &c_.address : nullptr,
                                        &c_.level_list, &c_.maddress, &c_);
        c_.user_level = std::to_string(lv);
    }
    if (id == kEvHotlink && phase == 1)
        for (ScriptFile* f = remote_list; f; f = f->next)
            f->hotlink_state = 0;
    ScriptFile* first = c_.source && remote_file_is_loaded(c_.source->first_script)
                            ? c_.source->first_script : nullptr;
    c_.handled.clear();
    c_.ran.clear();
    for (int pass = first ? 0 : 1; pass < 2; ++pass) {
        EventIndexEntry* e = event_index.head[id];
        while (e) {
            ScriptFile* s = e->script;
            if ((pass == 0 && s != first) || handled(s)) {
                e = e->skip;
                continue;
            }
            while (e && e->script == s && !e->enabled)
                e = e->next;
            if (!e || e->script != s)
                continue;
            if (id == kEvLoad && s->load_state != 1) { e = e->skip; continue; }
            if (id == kEvStart && s->start_state != 1) { e = e->skip; continue; }
            if (id == kEvUnload && s->unload_state != 1) { e = e->skip; continue; }
            if (id == kEvHotlink && phase == 0 && s->hotlink_state == 2) { e = e->skip; continue; }
            c_.handled.push_back(s);
            if (id == kEvLoad) s->load_state = 2;
            if (id == kEvStart) s->start_state = 2;
            if (id == kEvUnload) s->unload_state = 2;
            c_.script = s;
            c_.numeric = -1;
            c_.chan.clear();
            c_.matchkey.clear();
            c_.continue_in_script = 1;
            Candidate held, cand;
            bool stop_result = false;
            EventIndexEntry* next_script = e->skip;
            for (EventIndexEntry* x = e; x && x->script == s; x = x->next) {
                if (!x->enabled)
                    continue;
                if (!examine(x->line, phase, held.valid ? held.number : 0, held.valid, cand))
                    continue;
                if (cand.command == "=") {
                    held = Candidate();
                    continue;
                }
                if (cand.command == "!") {
                    held = Candidate();
                    stop_result = true;
                    break;
                }
                cand.valid = true;
                held = cand;
                if (cand.named)
                    break;
            }
            if (stop_result)
                c_.result = 0;
            if (held.valid) {
                unsigned gen = event_index_generation;
                int halted_before = c_.halt;
                int result_before = c_.result;
                run(held);
                if (id == kEvHotlink && remote_file_is_loaded(s)) {
                    if (phase == 1 && c_.halt && !halted_before) {
                        s->hotlink_state = 2;
                        c_.halt = 0;
                        c_.result = result_before;
                    } else {
                        s->hotlink_state = 1;
                    }
                }
                if (gen != event_index_generation) {
                    // The index was rebuilt: start again, skipping what ran.
                    e = event_index.head[id];
                    continue;
                }
            }
            e = next_script;
        }
    }
    c_.handled.clear();
    c_.ran.clear();
}

void set_own(EventFireContext& c)
{
    c.nick = event_own_nick(c.conn);
    c.has_address = false;
}

void set_from_line(EventFireContext& c)
{
    if (c.line) {
        c.nick = c.line->nick.empty() ? c.line->source : c.line->nick;
    }
}

} // namespace


std::string event_own_nick(Connection* conn)
{
    return conn ? conn->live_identity[2] : std::string();
}

EventFireContext* event_current_context()
{
    return g_stack.empty() ? nullptr : g_stack.back();
}

bool event_context_is_live(const EventContext* ctx)
{
    for (auto it = g_stack.rbegin(); it != g_stack.rend(); ++it)
        if (*it == ctx)
            return true;
    return false;
}

void event_ctx_add_script(EventFireContext* ctx, ScriptFile* script)
{
    if (ctx && script)
        ctx->handled.push_back(script);
}

void event_ctx_forget_script(EventFireContext* ctx, ScriptFile* script)
{
    if (!ctx)
        return;
    for (auto it = ctx->handled.begin(); it != ctx->handled.end();)
        it = *it == script ? ctx->handled.erase(it) : it + 1;
}

int event_fire(Connection* conn, QWidget* window, const EventLine* server_line,
               std::string_view event_word, int event_id, int phase, int* halt,
               const EventSource* source)
{
    // HOTLINK answers whether a handler took the word: when none ran, none did.
    const int go_on = event_id == kEvHotlink ? 0 : 1;
    if (event_startup_hold || event_id < 0 || event_id >= kEventCount)
        return go_on;
    // An event with no handler costs a look at one list head.
    if (!event_index.head[event_id] && event_id != kEvMode && event_id != kEvServerMode)
        return go_on;
    if (!conn || !conn_is_live(conn))
        return go_on;
    // One nesting bound for events, aliases and identifiers: a handler that
    // raises its own event ends with the nesting error.
    if (!script_nesting_enter())
        return go_on;
    struct Leave {
        ~Leave() { script_nesting_leave(); }
    } leave;

    EventFireContext c;
    c.halt = halt ? *halt : 0;
    c.result = 1;
    c.conn = conn;
    c.source = source;
    if (source) {
        c.text1 = source->text1.substr(0, kLongText);
        c.text2 = source->text2.substr(0, kLongText);
    }
    if (window && win_record_of(window))
        c.window = window;
    c.line = source && source->line ? source->line : server_line;
    const EventLine* line = c.line;
    if (line && !line->address.empty()) {
        c.address = line->address.substr(0, kShortText);
        c.has_address = true;
    }
    if (line && !line->text.empty() && !(source && !source->text1.empty()))
        c.text1 = line->text.substr(0, kLongText);

    g_stack.push_back(&c);
    Walker w(c);
    switch (event_id) {
    case kEvMode: case kEvServerMode: {
        if (!line)
            break;
        set_from_line(c);
        w.walk("RAWMODE", kEvRawMode, phase);
        if (line->mode_flag && conn_is_live(conn))
            w.walk(event_word, event_id, phase);
        std::size_t n = line->mode_changes.size();
        for (std::size_t i = 0; i < n && conn_is_live(conn); ++i) {
            const EventModeChange& m = line->mode_changes[i];
            int id = -1;
            bool plus = m.sign == '+';
            switch (m.letter) {
            case 'b': id = plus ? kEvBan : kEvUnban; break;
            case 'o': id = plus ? (line->address.empty() ? kEvServerOp : kEvOp) : kEvDeop; break;
            case 'v': id = plus ? kEvVoice : kEvDevoice; break;
            case 'h': id = plus ? kEvHelp : kEvDehelp; break;
            case 'q': id = plus ? kEvOwner : kEvDeowner; break;
            default: break;
            }
            if (id < 0)
                continue;
            c.nick2 = m.param.substr(0, kShortText);
            c.mode_pos = i == 0 ? (n == 1 ? 2 : 1) : (i + 1 == n ? 4 : 3);
            w.walk(event_word_of_id(id), id, phase);
        }
        c.mode_pos = 0;
        break;
    }
    case kEvHotlink:
        set_own(c);
        w.walk(event_word, event_id, phase);
        break;
    case kEvLogon: case kEvSignal:
        set_own(c);
        w.walk(event_word, event_id, phase);
        if (line && conn_is_live(conn)) {
            set_from_line(c);
            if (line && !line->address.empty())
                c.has_address = true;
            w.walk(event_word, event_id, phase);
        }
        break;
    default: {
        if (in_list(event_id, {6, 7, 8, 12, 13, 21, 24, 30, 33, 34, 36, 38, 49, 64, 65, 66, 72,
                               75, 78, 20, 59, 60, 61, 62, 63, 69, 70})) {
            set_own(c);
        } else if (event_id == kEvError) {
            c.nick = conn->server_name;
        } else if (event_id == kEvDns) {
            // The causing user is whoever the lookup was made for: a nick
            // given to /dns, or nobody for a host or address.
            if (!source || !source->lookup)
                break;
            c.nick = source->requester.substr(0, kShortText);
            c.has_address = false;
            c.address.clear();
        } else if (event_id == kEvDccServer) {
            // The caller of the DCC server, known by nick alone.
            if (!source || !(source->dcc_chat || source->dcc_get))
                break;
            c.nick = source->requester.substr(0, kShortText);
            c.has_address = false;
            c.address.clear();
        } else if (in_list(event_id, {kEvFileRcvd, kEvGetFail, kEvFileSent, kEvSendFail})) {
            // The causing user is the transfer's peer, known by nick alone.
            if (!source || !(source->dcc_send || source->dcc_get))
                break;
            c.nick = source->requester.substr(0, kShortText);
            c.has_address = false;
            c.address.clear();
        } else if (event_id == kEvClose) {
            WindowRecord* rec = c.window ? win_record_of(c.window) : nullptr;
            if (!rec || !(rec->type == kWinStatus || rec->type == kWinQuery || rec->type == kWinCustom))
                break;
            c.nick = rec->name;
            c.has_address = false;
        } else {
            if (!line)
                break;
            set_from_line(c);
            if (event_id == kEvKick && line->params.size() > 1)
                c.nick2 = line->params[1].substr(0, kShortText);
        }
        w.walk(event_word, event_id, phase);
        break;
    }
    }
    g_stack.pop_back();
    if (halt)
        *halt = c.halt;
    int result = c.result;
    if (event_id == kEvHotlink) {
        result = 0;
        for (ScriptFile* f = remote_list; f; f = f->next)
            if (f->hotlink_state == 1)
                result = 1;
    }
    return result;
}

ScriptFile* event_script_of_line(const StringNode* line)
{
    return line ? reinterpret_cast<ScriptFile*>(line->extra[kLineScript]) : nullptr;
}

void events_install()
{
    // The remote files come last in the main settings' load and give its result.
    static int load_listener = 0;
    settings_loaded.add_once(load_listener, kLoadRemoteFiles,
                             [](SettingsLoad& load) { load.result = remote_files_load_all(); });
}
