#include "script/stores/regex.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "core/string_list.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "script/exec/script_errors.h"
#include "script/exec/script_types.h"

StringNode* regex_slots[kRegexSlotCount] = {};
int regex_overflow = 0;

namespace {

std::string_view slot_name_of(std::string_view name)
{
    return name.empty() ? std::string_view("default") : name;
}

// Frees every slot of the name, closes the gaps keeping the order, and puts
// a new name node in the first free place (pushing out the oldest slot when
// all are used). Returns the index of the new slot, or -1 without memory.
int slot_take(std::string_view name, int substitution)
{
    name = slot_name_of(name);
    for (auto& slot : regex_slots) {
        if (slot && text_equal_nocase(slot->text, name))
            strlist_free(&slot);
    }
    int used = 0;
    for (auto& slot : regex_slots) {
        if (slot) {
            StringNode* s = slot;
            slot = nullptr;
            regex_slots[used++] = s;
        }
    }
    if (used == kRegexSlotCount) {
        strlist_free(&regex_slots[0]);
        for (int i = 1; i < kRegexSlotCount; ++i)
            regex_slots[i - 1] = regex_slots[i];
        regex_slots[kRegexSlotCount - 1] = nullptr;
        used = kRegexSlotCount - 1;
    }
    StringNode* head = strlist_append(nullptr, name.substr(0, kShortText), substitution);
    if (!head)
        return -1;
    regex_slots[used] = head;
    return used;
}

// Maps the option bits of the flag letters to the library's.
std::uint32_t compile_options(unsigned bits)
{
    std::uint32_t o = 0;
    if (bits & kRegexCaseless)
        o |= PCRE2_CASELESS;
    if (bits & kRegexMultiline)
        o |= PCRE2_MULTILINE;
    if (bits & kRegexDotAll)
        o |= PCRE2_DOTALL;
    if (bits & kRegexExtended)
        o |= PCRE2_EXTENDED;
    if (bits & kRegexAnchored)
        o |= PCRE2_ANCHORED;
    if (bits & kRegexDollarEndOnly)
        o |= PCRE2_DOLLAR_ENDONLY;
    if (bits & kRegexUngreedy)
        o |= PCRE2_UNGREEDY;
    return o;
}

// Library error codes turned into the codes scripts have always seen.
int map_exec_error(int rc)
{
    switch (rc) {
    case PCRE2_ERROR_MATCHLIMIT:
        return kRegexErrMatchLimit;
    case PCRE2_ERROR_DEPTHLIMIT:
    case PCRE2_ERROR_HEAPLIMIT:
        return kRegexErrDepthLimit;
    case PCRE2_ERROR_NOMEMORY:
        return kRegexErrNoMemory;
    case PCRE2_ERROR_JIT_STACKLIMIT:
        return kRegexErrJitStack;
    default:
        return kRegexErrInternal;
    }
}

// The match context with the limits, and the JIT stack, made once.
struct MatchEnv {
    pcre2_match_context* mctx = nullptr;
    pcre2_jit_stack* jit_stack = nullptr;
    bool jit = false;

    MatchEnv()
    {
        std::uint32_t jit_ok = 0;
        if (pcre2_config(PCRE2_CONFIG_JIT, &jit_ok) >= 0)
            jit = jit_ok != 0;
        mctx = pcre2_match_context_create(nullptr);
        if (mctx) {
            pcre2_set_match_limit(mctx, kRegexMatchLimit);
            pcre2_set_depth_limit(mctx, kRegexDepthLimit);
            if (jit) {
                jit_stack = pcre2_jit_stack_create(32 * 1024, 1024 * 1024, nullptr);
                if (jit_stack)
                    pcre2_jit_stack_assign(mctx, nullptr, jit_stack);
            }
        }
    }
    ~MatchEnv()
    {
        if (jit_stack)
            pcre2_jit_stack_free(jit_stack);
        if (mctx)
            pcre2_match_context_free(mctx);
    }
};

MatchEnv& match_env()
{
    static MatchEnv env;
    return env;
}

// One compiled pattern with its match data, released at the end of a call.
struct Compiled {
    pcre2_code* code = nullptr;
    pcre2_match_data* md = nullptr;
    pcre2_compile_context* cctx = nullptr;
    ~Compiled()
    {
        if (md)
            pcre2_match_data_free(md);
        if (code)
            pcre2_code_free(code);
        if (cctx)
            pcre2_compile_context_free(cctx);
    }
};

bool compile(Compiled& c, std::string_view pattern, unsigned bits)
{
    c.cctx = pcre2_compile_context_create(nullptr);
    if (!c.cctx)
        return false;
    // Without X an unknown escape letter stands for the letter itself.
    if (!(bits & kRegexExtra))
        pcre2_set_compile_extra_options(c.cctx, PCRE2_EXTRA_BAD_ESCAPE_IS_LITERAL);
    int err = 0;
    PCRE2_SIZE err_off = 0;
    c.code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(),
                           compile_options(bits), &err, &err_off, c.cctx);
    if (!c.code)
        return false;
    if (match_env().jit)
        pcre2_jit_compile(c.code, PCRE2_JIT_COMPLETE); // the interpreter serves when it fails
    c.md = pcre2_match_data_create(kRegexMaxPairs, nullptr);
    return c.md != nullptr;
}

// One execution from the offset: the number of offset pairs set (at least
// 1), 0 for no match, or a mapped negative code.
int exec_at(Compiled& c, std::string_view subject, std::size_t offset)
{
    int rc = pcre2_match(c.code, reinterpret_cast<PCRE2_SPTR>(subject.data()), subject.size(),
                         offset, 0, c.md, match_env().mctx);
    if (rc == PCRE2_ERROR_NOMATCH || rc == PCRE2_ERROR_PARTIAL)
        return 0;
    if (rc < 0)
        return map_exec_error(rc);
    if (rc == 0)
        rc = kRegexMaxPairs; // the offset vector was too small
    return rc;
}

// Walks the matches: first from offset 0, then (global) from the end of
// each match; after an empty match one character further, stopping when
// that is the end of the subject. visit(ovector, pairs) returns false to
// stop. Returns the number of matches or a negative code.
template <typename Visit>
int match_loop(Compiled& c, std::string_view subject, bool global, Visit visit)
{
    int count = 0;
    std::size_t offset = 0;
    for (;;) {
        int rc = exec_at(c, subject, offset);
        if (rc < 0)
            return rc;
        if (rc == 0)
            break;
        const PCRE2_SIZE* ov = pcre2_get_ovector_pointer(c.md);
        ++count;
        if (!visit(ov, rc))
            return kRegexAborted;
        if (!global)
            break;
        std::size_t start = ov[0];
        std::size_t end = ov[1];
        std::size_t next;
        if (end == start) {
            next = end + 1;
            if (next >= subject.size())
                break;
        } else {
            next = end;
        }
        // \K may put the end before the start: always move forward.
        if (next <= offset)
            next = offset + 1;
        if (next > subject.size())
            break;
        offset = next;
    }
    return count;
}

// Whether the pair lies inside the subject.
bool pair_usable(const std::size_t* ov, int k, std::size_t len)
{
    std::size_t s = ov[2 * k];
    std::size_t e = ov[2 * k + 1];
    return s != PCRE2_UNSET && e != PCRE2_UNSET && s <= e && e <= len;
}

// Appends text to out unless that passes 4,150 characters.
bool append_bounded(std::string& out, std::string_view text)
{
    if (out.size() + text.size() > kLongText)
        return false;
    out.append(text);
    return true;
}

// Joins one piece of $regsubex command text: a "$N" code and the literal
// characters around it, with " $+ " where the two would otherwise be read as
// separate words.
struct ExCommand {
    std::string text;
    bool after_code = false;

    void code(int number)
    {
        if (!text.empty()) {
            char last = text.back();
            if (last != ' ' && last != '(' && last != '[')
                text += " $+ ";
        }
        text += '$';
        text += std::to_string(number);
        after_code = true;
    }
    void literal(char ch)
    {
        if (after_code && !text.empty() && text.back() != ' ' && ch != ' ' && ch != ')' &&
            ch != ']')
            text += " $+ ";
        after_code = false;
        text += ch;
    }
};

// Drops leading "$+" words.
std::string drop_leading_joins(const std::string& text)
{
    std::size_t i = 0;
    for (;;) {
        std::size_t j = i;
        while (j < text.size() && text[j] == ' ')
            ++j;
        if (text.compare(j, 2, "$+") == 0 && (j + 2 == text.size() || text[j + 2] == ' ')) {
            i = j + 2;
            continue;
        }
        return text.substr(j);
    }
}

// Runs the $regsubex replacement for one match. Returns 1 with the value in
// out, 0 when the run failed, was halted or overflowed (regex_overflow set
// for the last).
int eval_replacement(std::string_view subject, std::string_view replacement,
                     const std::size_t* ov, int pairs, int match_number, const StringNode* slot,
                     int eval_mode, const RegexRunContext* ctx, std::string& out)
{
    ExCommand cmd;
    std::vector<std::string> params;
    std::size_t len = subject.size();
    auto group_text = [&](int n) -> std::string {
        if (n < 1 || n >= pairs || !pair_usable(ov, n, len))
            return {};
        return std::string(subject.substr(ov[2 * n], ov[2 * n + 1] - ov[2 * n]));
    };
    for (std::size_t i = 0; i < replacement.size(); ++i) {
        char ch = replacement[i];
        if (ch != '\\' || i + 1 >= replacement.size()) {
            cmd.literal(ch);
            continue;
        }
        char code = replacement[i + 1];
        std::string value;
        if (code == 'n') {
            value = std::to_string(match_number);
            ++i;
        } else if (std::isdigit(static_cast<unsigned char>(code))) {
            std::size_t j = i + 1;
            long n = 0;
            while (j < replacement.size() && std::isdigit(static_cast<unsigned char>(replacement[j]))) {
                if (n < 100000)
                    n = n * 10 + (replacement[j] - '0');
                ++j;
            }
            if (n == 0)
                value = std::to_string(std::max(0, strlist_count(slot) - 1));
            else
                value = group_text(static_cast<int>(n));
            i = j - 1;
        } else if (code == 'a' || code == 'A') {
            for (int k = 1; k < pairs; ++k) {
                if (!pair_usable(ov, k, len))
                    continue;
                if (code == 'a' && !value.empty())
                    value += ' ';
                value += group_text(k);
            }
            ++i;
        } else if (code == 't') {
            const StringNode* g = slot ? slot->next : nullptr;
            for (int k = 1; g && k < match_number; ++k)
                g = g->next;
            if (g)
                value = g->text;
            ++i;
        } else {
            cmd.literal(ch);
            continue;
        }
        if (value.size() > kLongText)
            value.resize(kLongText);
        params.push_back(std::move(value));
        cmd.code(static_cast<int>(params.size()));
    }
    std::string body = drop_leading_joins(cmd.text);
    std::string line = (eval_mode == kRegexReplaceQuiet ? "/!.returnex " : "/!returnex ") + body;
    if (line.size() > kLongText) {
        regex_overflow = 1;
        return 0;
    }
    StringNode* param_list = nullptr;
    for (const std::string& p : params) {
        StringNode* h = strlist_append(param_list, std::string_view(p), 0);
        if (!h) {
            strlist_free(&param_list);
            return 0;
        }
        param_list = h;
    }
    StringNode node;
    node.text = line;
    std::string eval_buf, work_buf, line_buf;
    ExecArgs b;
    b.window = ctx ? ctx->window : nullptr;
    b.lines = &node;
    b.param_list = param_list;
    b.params = nullptr;
    b.mode = ctx ? ctx->mode : 1;
    b.depth = (ctx ? ctx->depth : 0) + 1;
    b.eval_buf = &eval_buf;
    b.work_buf = &work_buf;
    b.line_buf = &line_buf;
    b.show = eval_mode == kRegexReplaceQuiet ? 0 : 1;
    b.halt = ctx ? ctx->halt : nullptr;
    b.locals = ctx ? ctx->locals : nullptr;
    b.owns_locals = 0;
    b.script = ctx ? ctx->script : nullptr;
    b.scope = ctx ? ctx->scope : 0;
    b.conn = ctx ? ctx->conn : nullptr;
    int r = script_exec_block(b);
    strlist_free(&param_list);
    if (script_error_pending()) {
        std::string too_long = script_text(2212, "returnex");
        if (script_error_state.text.compare(0, too_long.size(), too_long) == 0)
            regex_overflow = 1;
        return 0;
    }
    if (r == kScriptHalted || r == kScriptFailed)
        return 0;
    if (r == kScriptReturn)
        out = line_buf;
    else
        out.clear();
    return 1;
}

} // namespace

// ---------------------------------------------------------------------------

int regex_parse_flags(std::string_view text, int* global, unsigned* options, int* strip)
{
    int g = 0;
    int s = 0;
    unsigned o = 0;
    int result = 1;
    for (char ch : text) {
        if (ch == ':' || ch == '{') {
            result = 2;
            break;
        }
        switch (ch) {
        case 'i': o |= kRegexCaseless; break;
        case 'm': o |= kRegexMultiline; break;
        case 's': o |= kRegexDotAll; break;
        case 'x': o |= kRegexExtended; break;
        case 'A': o |= kRegexAnchored; break;
        case 'E': o |= kRegexDollarEndOnly; break;
        case 'X': o |= kRegexExtra; break;
        case 'U': o |= kRegexUngreedy; break;
        case 'g': g = 1; break;
        case 'S': s = 1; break;
        default: result = 0; break;
        }
        if (result == 0)
            break;
    }
    if (global)
        *global = g;
    if (options)
        *options = o;
    if (strip)
        *strip = s;
    return result;
}

std::ptrdiff_t regex_check_syntax(std::string_view text)
{
    std::size_t open;
    char delim;
    if (!text.empty() && text[0] == '/') {
        open = 1;
        delim = '/';
    } else if (text.size() >= 2 && text[0] == 'm') {
        open = 2;
        delim = text[1];
    } else {
        return -1;
    }
    std::size_t close = text.rfind(delim);
    if (close == std::string_view::npos || close < open || close == open)
        return -1; // no closing delimiter, or an empty pattern
    std::size_t flags = close + 1;
    if (regex_parse_flags(text.substr(flags), nullptr, nullptr, nullptr) == 0)
        return -1;
    return static_cast<std::ptrdiff_t>(flags);
}

bool regex_is_delimited(std::string_view text)
{
    return regex_check_syntax(text) >= 0;
}

void regex_split(std::string_view expression, std::string_view* pattern, std::string_view* flags)
{
    std::string_view p = expression;
    std::string_view f;
    if (!expression.empty() && (expression[0] == '/' || expression[0] == 'm')) {
        std::size_t open = 1;
        char delim = '/';
        if (expression[0] == 'm') {
            open = 2;
            delim = expression.size() >= 2 ? expression[1] : '\0';
        }
        if (open > expression.size()) {
            p = {};
        } else {
            std::string_view rest = expression.substr(open);
            std::size_t close = rest.rfind(delim);
            if (close == std::string_view::npos) {
                p = rest;
            } else {
                p = rest.substr(0, close);
                f = rest.substr(close + 1);
            }
        }
    }
    if (pattern)
        *pattern = p;
    if (flags)
        *flags = f;
}

int regex_slot_find(std::string_view name)
{
    name = slot_name_of(name);
    for (int i = 0; i < kRegexSlotCount; ++i) {
        if (regex_slots[i] && text_equal_nocase(regex_slots[i]->text, name))
            return i;
    }
    return -1;
}

void regex_slots_free(int /*free_flag*/)
{
    for (auto& slot : regex_slots)
        strlist_free(&slot);
}

int regex_slot_count(std::string_view name)
{
    int i = regex_slot_find(name);
    return i < 0 ? 0 : strlist_count(regex_slots[i]) - 1;
}

const StringNode* regex_slot_group(std::string_view name, int n)
{
    int i = regex_slot_find(name);
    if (i < 0 || n < 1)
        return nullptr;
    const StringNode* g = regex_slots[i]->next;
    for (int k = 1; g && k < n; ++k)
        g = g->next;
    return g;
}

int regex_expand_replacement(std::string_view subject, std::string& output,
                             std::string_view replacement, const std::size_t* ov, int pairs)
{
    for (std::size_t i = 0; i < replacement.size(); ++i) {
        char ch = replacement[i];
        if (ch != '\\' || i + 1 >= replacement.size()) {
            if (!append_bounded(output, std::string_view(&replacement[i], 1)))
                return 0;
            continue;
        }
        char next = replacement[i + 1];
        if (!std::isdigit(static_cast<unsigned char>(next))) {
            if (!append_bounded(output, std::string_view(&replacement[i + 1], 1)))
                return 0;
            ++i;
            continue;
        }
        std::size_t j = i + 1;
        long n = 0;
        while (j < replacement.size() && std::isdigit(static_cast<unsigned char>(replacement[j]))) {
            if (n < 100000)
                n = n * 10 + (replacement[j] - '0');
            ++j;
        }
        i = j - 1;
        if (n == 0) {
            if (!append_bounded(output, subject))
                return 0;
        } else if (n < pairs && pair_usable(ov, static_cast<int>(n), subject.size())) {
            std::size_t s = ov[2 * n];
            if (!append_bounded(output, subject.substr(s, ov[2 * n + 1] - s)))
                return 0;
        }
    }
    return 1;
}

int regex_match(std::string& subject_io, std::string_view expression,
                const std::string* replacement, std::string_view slot_name, int eval_mode,
                const RegexRunContext* ctx)
{
    regex_overflow = 0;
    std::string_view pattern, flag_text;
    regex_split(expression.substr(0, kLongText), &pattern, &flag_text);
    int global = 0, strip = 0;
    unsigned bits = 0;
    int flags_ok = regex_parse_flags(flag_text, &global, &bits, &strip);

    std::string subject(std::string_view(subject_io).substr(0, kLongText));
    if (strip)
        text_strip_codes(subject, 15);

    int slot_index = slot_take(slot_name, replacement ? 1 : 0);
    if (flags_ok == 0)
        return 0;
    Compiled c;
    if (!compile(c, pattern, bits))
        return 0;

    // The groups of every match go to the slot.
    StringNode* slot = slot_index >= 0 ? regex_slots[slot_index] : nullptr;
    const std::size_t len = subject.size();
    int count = match_loop(c, subject, global != 0, [&](const std::size_t* ov, int pairs) {
        if (!slot)
            return true;
        for (int k = 1; k < pairs; ++k) {
            if (!pair_usable(ov, k, len))
                continue;
            std::size_t s = ov[2 * k];
            StringNode* h = strlist_append(slot, std::string_view(subject).substr(s, ov[2 * k + 1] - s),
                                           static_cast<int>(s));
            if (h)
                slot = h;
        }
        return true;
    });
    if (!replacement || count <= 0)
        return count;

    // Substitution: the text between matches, then the replacement of each.
    std::string out;
    std::size_t last = 0;
    int made = 0;
    int match_number = 0;
    bool failed = false;
    int r = match_loop(c, subject, global != 0, [&](const std::size_t* ov, int pairs) {
        std::size_t s = ov[0];
        std::size_t e = ov[1];
        if (e > len || s > e)
            return true; // a \K match: nothing sensible to replace
        if (s >= last) {
            if (!append_bounded(out, std::string_view(subject).substr(last, s - last))) {
                regex_overflow = 1;
                return false;
            }
        }
        ++match_number;
        if (eval_mode == kRegexReplacePlain) {
            if (!regex_expand_replacement(subject, out, *replacement, ov, pairs)) {
                regex_overflow = 1;
                return false;
            }
        } else {
            std::string value;
            if (!eval_replacement(subject, *replacement, ov, pairs, match_number, slot, eval_mode,
                                  ctx, value)) {
                failed = true;
                return false;
            }
            if (!append_bounded(out, value)) {
                regex_overflow = 1;
                return false;
            }
        }
        last = std::max(last, e);
        ++made;
        return true;
    });
    if (r == kRegexAborted || failed || regex_overflow) {
        subject_io.clear();
        return kRegexAborted;
    }
    if (r < 0)
        return r;
    if (last < len && !append_bounded(out, std::string_view(subject).substr(last))) {
        regex_overflow = 1;
        subject_io.clear();
        return kRegexAborted;
    }
    if (made > 0)
        subject_io = std::move(out);
    return made;
}

int regex_match_text(std::string_view subject, std::string_view expression,
                     std::string_view slot_name)
{
    std::string s(subject.substr(0, kLongText));
    return regex_match(s, expression, nullptr, slot_name);
}
