#include "script/eval/evaluate.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "model/connection.h"
#include "model/window_record.h"
#include "core/numbered_texts.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "script/events/remote_files.h"
#include "script/eval/alias_calls.h"
#include "script/eval/identifier_table.h"
#include "script/exec/script_errors.h"
#include "platform/platform_utils.h"
#include "script/exec/script_hooks.h"
#include "script/exec/script_text.h"
#include "script/stores/variables.h"

int script_nesting = 0;

namespace {

constexpr int kMaxVisits = 100000;
constexpr int kMaxPasses = 200;
int break_counter = 0;

inline bool is_plus_token(const EvalToken* t)
{
    const std::string& s = t->text;
    return s.size() >= 2 && s[0] == '$' && s[1] == '+' && !(s.size() >= 3 && s[2] == '(') &&
           !(s.size() >= 3 && s[2] == ' ');
}

// Resolves the connection when it is no longer live: the window's
// connection, else the current one (and its status window).
bool resolve_conn(EvalArgs& a)
{
    if (conn_is_live(a.conn))
        return true;
    Connection* c = a.window ? conn_of_window(a.window) : nullptr;
    if (!c) {
        c = conn_current();
        if (c) {
            WindowRecord* status = win_find_by_type(kWinStatus, c);
            a.window = status ? status->hwnd.get() : nullptr;
        }
    }
    a.conn = c;
    return c != nullptr;
}

// The running event's own identifier, when an event runs and its
// identifiers are there to answer.
bool event_value(EventContext* ctx, std::string_view name, std::string* out)
{
    return ctx && script_event_ident_value && script_event_ident_value(ctx, name, out);
}

// Break check every 26 visits (counter shared by every evaluation).
bool break_pressed()
{
    if (key_break_pressed()) {
        script_beep_error(1);
        script_error(nullptr, script_text(2301), {}, 6);
        return true;
    }
    return false;
}

inline bool break_check()
{
    if (++break_counter > 25) {
        break_counter = 0;
        return !break_pressed();
    }
    return true;
}

struct Evaluator {
    EvalArgs& a;
    TokenList& list;
    int visits = 0;

    Evaluator(EvalArgs& args) : a(args), list(*args.tokens) {}

    int eval_one(EvalToken* t, EvalToken** next_out);
    int eval_dollar(EvalToken* t, std::string_view name, int must_not_empty, int no_alias,
                    int channel_prefix, EvalToken** next_out);
    int call_handler(IdentHandler h, const IdentEntry* entry, EvalToken* t, std::string& value);
    int eval_args(EvalToken* id);
    int finish_value(EvalToken* t, std::string& value, int result, int must_not_empty,
                     int channel_prefix);
    int eval_range(EvalToken* first, EvalToken* stop, bool group);
    int bracket_pass();
    void resolve_plus();
    bool count_visit()
    {
        if (++visits > kMaxVisits) {
            script_beep_error(1);
            script_error(nullptr, script_text(2302), {}, 6);
            return false;
        }
        return break_check();
    }
};

// Whether a token's text holds a blank (most are short words).
inline bool has_blank(const std::string& s)
{
    if (s.size() > 32)
        return s.find(' ') != std::string::npos;
    for (char c : s)
        if (c == ' ')
            return true;
    return false;
}

void set_final_literal(TokenList& list, EvalToken* t)
{
    t->state = kTokFinal;
    if (t->text.empty())
        t->flags |= kTokEmpty;
    else
        t->flags &= ~kTokEmpty;
    if (t != list.head)
        t->flags |= kTokBlankBefore;
    else
        t->flags &= ~kTokBlankBefore;
}

} // namespace

// ---------------------------------------------------------------------------
// Token lists.

namespace {

// Tokens of lists that ended, kept for the lists that follow: every alias
// call, event line and nested evaluation makes a list of its own, and would
// otherwise go back to the allocator for each of its tokens. Bounded; the
// interpreter runs on the user-interface thread only.
EvalToken* spare_tokens = nullptr;
std::size_t spare_count = 0;
constexpr std::size_t kMaxSpareTokens = 4096;

} // namespace

TokenList::~TokenList()
{
    toklist_clear(*this);
    while (pool) {
        EvalToken* n = pool->next;
        if (spare_count < kMaxSpareTokens) {
            pool->next = spare_tokens;
            spare_tokens = pool;
            ++spare_count;
        } else {
            delete pool;
        }
        pool = n;
    }
}

EvalToken* toklist_new_token(TokenList& list, std::string_view text)
{
    EvalToken* t;
    if (!list.pool && spare_tokens) {
        list.pool = spare_tokens;
        spare_tokens = spare_tokens->next;
        list.pool->next = nullptr;
        --spare_count;
    }
    if (list.pool) {
        t = list.pool;
        list.pool = t->next;
        // A pooled token keeps its text's storage: emptied and refilled
        // (cheaper than a general assignment, which allows overlap).
        t->text.clear();
        t->text.append(text);
        t->state = kTokRaw;
        t->argc = 0;
        t->flags = 0;
        t->blanks = 1;
    } else {
        t = new EvalToken;
        t->text.assign(text);
    }
    t->next = t->prev = nullptr;
    return t;
}

void toklist_append(TokenList& list, EvalToken* tok)
{
    tok->next = nullptr;
    tok->prev = list.tail;
    if (list.tail)
        list.tail->next = tok;
    else
        list.head = tok;
    list.tail = tok;
    ++list.count;
}

void toklist_insert_after(TokenList& list, EvalToken* pos, EvalToken* tok)
{
    if (!pos) {
        tok->prev = nullptr;
        tok->next = list.head;
        if (list.head)
            list.head->prev = tok;
        else
            list.tail = tok;
        list.head = tok;
    } else {
        tok->prev = pos;
        tok->next = pos->next;
        if (pos->next)
            pos->next->prev = tok;
        else
            list.tail = tok;
        pos->next = tok;
    }
    ++list.count;
}

void toklist_unlink(TokenList& list, EvalToken* tok)
{
    if (tok->prev)
        tok->prev->next = tok->next;
    else
        list.head = tok->next;
    if (tok->next)
        tok->next->prev = tok->prev;
    else
        list.tail = tok->prev;
    --list.count;
    tok->next = tok->prev = nullptr;
}

EvalToken* toklist_remove(TokenList& list, EvalToken* tok)
{
    EvalToken* next = tok->next;
    toklist_unlink(list, tok);
    tok->next = list.pool;
    if (tok->text.capacity() > 512)
        std::string().swap(tok->text);
    list.pool = tok;
    return next;
}

void toklist_clear(TokenList& list)
{
    while (list.head)
        toklist_remove(list, list.head);
}

void toklist_split(TokenList& list, std::string_view text)
{
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n) {
        const std::size_t run = i;
        while (i < n && text[i] == ' ')
            ++i;
        if (i >= n)
            break;
        std::size_t j = i;
        while (j < n && text[j] != ' ')
            ++j;
        EvalToken* t = toklist_new_token(list, text.substr(i, j - i));
        t->blanks = i - run > 1 ? static_cast<int>(std::min<std::size_t>(i - run, kLongText)) : 1;
        toklist_append(list, t);
        i = j;
    }
}

// ---------------------------------------------------------------------------

int script_nesting_tripped = 0;
int script_nesting_clears = 0;

void script_nesting_reset_trip()
{
    if (!script_nesting_tripped || script_nesting_clears >= kScriptNestingClears)
        return;
    script_nesting_tripped = 0;
    ++script_nesting_clears;
}

int script_nesting_trip(int kind)
{
    if (script_nesting_tripped < kind)
        script_nesting_tripped = kind;
    if (!script_error_pending())
        script_error_set(script_text(2234));
    return 0;
}

int script_nesting_enter()
{
    if (script_nesting_tripped)
        return script_nesting_trip(script_nesting_tripped);
    return script_nesting_enter_eval();
}

int script_nesting_enter_eval()
{
    if (script_nesting >= kScriptHardNesting)
        return script_nesting_trip(kScriptNestingHard);
    ++script_nesting;
    return 1;
}

void arg_node_set_value(TokenList& list, EvalToken* tok, std::string_view value)
{
    tok->text.assign(value.substr(0, kLongText));
    set_final_literal(list, tok);
}

void ident_eval_join(const TokenList& list, std::string& out, bool keep_runs)
{
    out.clear();
    for (const EvalToken* t = list.head; t; t = t->next) {
        if (t->state != kTokFinal || (t->flags & kTokEmpty) || t->text.empty())
            continue;
        std::size_t gap = 0;
        if (!out.empty() && (t->flags & kTokBlankBefore))
            gap = keep_runs && t->blanks > 1 ? static_cast<std::size_t>(t->blanks) : 1;
        if (out.size() + gap + t->text.size() > kLongText)
            break;
        out.append(gap, ' ');
        out += t->text;
    }
}

std::string ident_negate(std::string_view v)
{
    if (arg_is_number(v))
        return std::strtod(std::string(v).c_str(), nullptr) == 0.0 ? "1" : "0";
    if (v.empty() || text_equal_nocase(v, "$false"))
        return "$true";
    if (text_equal_nocase(v, "$true"))
        return "$false";
    return std::string();
}

int ident_eval_line(EvalArgs& args, std::string_view text, std::string& out, int depth)
{
    out.clear();
    TokenList sub;
    toklist_split(sub, text);
    while (sub.head && (std::string_view(sub.head->text) == "{"))
        toklist_remove(sub, sub.head);
    if (!sub.head)
        return 1;
    EvalArgs nested = args;
    nested.tokens = &sub;
    nested.depth = depth;
    nested.command_line = 0;
    nested.channel_prefix = 0;
    int r;
    int guard = 0;
    do {
        r = ident_eval_tokens(nested);
    } while (r == -1 && ++guard < kMaxPasses);
    if (r == 0 || r == -1)
        return 0;
    ident_eval_join(sub, out);
    return 1;
}

// ---------------------------------------------------------------------------
// The walk.

int Evaluator::finish_value(EvalToken* t, std::string& value, int result, int must_not_empty,
                            int channel_prefix)
{
    if (result == 3 && !value.empty()) {
        std::string line;
        line.swap(value);
        if (!ident_eval_line(a, line, value, a.depth + 1))
            return 0;
    }
    if (channel_prefix && !value.empty()) {
        std::string types = (a.conn && !a.conn->chan_types.empty()) ? a.conn->chan_types : "#&";
        if (types.find(value[0]) == std::string::npos)
            value.insert(value.begin(), '#');
    }
    if (must_not_empty && value.empty())
        return 0;
    arg_node_set_value(list, t, value);
    return 1;
}

// Walks the argument tokens of an identifier until every one is final.
int Evaluator::eval_args(EvalToken* id)
{
    EvalToken* arg = id->next;
    for (int k = 0; k < id->argc && arg; ++k) {
        int guard = 0;
        while (arg->state != kTokFinal) {
            if (!count_visit())
                return 0;
            if (++guard > kMaxPasses) {
                script_error(nullptr, script_text(2302), {}, 6);
                return 0;
            }
            EvalToken* next = nullptr;
            EvalToken* before = arg->prev;
            int r = eval_one(arg, &next);
            if (r <= 0)
                return r;
            // The token may have been replaced; find it again from its place.
            arg = before ? before->next : list.head;
            if (!arg)
                return 1;
            if (arg->state == kTokPlusWait) {
                // A lone $+ as an argument has nothing to join: it is empty.
                arg->text.clear();
                set_final_literal(list, arg);
            }
        }
        arg = arg->next;
    }
    return 1;
}

int Evaluator::call_handler(IdentHandler h, const IdentEntry* entry, EvalToken* t,
                            std::string& value)
{
    std::string scratch_local, work_local;
    IdentCall call;
    call.args = &a;
    call.list = &list;
    call.token = t;
    call.value = &value;
    call.scratch = a.scratch_buf ? a.scratch_buf : &scratch_local;
    call.work = a.error_buf ? a.error_buf : &work_local;
    call.name = entry ? std::string_view(entry->name) : std::string_view();
    call.variant = entry ? entry->variant : 0;
    int guard = 0;
    for (;;) {
        value.clear();
        int r = ident_call(entry, h, call);
        if (r != 1)
            return r;
        if (++guard > kMaxPasses) {
            script_error(nullptr, script_text(2302), {}, 6);
            return 0;
        }
        if (t->argc > 0) {
            int e = eval_args(t);
            if (e <= 0)
                return e;
        }
    }
}

int Evaluator::eval_dollar(EvalToken* t, std::string_view name, int must_not_empty, int no_alias,
                           int channel_prefix, EvalToken** next_out)
{
    std::string value;
    // $N parameters.
    if (!name.empty() && name[0] >= '0' && name[0] <= '9') {
        if (a.params)
            arg_param_range(name, value, *a.params, channel_prefix ? '#' : 0, a.conn);
        else {
            static const std::vector<std::string> none;
            arg_param_range(name, value, none, channel_prefix ? '#' : 0, a.conn);
        }
        if (must_not_empty && value.empty())
            return 0;
        arg_node_set_value(list, t, value);
        *next_out = t->next;
        return 1;
    }
    // $( is $eval(.
    if (!name.empty() && name[0] == '(') {
        std::string text = "eval" + std::string(name);
        t->text = "$" + text;
        name = std::string_view(t->text).substr(1);
    }
    char first = name.empty() ? 0 : text_lower_char(name[0]);
    if (first == '!') {
        if (name.size() == 1) {
            value = a.last_input ? *a.last_input : std::string();
        } else {
            value = (must_not_empty ? "$$" : "$") + std::string(name.substr(1));
            arg_node_set_value(list, t, value);
            *next_out = t->next;
            return 1;
        }
        int r = finish_value(t, value, 2, must_not_empty, 0);
        *next_out = t->next;
        return r;
    }
    if (first == '*' && name.size() == 1) {
        if (a.has_star)
            *a.has_star = 1;
        arg_node_set_value(list, t, "`~$*");
        *next_out = t->next;
        return 1;
    }
    // Bare $chan, $nick and $address give way to the event's own.
    if (a.event_ctx && (text_equal_nocase(name, "chan") || text_equal_nocase(name, "nick") ||
                        text_equal_nocase(name, "address"))) {
        if (event_value(a.event_ctx, name, &value)) {
            int r = finish_value(t, value, 2, must_not_empty, channel_prefix);
            *next_out = t->next;
            return r;
        }
    }
    const IdentEntry* entry = ident_lookup(name);
    int r;
    if (entry) {
        IdentHandler h = entry->handler ? entry->handler : id_not_available;
        r = call_handler(h, entry, t, value);
    } else {
        // Not a built-in: the event's identifiers, then an alias.
        std::string_view bare = name.substr(0, name.find('('));
        if (a.event_ctx && bare.size() == name.size() &&
            event_value(a.event_ctx, bare, &value)) {
            r = 2;
        } else if (no_alias) {
            value.clear();
            r = call_handler(id_absent, nullptr, t, value);
        } else {
            r = call_handler(ident_call_alias, nullptr, t, value);
        }
    }
    if (r == 0 || r == -1)
        return r;
    if (r != 2 && r != 3)
        r = 2;
    int ok = finish_value(t, value, r, must_not_empty, channel_prefix);
    *next_out = t->next;
    return ok;
}

int Evaluator::eval_one(EvalToken* t, EvalToken** next_out)
{
    *next_out = t->next;
    std::string& s = t->text;
    if (s.empty()) {
        set_final_literal(list, t);
        return 1;
    }
    // A substituted text holding blanks.
    if (has_blank(s)) {
        if (s.size() > 3 && s[0] == '$' && s[1] == '+' && s[2] == ' ') {
            s.erase(0, 3);
            return eval_one(t, next_out);
        }
        if (tok_needs_eval(s, ' ')) {
            std::string value;
            std::string line = s;
            if (!ident_eval_line(a, line, value, a.depth))
                return 0;
            arg_node_set_value(list, t, value);
        } else {
            set_final_literal(list, t);
        }
        return 1;
    }
    char c0 = s[0];
    if (c0 == '#') {
        if (s.size() == 1) {
            std::string value;
            if (!(a.event_ctx && event_value(a.event_ctx, "chan", &value) &&
                  !value.empty())) {
                value.clear();
                win_channel_name_append(a.window, value);
            }
            arg_node_set_value(list, t, value);
            return 1;
        }
        if (s[1] == '$' && s.size() > 2) {
            std::string name = s.substr(2);
            int must = 0;
            std::string_view nv = name;
            if (nv.size() > 1 && nv[0] == '$') {
                must = 1;
                nv.remove_prefix(1);
            }
            return eval_dollar(t, nv, must, 0, 1, next_out);
        }
        set_final_literal(list, t);
        return 1;
    }
    if (a.in_condition && c0 == '!' && s.size() > 1 && (s[1] == '$' || s[1] == '%')) {
        std::string inner = s.substr(1);
        EvalToken* before = t->prev;
        s = inner;
        int r = eval_one(t, next_out);
        if (r <= 0)
            return r;
        EvalToken* cur = before ? before->next : list.head;
        if (cur && cur->state == kTokFinal) {
            std::string neg = ident_negate(cur->text);
            arg_node_set_value(list, cur, neg);
        } else if (cur) {
            cur->text.insert(cur->text.begin(), '!');
        }
        return 1;
    }
    if (c0 == '%' && s.size() == 1) {
        // A lone "%" (the remainder operator, a percent sign) is text.
        set_final_literal(list, t);
        return 1;
    }
    if (c0 == '%') {
        // "%name = value" as a command is a /set of that variable.
        if (a.command_line && t == list.head && t->next && t->next->text == "=") {
            EvalToken* eq = t->next;
            eq->text = s;
            eq->flags |= kTokKeepName | kTokBlankBefore;
            eq->flags &= ~static_cast<unsigned>(kTokEmpty);
            set_final_literal(list, eq);
            t->flags &= ~static_cast<unsigned>(kTokEmpty);
            arg_node_set_value(list, t, "set");
            set_final_literal(list, t);
            *next_out = eq->next;
            return 1;
        }
        if (a.command_line && t != list.head && list.head) {
            int position = 0;
            for (EvalToken* p = list.head->next; p && p != t->next; p = p->next)
                if (p->text.empty() || p->text[0] != '-')
                    ++position;
            if (var_keep_name(list.head->text, position, s, t->next == nullptr)) {
                t->flags |= kTokKeepName;
                set_final_literal(list, t);
                return 1;
            }
        }
        // The value goes straight into the token; the name is copied out
        // of it first.
        char short_name[32];
        std::string long_name;
        std::string_view name = std::string_view(s).substr(1);
        if (name.size() <= sizeof short_name) {
            std::copy(name.begin(), name.end(), short_name);
            name = std::string_view(short_name, name.size());
        } else {
            long_name.assign(name);
            name = long_name;
        }
        var_find(name, &t->text, a.locals ? *a.locals : nullptr);
        if (t->text.size() > kLongText)
            t->text.resize(kLongText);
        set_final_literal(list, t);
        return 1;
    }
    if ((c0 == '{' || c0 == '}') && s.size() == 1) {
        *next_out = toklist_remove(list, t);
        return 1;
    }
    if (c0 != '$') {
        // Of the plain words only "=$nick" is an event identifier: "chan"
        // or "nick" written as words stay words.
        if (a.event_ctx && c0 == '=' && s.size() > 1 && s[1] == '$') {
            std::string value;
            if (event_value(a.event_ctx, s, &value)) {
                arg_node_set_value(list, t, value);
                return 1;
            }
        }
        set_final_literal(list, t);
        return 1;
    }
    // "$..."
    if (s.size() == 1) {
        set_final_literal(list, t);
        return 1;
    }
    if (s[1] == '$') {
        if (s.size() == 2) {
            set_final_literal(list, t);
            return 1;
        }
        std::string name = s.substr(2);
        if (name[0] == '!' && name.size() > 1) {
            arg_node_set_value(list, t, "$$" + name.substr(1));
            return 1;
        }
        return eval_dollar(t, name, 1, 0, 0, next_out);
    }
    if (s[1] == '~') {
        if (s.size() == 2) {
            set_final_literal(list, t);
            return 1;
        }
        std::string name = s.substr(2);
        return eval_dollar(t, name, 0, 1, 0, next_out);
    }
    if (s[1] == '+' && is_plus_token(t)) {
        t->state = kTokPlusWait;
        return 1;
    }
    std::string name = s.substr(1);
    return eval_dollar(t, name, 0, 0, 0, next_out);
}

// Evaluates the tokens from first up to (not including) stop until all are
// final. In group mode a $+ joins its left neighbour's value with the right
// neighbour's raw text, which is then evaluated as a token of its own.
int Evaluator::eval_range(EvalToken* first, EvalToken* stop, bool group)
{
    for (int pass = 0; pass < kMaxPasses; ++pass) {
        visits = 0;
        bool again = false;
        EvalToken* t = first;
        while (t && t != stop) {
            if (!count_visit())
                return 0;
            if (t->state == kTokFinal && !(t->flags & kTokAgain)) {
                t = t->next;
                continue;
            }
            if (t->flags & kTokAgain) {
                t->flags &= ~kTokAgain;
                t->state = kTokRaw;
            }
            if (group && is_plus_token(t)) {
                EvalToken* left = t->prev;
                EvalToken* right = t->next;
                bool left_in = left && t != first;
                if (left_in && right && right != stop) {
                    std::string joined = (left->flags & kTokEmpty) ? std::string() : left->text;
                    joined += right->text;
                    if (joined.size() > kLongText) {
                        ident_error(t, nullptr, 9);
                        return 0;
                    }
                    if (left == first)
                        first = right;
                    toklist_remove(list, left);
                    toklist_remove(list, t);
                    right->text = std::move(joined);
                    right->state = kTokRaw;
                    right->flags &= ~(kTokEmpty);
                    t = right;
                    continue;
                }
                t->state = kTokPlusWait;
                t = t->next;
                continue;
            }
            EvalToken* before = t->prev;
            bool was_first = (t == first);
            EvalToken* next = nullptr;
            int r = eval_one(t, &next);
            if (r <= 0)
                return r;
            if (was_first)
                first = before ? before->next : list.head;
            t = next;
        }
        if (!group) {
            // A plain walk covers the whole list; the joins may have dropped
            // its first token (a "$+" at the head).
            resolve_plus();
            first = list.head;
        }
        for (EvalToken* u = first; u && u != stop; u = u->next)
            if ((u->state == kTokRaw) || (u->flags & kTokAgain) ||
                (!group && u->state == kTokPlusWait)) {
                again = true;
                break;
            }
        if (!again)
            return 1;
    }
    if (a.window || true)
        script_echo_line(a.window, script_text(2302), kColourInfo);
    return 0;
}

// Joins "a $+ b" once both neighbours are final.
void Evaluator::resolve_plus()
{
    EvalToken* t = list.head;
    while (t) {
        if (t->state != kTokPlusWait) {
            t = t->next;
            continue;
        }
        EvalToken* left = t->prev;
        EvalToken* right = t->next;
        if (!left || !right) {
            t = toklist_remove(list, t);
            continue;
        }
        if (right->state == kTokPlusWait || is_plus_token(right)) {
            t = toklist_remove(list, t);
            continue;
        }
        if (left->state != kTokFinal || right->state != kTokFinal) {
            t = t->next;
            continue;
        }
        std::string joined;
        if (!(left->flags & kTokEmpty))
            joined = left->text;
        if (!(right->flags & kTokEmpty))
            joined += right->text;
        if (joined.size() > kLongText) {
            // Reported by the caller's check below.
            ident_error(t, nullptr, 9);
            left->text.clear();
            left->flags |= kTokEmpty;
            toklist_remove(list, t);
            toklist_remove(list, right);
            list.head = list.head; // unchanged
            return;
        }
        bool blank = (left->flags & kTokBlankBefore) != 0;
        left->text = std::move(joined);
        left->state = kTokFinal;
        if (left->text.empty())
            left->flags |= kTokEmpty;
        else
            left->flags &= ~kTokEmpty;
        if (blank)
            left->flags |= kTokBlankBefore;
        toklist_remove(list, t);
        t = toklist_remove(list, right);
    }
}

int Evaluator::bracket_pass()
{
    std::vector<EvalToken*> open;
    int restarts = 0;
restart:
    open.clear();
    for (EvalToken* t = list.head; t;) {
        if (!count_visit())
            return 0;
        if (t->state != kTokRaw) {
            t = t->next;
            continue;
        }
        const std::string& s = t->text;
        if (s.empty() || (s[0] != '[' && s[0] != ']')) {
            t = t->next;
            continue;
        }
        if (s == "[[") {
            arg_node_set_value(list, t, "[");
            t = t->next;
            continue;
        }
        if (s == "]]") {
            arg_node_set_value(list, t, "]");
            t = t->next;
            continue;
        }
        if (s == "[") {
            open.push_back(t);
            t = t->next;
            continue;
        }
        if (s != "]" || open.empty()) {
            set_final_literal(list, t);
            t = t->next;
            continue;
        }
        EvalToken* o = open.back();
        open.pop_back();
        if (o->next == t) {
            toklist_remove(list, o);
            toklist_remove(list, t);
            if (++restarts > kMaxPasses)
                return 0;
            goto restart;
        }
        EvalToken* first = o->next;
        EvalToken* last = t->prev;
        EvalToken* stop = t->next;
        toklist_remove(list, o);
        toklist_remove(list, t);
        if (first == last) {
            first->state = kTokRaw;
            first->flags &= ~kTokEmpty;
        }
        int r = eval_range(first, stop, true);
        if (r <= 0)
            return r;
        t = stop;
    }
    // Unmatched "[" stay as literal text.
    for (EvalToken* o : open)
        if (o->state == kTokRaw)
            set_final_literal(list, o);
    return 1;
}

// ---------------------------------------------------------------------------

int ident_eval_tokens(EvalArgs& args)
{
    if (!args.tokens)
        return 0;
    if (args.script && !remote_script_file_is_live(args.script))
        return 0;
    if (args.depth > 256)
        return script_nesting_trip(kScriptNestingSoft);
    if (!script_nesting_enter_eval())
        return 0;
    struct Leave {
        ~Leave() { script_nesting_leave(); }
    } leave;
    if (!resolve_conn(args))
        return 0;
    Evaluator ev(args);
    bool has_brackets = false;
    for (EvalToken* t = args.tokens->head; t; t = t->next)
        if (t->state == kTokRaw && !t->text.empty() && (t->text[0] == '[' || t->text[0] == ']')) {
            has_brackets = true;
            break;
        }
    if (has_brackets) {
        int r = ev.bracket_pass();
        if (r <= 0)
            return r;
    }
    int r = ev.eval_range(args.tokens->head, nullptr, false);
    if (r <= 0)
        return r;
    if (script_error_pending() && !script_error_state.placed && args.tokens->head == nullptr)
        return 1;
    return 1;
}

std::string* ident_eval_text(QWidget* window, std::string* text, const char* param1,
                             const char* param2, int event, int depth, int scope,
                             ScriptFile* script, Connection* conn)
{
    if (!text)
        return nullptr;
    if (!conn_is_live(conn))
        return nullptr;
    bool top = depth <= 0;
    bool suppress = depth == -1;
    if (top) {
        script_error_clear();
        depth = 0;
    }
    if (window && !win_record_of(window)) {
        WindowRecord* status = win_find_by_type(kWinStatus, conn);
        window = status ? status->hwnd.get() : nullptr;
    }
    std::size_t lead = 0;
    while (lead < text->size() && (*text)[lead] == ' ')
        ++lead;
    if (lead >= text->size()) {
        text->clear();
        return text;
    }
    std::vector<std::string> params;
    if (param1) {
        params.emplace_back();
        params.emplace_back(param1);
        if (param2)
            params.emplace_back(param2);
    }
    int new_scope = scope >= 0 ? var_next_scope() : scope;
    std::string value_buf, scratch_buf, error_buf, last_input, result, cond;
    int has_star = 0, filtered = 0, findn = 0;
    TokenList list;
    toklist_split(list, std::string_view(*text).substr(lead, kLongText));
    while (list.head && std::string_view(list.head->text) == "{")
        toklist_remove(list, list.head);
    EvalArgs a;
    a.window = window;
    a.tokens = &list;
    a.value_buf = &value_buf;
    a.scratch_buf = &scratch_buf;
    a.error_buf = &error_buf;
    a.params = param1 ? &params : nullptr;
    a.has_star = &has_star;
    a.last_input = &last_input;
    a.event = event;
    a.depth = depth;
    a.show = 1;
    a.result_slot = &result;
    a.cond_slot = &cond;
    a.filtered = &filtered;
    a.findfilen = &findn;
    a.scope = new_scope;
    a.script = script;
    a.conn = conn;
    int r;
    int guard = 0;
    do {
        r = ident_eval_tokens(a);
    } while (r == -1 && ++guard < kMaxPasses);
    std::string* out = text;
    if (r == 0 || r == -1) {
        text->clear();
        out = nullptr;
    } else {
        std::string joined;
        ident_eval_join(list, joined);
        if (has_star && joined.compare(0, 4, "`~$*") == 0)
            joined.clear();
        *text = std::move(joined);
    }
    if (top && scope >= 0)
        var_scope_end(window, new_scope);
    if (script_error_pending()) {
        if (!script_error_state.placed || script_error_state.depth >= depth) {
            out = nullptr;
            text->clear();
        }
        if (top) {
            if (suppress)
                script_error_clear();
            else
                script_error_locate(window, ScriptLineLocator{}, 1, depth, conn);
        }
    }
    return out;
}
