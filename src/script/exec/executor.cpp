#include "script/exec/executor.h"

#include <algorithm>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "model/connection.h"
#include "model/window_record.h"
#include "core/string_list.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "script/events/event_fire.h"
#include "script/events/remote_files.h"
#include "script/eval/conditions.h"
#include "script/eval/evaluate.h"
#include "script/exec/alias_lookup.h"
#include "script/stores/alias_files.h"
#include "script/exec/script_errors.h"
#include "platform/platform_utils.h"
#include "script/exec/script_hooks.h"
#include "script/exec/script_text.h"
#include "script/stores/variables.h"

namespace {

// Plain text typed in a window goes out as a message through the messaging
// commands; 0 when nothing was sent.
int send_plain_text(QWidget* window, Connection* conn, const std::string& text, int origin)
{
    return script_send_text && script_send_text(window, text, origin, conn) ? 1 : 0;
}

// An open block of the run.
struct Block {
    int kind = 0;            // 0 plain, 1 if/else, 2 while
    StringNode* line = nullptr; // while: the line of the while
    int piece = 0;           // while: index of the while among the line's pieces
    bool single = false;     // while: the body is the rest of its piece
};

struct Label {
    std::string text;        // as written after ":" (cut at the first blank)
    StringNode* line = nullptr;
    int piece = 0;
    std::size_t blocks = 0;
};

enum JumpState { kJumpNone = 0, kJumpPending = 1, kJumpError = 2 };

// What a command of a line gives before anything is evaluated: where the
// command proper begins (script_line_skip_prefix, with the "!" and "."
// flags it found) and its words as toklist_split cuts them. Worked out
// once per line and kept with its pieces, so that a loop does not cut the
// same command into words on every pass.
//
// Beyond that, what a word is to the evaluator when it stands as it was
// written: a plain word that is its own value, a %variable whose value is
// read, or something else (identifiers, brackets, braces, "#", joins),
// which leaves the command to the evaluator. A command of plain words and
// variables, and the condition of an if, elseif or while made of them, are
// evaluated straight from the plan.
enum WordKind : unsigned char { kWordOther = 0, kWordPlain = 1, kWordVariable = 2 };

struct PieceWord {
    std::string text;
    int blanks = 1;
    WordKind kind = kWordOther;       // as a command's word
    WordKind cond_kind = kWordOther;  // as a condition's word
    // A plain command's %variable: whether its name stays as written, as
    // the first word after the command that is not a switch (keep_first)
    // and further on (keep_later).
    bool keep_first = false;
    bool keep_later = false;
};

// The condition of an if, elseif or while at the head of the piece, when it
// is one group of plain words and variables: its words as the condition
// taker leaves them (outer parentheses off), and where the command after it
// begins among the piece's words.
struct CondPlan {
    std::vector<PieceWord> group;
    std::size_t rest = 0;
};

struct PiecePlan {
    std::size_t prefix = 0;
    int no_alias = 0;
    int show = 1;
    std::vector<PieceWord> words;
    int control = -1;          // control_word of the first word
    bool has_cond = false;     // cond holds the condition
    CondPlan cond;
    // The command that runs once the control words are through, as plain
    // words and variables from words[command], or npos.
    std::size_t command = std::string::npos;
    bool keep_runs = false;    // the command keeps its blank runs (set, returnex)
    bool close_only = false;   // the piece is a lone "}"
    // The alias its command word called when last looked up, kept while
    // the aliases stay as they were (alias_generation) for the same script.
    mutable std::string alias_word;
    mutable unsigned long alias_seen = 0;
    mutable ScriptFile* alias_script = nullptr;
    mutable StringNode* alias_def = nullptr;
};

int control_word(std::string_view w);
void plan_piece(PiecePlan& plan);

// The split commands of a line and their plans.
struct SplitPieces {
    std::vector<ScriptPiece> pieces;
    std::vector<PiecePlan> plans;
    std::size_t bytes = 0;   // about what it holds in memory
};

std::shared_ptr<const SplitPieces> make_split(std::string_view text, int comment)
{
    auto split = std::make_shared<SplitPieces>();
    int ok = 1;
    split->pieces = script_split_commands(text, 0, comment, &ok);
    split->plans.resize(split->pieces.size());
    TokenList words;
    for (std::size_t i = 0; i < split->pieces.size(); ++i) {
        const std::string& piece = split->pieces[i].text;
        PiecePlan& plan = split->plans[i];
        plan.prefix = script_line_skip_prefix(piece, &plan.no_alias, &plan.show);
        if (plan.prefix >= piece.size())
            continue;
        toklist_clear(words);
        toklist_split(words, std::string_view(piece).substr(plan.prefix));
        plan.words.reserve(static_cast<std::size_t>(words.count));
        for (const EvalToken* t = words.head; t; t = t->next)
            plan.words.push_back({t->text, t->blanks});
        plan_piece(plan);
    }
    split->bytes = sizeof(SplitPieces) + text.size();
    for (std::size_t i = 0; i < split->pieces.size(); ++i) {
        split->bytes += sizeof(ScriptPiece) + sizeof(PiecePlan) + split->pieces[i].text.size();
        for (const PieceWord& w : split->plans[i].words)
            split->bytes += sizeof(PieceWord) + w.text.size();
    }
    return split;
}

// The split commands of the line the run is on, shared with the cache.
struct PieceList {
    std::shared_ptr<const SplitPieces> list;
    std::size_t size() const { return list ? list->pieces.size() : 0; }
    const ScriptPiece& operator[](std::size_t i) const { return list->pieces[i]; }
    void clear() { list.reset(); }
};

// Lines are split once and the pieces kept: a loop whose body spans lines,
// or an alias that runs again and again, takes up the same lines on every
// pass. The pieces are those of the text and comment state, whatever line
// holds them (alias bodies are often handed over in temporary lines).
// Bounded by entries and by the bytes of the texts held.
struct TextHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view t) const { return std::hash<std::string_view>{}(t); }
};
struct SplitLine {
    int comment = 0;
    std::shared_ptr<const SplitPieces> pieces;
};
std::unordered_map<std::string, SplitLine, TextHash, std::equal_to<>> split_lines;
std::size_t split_bytes = 0;
constexpr std::size_t kMaxSplitLines = 4096;
constexpr std::size_t kMaxSplitBytes = 8u << 20;

std::shared_ptr<const SplitPieces> split_line(const StringNode* line)
{
    const int comment = static_cast<int>(line->extra[kLineComment]);
    const std::string_view text = line->text;
    auto it = split_lines.find(text);
    if (it != split_lines.end() && it->second.comment == comment)
        return it->second.pieces;
    auto pieces = make_split(text, comment);
    if (it != split_lines.end()) {
        split_bytes -= std::min(split_bytes, it->second.pieces->bytes);
        it->second.comment = comment;
        it->second.pieces = pieces;
        split_bytes += pieces->bytes;
        return pieces;
    }
    if (split_lines.size() >= kMaxSplitLines || split_bytes + pieces->bytes > kMaxSplitBytes) {
        split_lines.clear();
        split_bytes = 0;
    }
    split_lines.emplace(std::string(text), SplitLine{comment, pieces});
    split_bytes += pieces->bytes;
    return pieces;
}

// Text vectors of runs that ended, for the runs that follow: every event
// line and alias call is a run of its own, whose command words and
// parameters would otherwise be allocated afresh each time.
std::vector<std::vector<std::string>> spare_vectors;
constexpr std::size_t kMaxSpareVectors = 64;

std::vector<std::string> take_vector()
{
    if (spare_vectors.empty())
        return {};
    std::vector<std::string> v = std::move(spare_vectors.back());
    spare_vectors.pop_back();
    return v;
}

void give_vector(std::vector<std::string>& v)
{
    if (v.capacity() == 0 || v.capacity() > 256 || spare_vectors.size() >= kMaxSpareVectors)
        return;
    v.clear();   // the texts go; the vector keeps its room
    spare_vectors.push_back(std::move(v));
}

// The evaluated command of run_command, in a buffer of a stack kept
// between commands (commands nest through alias calls), so that it keeps
// its storage from one command to the next.
constexpr int kLineBufferDepth = 64;
std::string line_buffers[kLineBufferDepth];
int line_buffer_depth = 0;

struct LineBuffer {
    std::string own;
    std::string* text;
    LineBuffer()
        : text(line_buffer_depth < kLineBufferDepth ? &line_buffers[line_buffer_depth] : &own)
    {
        ++line_buffer_depth;
        text->clear();
    }
    ~LineBuffer()
    {
        --line_buffer_depth;
        if (text->capacity() > 2 * kLongText)
            std::string().swap(*text);
    }
    LineBuffer(const LineBuffer&) = delete;
    LineBuffer& operator=(const LineBuffer&) = delete;
};

struct Run {
    Run() : params(take_vector()), cmd_tokens(take_vector()) {}
    ~Run()
    {
        give_vector(cmd_tokens);
        give_vector(params);
    }
    Run(const Run&) = delete;
    Run& operator=(const Run&) = delete;

    ExecArgs a;
    int origin = 0;
    StringNode* first = nullptr;
    StringNode* line = nullptr;
    PieceList pieces;
    int piece = 0;            // index of the next piece
    int cur_piece = 0;        // index of the current piece
    // Commands that run before the next piece, the next one last (a stack:
    // an empty one costs nothing, and most runs never queue anything).
    std::vector<std::string> queued;
    std::vector<Block> blocks;
    std::vector<Label> labels;
    std::string jump_label;
    int jump = kJumpNone;
    int if_state = 0;
    int error_mode = 0;
    int error_entered = 0;
    bool params_built = false;
    std::vector<std::string> params;
    char tokenize_sep = ' ';
    int show = 1;
    int no_alias = 0;
    TokenList toks;
    std::vector<std::string> cmd_tokens; // strings kept for the next command's tokens
    bool single_while_pending = false;
    // The compiled condition of the command's control word, until it is
    // taken; then whether its test sent the run on to the plan's command.
    const CondPlan* cond_plan = nullptr;
    bool plain_ready = false;
    std::vector<std::string> cond_values;
    std::vector<std::string_view> cond_views;
    std::string cond_v1, cond_v2, cond_op, plain_value;
    std::string own_eval, own_work, own_line, own_a, own_cond, own_result;
    int own_c = 0, own_d = 0;
    StringNode* own_locals = nullptr;
    int script_id_check = 0;
};

// ---------------------------------------------------------------------------

void resolve_window_conn(Run& r)
{
    ExecArgs& a = r.a;
    if (!conn_is_live(a.conn)) {
        Connection* c = a.window ? conn_of_window(a.window) : nullptr;
        a.conn = c ? c : conn_current();
    }
    if (a.window && !win_record_of(a.window) && a.conn) {
        WindowRecord* status = win_find_by_type(kWinStatus, a.conn);
        if (status && status->hwnd.get())
            a.window = status->hwnd.get();
    }
}

bool load_line(Run& r, StringNode* line)
{
    r.line = line;
    r.pieces.clear();
    r.piece = 0;
    if (!line)
        return false;
    if (line->extra[kLineComment] != 0 && line->extra[kLineComment] != 3 &&
        line->extra[kLineComment] != 2)
        return true;
    r.pieces.list = split_line(line);
    return true;
}

// Opens minus closes of the standalone braces of a text, stopping at the
// point where `count` (carried) drops to zero; *rest_out receives the text
// after that closing brace. Returns the new count.
int walk_braces(std::string_view text, int count, bool* closed, std::string* rest_out)
{
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n) {
        while (i < n && text[i] == ' ')
            ++i;
        std::size_t j = i;
        while (j < n && text[j] != ' ')
            ++j;
        std::string_view w = text.substr(i, j - i);
        if (w == "{")
            ++count;
        else if (w == "}") {
            --count;
            if (count <= 0) {
                *closed = true;
                std::size_t k = j;
                while (k < n && text[k] == ' ')
                    ++k;
                rest_out->assign(text.substr(k));
                return 0;
            }
        }
        i = j;
    }
    return count;
}

// Skips forward to the "}" that closes `count` open blocks; what follows it
// in its piece runs next. Returns false when the list ends first.
bool skip_blocks(Run& r, int count)
{
    if (count <= 0)
        return true;
    // Commands queued in front are part of the block too.
    while (!r.queued.empty()) {
        bool closed = false;
        std::string rest;
        std::string t = std::move(r.queued.back());
        r.queued.pop_back();
        count = walk_braces(t, count, &closed, &rest);
        if (closed) {
            if (!rest.empty())
                r.queued.push_back(rest);
            return true;
        }
    }
    for (;;) {
        while (r.piece < static_cast<int>(r.pieces.size())) {
            const ScriptPiece& p = r.pieces[static_cast<std::size_t>(r.piece++)];
            if (p.comment != 0)
                continue;
            bool closed = false;
            std::string rest;
            count = walk_braces(p.text, count, &closed, &rest);
            if (closed) {
                if (!rest.empty())
                    r.queued.push_back(rest);
                return true;
            }
        }
        StringNode* next = r.line ? r.line->next : nullptr;
        if (!next || next->extra[kLineKind] != 0)
            return false;
        load_line(r, next);
    }
}

// Moves to a piece of a line (for loop re-tests and backward jumps).
void goto_piece(Run& r, StringNode* line, int piece)
{
    r.queued.clear();
    if (line != r.line)
        load_line(r, line);
    r.piece = piece;
}

// The text of a label, a "%" label being that variable's value; cut at the
// first blank.
std::string label_value(Run& r, std::string_view text)
{
    std::string v;
    if (!text.empty() && text[0] == '%') {
        var_find(text.substr(1), &v, r.a.locals ? *r.a.locals : nullptr);
    } else {
        v.assign(text);
    }
    std::size_t b = v.find(' ');
    if (b != std::string::npos)
        v.resize(b);
    return v;
}

// Start of the error search: place the pending error and scan for "error".
void start_error_search(Run& r)
{
    script_error_locate(r.a.window, ScriptLineLocator{r.line, r.first, r.a.definition}, 0,
                        r.a.depth, r.a.conn);
    r.jump = kJumpError;
    r.jump_label = "error";
}

// Handles a result 0 that did not come from a built-in handler. Returns true
// when the run goes on (searching for "error"), false when it stops.
bool fail_elsewhere(Run& r)
{
    if (!script_error_pending())
        return false;
    if (r.error_entered || r.jump == kJumpError)
        return false;
    r.error_entered = 1;
    r.error_mode = 1;
    start_error_search(r);
    return true;
}

int child_depth(const Run& r)
{
    int d = r.a.depth + 1;
    if (r.error_mode && d > 256)
        d = 156;
    return d;
}

// Appends the words of the text at the separator (runs count once), as
// tok_split cuts them, straight into the parameter array.
void split_params_into(std::string_view text, char separator, std::vector<std::string>& out)
{
    out.reserve(out.size() + static_cast<std::size_t>(tok_count(text, separator)));
    tok_split_into(text, separator, out);
}

// Builds the parameter array once per run.
void build_params(Run& r)
{
    if (r.params_built)
        return;
    r.params_built = true;
    r.params.clear();
    r.params.emplace_back();
    if (r.a.param_list) {
        for (StringNode* n = r.a.param_list; n; n = n->next)
            r.params.push_back(n->text);
    } else if (r.a.params) {
        split_params_into(r.a.params, r.tokenize_sep, r.params);
    }
}

// Cuts a command into out, reusing its strings: runs of blanks count once,
// or, with keep_runs, every blank after the first word cuts.
void cut_tokens(std::string_view text, bool keep_runs, std::vector<std::string>& out)
{
    std::size_t used = 0;
    auto put = [&out, &used](std::string_view piece) {
        if (used < out.size())
            out[used].assign(piece);
        else
            out.emplace_back(piece);
        ++used;
    };
    if (!keep_runs) {
        std::size_t i = 0;
        const std::size_t n = text.size();
        while (i < n) {
            while (i < n && text[i] == ' ')
                ++i;
            if (i >= n)
                break;
            std::size_t j = i;
            while (j < n && text[j] != ' ')
                ++j;
            put(text.substr(i, j - i));
            i = j;
        }
        out.resize(used);
        return;
    }
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    std::size_t j = text.find(' ', i);
    put(text.substr(i, j == std::string_view::npos ? std::string_view::npos : j - i));
    if (j != std::string_view::npos) {
        std::size_t start = j + 1;
        for (;;) {
            std::size_t k = text.find(' ', start);
            put(text.substr(start, k == std::string_view::npos ? std::string_view::npos : k - start));
            if (k == std::string_view::npos)
                break;
            start = k + 1;
        }
    }
    out.resize(used);
}

int run_alias(Run& r, StringNode* def, std::string_view command)
{
    ScriptFile* script = reinterpret_cast<ScriptFile*>(def->extra[kLineScript]);
    if (!script)
        script = r.a.script;
    else if (!remote_script_file_is_live(script))
        return 0;
    // The first line of the body when it stands on the definition line; it
    // lives for the call.
    StringNode temp_line;
    StringNode* lines = alias_body_lines(def, temp_line);
    if (!lines)
        return 1;
    // Parameters: the text after the command word.
    std::size_t i = script_line_skip_prefix(command, nullptr, nullptr);
    while (i < command.size() && command[i] != ' ')
        ++i;
    while (i < command.size() && command[i] == ' ')
        ++i;
    std::string params(command.substr(i));

    ExecArgs b = r.a;
    b.lines = lines;
    b.params = params.empty() ? nullptr : params.c_str();
    b.param_list = nullptr;
    b.mode = r.a.mode == 0 ? 1 : r.a.mode;
    b.depth = child_depth(r);
    b.running_alias = def;
    b.definition = def;
    b.show = r.show;
    b.ident_call = 0;
    b.eval_extra = nullptr;
    b.locals = nullptr;
    b.owns_locals = 1;
    b.script = script;
    int result = script_exec_block(b);
    temp_line.next = nullptr;
    return result;
}

// The built-in path of one evaluated command.
int run_builtin(Run& r, const std::string& line)
{
    // returnex keeps its value as it stands.
    std::size_t p = script_line_skip_prefix(line, nullptr, nullptr);
    std::string_view cmd = std::string_view(line).substr(p);
    if (text_starts_with_nocase(cmd, "returnex")) {
        std::string_view v = cmd.substr(8);
        if (!v.empty() && v[0] == ' ')
            v.remove_prefix(1);
        *r.a.line_buf = std::string(v);
        return kScriptReturn;
    }
    std::size_t blank = cmd.find(' ');
    const bool is_set = text_equal_nocase(cmd.substr(0, blank), "set");
    CommandCall call;
    // The token strings of the last command are reused for this one.
    call.tokens = std::move(r.cmd_tokens);
    cut_tokens(cmd, is_set, call.tokens);
    struct GiveBack {
        Run& r;
        CommandCall& call;
        ~GiveBack() { r.cmd_tokens = std::move(call.tokens); }
    } give_back{r, call};
    if (call.tokens.empty())
        return 1;
    text_lower(call.tokens[0]);
    const std::string& word_lower = call.tokens[0];
    call.line = cmd;
    call.window = r.a.window;
    call.conn = r.a.conn;
    call.eval_buf = r.a.eval_buf;
    call.work_buf = r.a.work_buf;
    call.line_buf = r.a.line_buf;
    call.origin = r.origin;
    call.show = r.show;
    call.script = r.a.script;
    call.halt = r.a.halt;
    call.locals = r.a.locals;
    call.scope = r.a.scope;
    call.run = &r.a;
    call.depth = r.a.depth + 1;
    // Words the executor serves itself.
    switch (word_lower.empty() ? 0 : word_lower[0]) {
    case 'b':
        if (word_lower == "break")
            return -10;
        break;
    case 'c':
        if (word_lower == "continue")
            return -11;
        break;
    case 'g':
        if (word_lower == "goto")
            return -12;
        break;
    case 'h':
        if (word_lower == "halt") {
            r.a.line_buf->clear();
            if (r.a.halt)
                r.a.halt->halt = 1;
            return kScriptHalted;
        }
        if (word_lower == "haltdef") {
            if (r.a.halt)
                r.a.halt->halt = 1;
            return 1;
        }
        break;
    case 'n':
        if (word_lower == "noop")
            return 1;
        break;
    case 'r':
        if (word_lower == "reseterror") {
            script_error_clear();
            script_nesting_reset_trip();
            r.error_mode = 0;
            r.error_entered = 0;
            return 1;
        }
        if (word_lower == "return")
            return cmd_return(call);
        break;
    case 't':
        if (word_lower == "tokenize") {
            int c = call.tokens.size() > 1 ? std::atoi(call.tokens[1].c_str()) : 0;
            if (c >= 1 && c <= 255 && call.tokens.size() > 2) {
                std::string text;
                arg_join_from(2, text, call.tokens);
                r.tokenize_sep = static_cast<char>(c);
                r.params.clear();
                r.params.emplace_back();
                split_params_into(text, r.tokenize_sep, r.params);
                r.params_built = true;
            }
            return 1;
        }
        break;
    default:
        break;
    }
    return builtin_dispatch(call);
}

// /goto: backward jumps to labels seen so far; 4 for a forward jump.
int do_goto(Run& r, const std::string& line)
{
    std::vector<std::string> t = tok_split(line, ' ');
    if (key_break_pressed()) {
        script_beep_error(1);
        return script_error_set(script_text(2803));
    }
    if (t.size() < 2) {
        script_error(nullptr, "goto", {}, 0);
        return 0;
    }
    std::string want = label_value(r, t[1]);
    for (const Label& l : r.labels) {
        if (text_equal_nocase(label_value(r, l.text), want)) {
            goto_piece(r, l.line, l.piece + 1);
            if (r.blocks.size() > l.blocks)
                r.blocks.resize(l.blocks);
            return 1;
        }
    }
    r.jump_label = want;
    return kScriptJump;
}

// The command of a control word: runs the "var" rewriting; returns true when
// it consumed the command.
bool rewrite_var(Run& r, std::string_view cmd)
{
    std::string_view rest = cmd.substr(3);
    while (!rest.empty() && rest[0] == ' ')
        rest.remove_prefix(1);
    bool global = false, shown = false;
    if (!rest.empty() && rest[0] == '-') {
        std::size_t e = rest.find(' ');
        std::string_view sw = rest.substr(1, e == std::string_view::npos ? std::string_view::npos : e - 1);
        for (char c : sw) {
            if (c == 's')
                shown = true;
            else if (c == 'g')
                global = true;
        }
        rest = e == std::string_view::npos ? std::string_view() : rest.substr(e + 1);
    }
    std::string prefix = "/";
    if (r.no_alias)
        prefix += "!";
    if (!r.show)
        prefix += ".";
    prefix += global ? (shown ? "set -s " : "set ") : (shown ? "set -ls " : "set -l ");
    std::vector<std::string> items;
    std::size_t i = 0, start = 0;
    while (i < rest.size()) {
        char c = rest[i];
        if (c == '$') {
            i = ident_skip_token(rest, i);
            continue;
        }
        if (c == ',' && var_decl_comma_ends(rest.substr(i))) {
            items.emplace_back(rest.substr(start, i - start));
            start = i + 1;
        }
        ++i;
    }
    items.emplace_back(rest.substr(start));
    std::vector<std::string> cmds;
    for (std::string& it : items) {
        std::size_t a = 0;
        while (a < it.size() && it[a] == ' ')
            ++a;
        std::string_view item = std::string_view(it).substr(a);
        if (item.empty())
            continue;
        std::size_t b = item.find(' ');
        std::string name(item.substr(0, b));
        std::string_view value = b == std::string_view::npos ? std::string_view() : item.substr(b + 1);
        while (!value.empty() && value[0] == ' ')
            value.remove_prefix(1);
        if (value.size() >= 2 && value[0] == '=' && value[1] == ' ')
            value.remove_prefix(2);
        else if (value == "=")
            value = {};
        while (!value.empty() && value[0] == ' ')
            value.remove_prefix(1);
        while (!value.empty() && value.back() == ' ')
            value.remove_suffix(1);
        std::string c = prefix + name;
        if (!value.empty()) {
            c.push_back(' ');
            c += value;
        }
        cmds.push_back(std::move(c));
    }
    for (auto it = cmds.rbegin(); it != cmds.rend(); ++it)
        r.queued.push_back(*it);
    return true;
}

// Evaluates a condition group for the condition chain.
struct CondContext {
    Run* r;
    int* failed;
};

int eval_tokens_into(Run& r, TokenList& list, int in_condition, int* has_star)
{
    EvalArgs e;
    e.window = r.a.window;
    e.tokens = &list;
    e.value_buf = r.a.eval_buf;
    e.scratch_buf = r.a.work_buf;
    e.error_buf = &r.own_work;
    e.params = &r.params;
    e.has_star = has_star;
    e.last_input = r.a.slot_a;
    e.event = r.a.halt ? 1 : 0;
    e.event_ctx = r.a.halt;
    e.in_condition = in_condition;
    e.depth = child_depth(r);
    e.show = r.show;
    e.ident_call = r.a.ident_call;
    e.no_alias = r.no_alias;
    e.command_line = in_condition ? 0 : 1;
    e.result_slot = r.a.result_slot;
    e.prop = r.a.eval_extra;
    e.cond_slot = r.a.cond_slot;
    e.filtered = r.a.slot_c;
    e.findfilen = r.a.slot_d;
    e.queued = &r.queued;
    e.scope = r.a.scope;
    e.locals = r.a.locals;
    e.running_alias = r.a.running_alias;
    e.script = r.a.script;
    e.conn = r.a.conn;
    e.running_line = r.line;
    e.running_first = r.first;
    e.running_definition = r.a.definition;
    int res;
    int guard = 0;
    do {
        res = ident_eval_tokens(e);
    } while (res == -1 && ++guard < 200);
    if (e.conn != r.a.conn && conn_is_live(e.conn))
        r.a.conn = e.conn;
    return res == -1 ? 0 : res;
}

// The messages of a condition failure for if (0), elseif (1), while (2).
void condition_error(int which, int code, const std::string& op)
{
    static const int invalid[3] = {3404, 3411, 3420};
    static const int unknown[3] = {3405, 3412, 3421};
    static const int no_op[3] = {3406, 3419, 3422};
    static const int ambiguous[3] = {3408, 3408, 3424};
    std::string msg;
    if (code == kCondInvalid)
        msg = script_text(invalid[which]);
    else if (code == kCondUnknownOperator)
        msg = op.empty() ? script_text(no_op[which]) : script_text(unknown[which], op);
    else if (code == kCondAmbiguous)
        msg = script_text(ambiguous[which]);
    else
        return;
    script_error_set(msg);
}

// Takes and tests the condition at the front of r.toks (the control word
// already removed). Returns 1 true, 0 false, -1 failed (error pending or
// evaluation failed).
int test_condition(Run& r, int which)
{
    if (!r.toks.head) {
        static const int missing[3] = {3407, 3413, 3423};
        script_error_set(script_text(missing[which]));
        return -1;
    }
    int failed = 0;
    CondTokenEvaluator evaluate = [&r, &failed](TokenList& group) {
        int res = eval_tokens_into(r, group, 1, nullptr);
        if (res == 0)
            failed = 1;
        return res == 0 ? 0 : 1;
    };
    std::string v1, v2, op;
    int used = 0;
    int res = cond_run_chain_tokens(r.toks, evaluate, r.a.conn, v1, v2, &used, &op);
    if (failed || res == kCondEvalFailed)
        return -1;
    if (res < 0) {
        condition_error(which, res, op);
        return -1;
    }
    if (used && r.a.cond_slot) {
        *r.a.cond_slot = v1;
        r.a.cond_slot->push_back('\0');
        *r.a.cond_slot += v2;
    }
    return res == kCondTrue ? 1 : 0;
}

// Skips the command or block that follows a false condition (what is left
// in r.toks). Returns false when a block is not closed.
bool skip_rest(Run& r)
{
    if (!r.toks.head)
        return true;
    if (std::string_view(r.toks.head->text) != "{")
        return true;  // a single command: nothing more to skip
    int count = 0;
    for (EvalToken* t = r.toks.head; t; t = t->next) {
        if (std::string_view(t->text) == "{")
            ++count;
        else if (std::string_view(t->text) == "}") {
            if (--count <= 0) {
                // Closed inside the piece: the rest after it runs next.
                std::string rest;
                for (EvalToken* u = t->next; u; u = u->next) {
                    if (!rest.empty())
                        rest.push_back(' ');
                    rest += u->text;
                }
                if (!rest.empty())
                    r.queued.push_back(rest);
                return true;
            }
        }
    }
    return skip_blocks(r, count);
}

std::string tokens_text(const TokenList& list)
{
    std::string out;
    for (const EvalToken* t = list.head; t; t = t->next) {
        if (!out.empty())
            out.push_back(' ');
        out += t->text;
    }
    return out;
}

// What a command's step leaves the run to do: go on to the next command,
// stop with a result, or (kStepGoOn) go on to the command's next step.
enum Step { kStepNext, kStepStop, kStepGoOn };

bool plain_evaluation_ok(const Run& r);
int test_compiled_condition(Run& r, const CondPlan& cond, int which);
int finish_command(Run& r, std::string& line, int* result);
bool skip_rest(Run& r);
int step_failed(Run& r, int* result);

// Pops the blocks closed by leading "}" tokens; a closed while loop goes
// back to its test. Returns true when the run jumped.
bool close_blocks(Run& r)
{
    while (r.toks.head && std::string_view(r.toks.head->text) == "}") {
        toklist_remove(r.toks, r.toks.head);
        if (r.blocks.empty())
            continue;
        Block b = r.blocks.back();
        r.blocks.pop_back();
        if (b.kind == 2) {
            goto_piece(r, b.line, b.piece);
            return true;
        }
    }
    return false;
}

void open_blocks(Run& r, int kind)
{
    while (r.toks.head && std::string_view(r.toks.head->text) == "{") {
        toklist_remove(r.toks, r.toks.head);
        Block b;
        b.kind = kind;
        r.blocks.push_back(b);
        kind = 0;
    }
}

// The control word a command begins with: 0 if, 1 elseif, 2 while (the
// numbers of their messages), kControlVar, kControlElse, or -1.
constexpr int kControlVar = 3;
constexpr int kControlElse = 4;

int control_word(std::string_view w)
{
    switch (w.size()) {
    case 2:
        return text_equal_nocase(w, "if") ? 0 : -1;
    case 3:
        return text_equal_nocase(w, "var") ? kControlVar : -1;
    case 4:
        return text_equal_nocase(w, "else") ? kControlElse : -1;
    case 5:
        return text_equal_nocase(w, "while") ? 2 : -1;
    case 6:
        return text_equal_nocase(w, "elseif") ? 1 : -1;
    default:
        return -1;
    }
}

// The error return of a step: the run goes on at an error handler when the
// script has one, else it stops with a zero result.
int step_failed(Run& r, int* result)
{
    *result = 0;
    return fail_elsewhere(r) ? kStepNext : kStepStop;
}

// Joins the lines a command continues with "$&" at its end: the next queued
// command, the next piece of the line or the first piece of the next line.
// The joined text is kept in joined and text points at it.
int join_continued_lines(Run& r, std::string_view& text, const PiecePlan*& plan, std::string& joined,
                         int* result)
{
    for (;;) {
        std::size_t e = text.find_last_not_of(' ');
        if (e == std::string::npos || e < 1 || text[e] != '&' || text[e - 1] != '$')
            break;
        plan = nullptr;
        if (text.data() == joined.data())
            joined.resize(e - 1);
        else
            joined.assign(text.substr(0, e - 1));
        text = joined;
        std::string next;
        if (!r.queued.empty()) {
            next = std::move(r.queued.back());
            r.queued.pop_back();
        } else if (r.piece < static_cast<int>(r.pieces.size())) {
            next = r.pieces[static_cast<std::size_t>(r.piece++)].text;
        } else if (r.line && r.line->next && r.line->next->extra[kLineKind] == 0) {
            load_line(r, r.line->next);
            if (r.piece < static_cast<int>(r.pieces.size())) {
                // Split again, "text } cmd" is the command, the closing
                // brace, then cmd: a line that starts with "}" adds nothing
                // and its pieces run as they stand after this command.
                const std::string& first = r.pieces[static_cast<std::size_t>(r.piece)].text;
                std::size_t b = first.find_first_not_of(' ');
                if (b != std::string::npos && first[b] == '}' && (b + 1 == first.size() || first[b + 1] == ' '))
                    break;
                next = r.pieces[static_cast<std::size_t>(r.piece++)].text;
            }
        } else {
            break;
        }
        joined += next;
        text = joined;
        if (text.size() > kLongText) {
            script_error(nullptr, {}, "$&", 10);
            return step_failed(r, result);
        }
    }
    return kStepGoOn;
}

// A ":label" command: records the label (a label met twice at two places is
// an error) and ends a pending jump to it.
int take_label(Run& r, std::string_view text, int* result)
{
    std::size_t lb = 0;
    while (lb < text.size() && text[lb] == ' ')
        ++lb;
    if (lb >= text.size() || text[lb] != ':')
        return kStepGoOn;
    std::string_view lt = text.substr(lb + 1);
    std::size_t sp = lt.find(' ');
    std::string name(lt.substr(0, sp));
    bool seen = false;
    for (const Label& l : r.labels)
        if (text_equal_nocase(l.text, name)) {
            if (l.line != r.line || l.piece != r.cur_piece) {
                script_error_set(script_text(2801, name));
                *result = 0;
                return kStepStop;
            }
            seen = true;
        }
    if (!seen)
        r.labels.push_back({name, r.line, r.cur_piece, r.blocks.size()});
    if (r.jump != kJumpNone && text_equal_nocase(label_value(r, name), r.jump_label))
        r.jump = kJumpNone;
    return kStepNext;
}

// A command passed over while a /goto looks for its label: only its braces
// count, to keep the block structure in step.
void skip_while_jumping(Run& r, std::string_view t)
{
    r.toks.count = r.toks.count;
    std::size_t i = 0;
    while (i < t.size()) {
        while (i < t.size() && t[i] == ' ')
            ++i;
        std::size_t j = t.find(' ', i);
        if (j == std::string_view::npos)
            j = t.size();
        std::string_view w = t.substr(i, j - i);
        if (w == "{")
            r.blocks.push_back(Block{});
        else if (w == "}" && !r.blocks.empty())
            r.blocks.pop_back();
        i = j;
    }
}

// A piece that only closes a block (the end of every loop pass): what the
// control words do with a lone "}".
int close_piece(Run& r)
{
    if (!r.blocks.empty()) {
        Block b = r.blocks.back();
        r.blocks.pop_back();
        if (b.kind == 2)
            goto_piece(r, b.line, b.piece);
    }
    return kStepNext;
}

// Splits the command (after its prefix at p) into the run's tokens, from the
// piece's plan when there is one. A piece that is a lone "}" (the end of
// every loop pass) only closes its block: kStepNext.
int split_words(Run& r, std::string_view text, std::size_t p, const PiecePlan* plan)
{
    toklist_clear(r.toks);
    if (plan && plan->close_only)
        return close_piece(r);
    r.cond_plan = nullptr;
    r.plain_ready = false;
    if (plan) {
        // A compiled condition is tested from the plan: its words stay out.
        const bool compiled = plan->has_cond && plain_evaluation_ok(r);
        for (std::size_t i = 0; i < plan->words.size(); ++i) {
            if (compiled && i == 1)
                i = plan->cond.rest;
            if (i >= plan->words.size())
                break;
            const PieceWord& w = plan->words[i];
            EvalToken* t = toklist_new_token(r.toks, w.text);
            t->blanks = w.blanks;
            toklist_append(r.toks, t);
        }
        if (compiled)
            r.cond_plan = &plan->cond;
    } else {
        toklist_split(r.toks, text.substr(p));
    }
    return kStepGoOn;
}

// The braces, if, elseif, else, while and var at the head of the tokens:
// opens and closes blocks, tests conditions and skips what a false test
// skips. kStepGoOn leaves the command that follows them in the tokens.
int run_control_words(Run& r, int* result)
{
    for (;;) {
        if (close_blocks(r))
            return kStepNext;
        EvalToken* first = r.toks.head;
        while (first && std::string_view(first->text) == "{")
            first = first->next;
        if (!first)
            break;
        const std::string& w = first->text;
        const int word = control_word(w);
        const int which = word <= 2 ? word : -1;
        // Only the piece's first word can have its condition compiled.
        const CondPlan* compiled = r.cond_plan;
        r.cond_plan = nullptr;
        if (word == kControlVar) {
            std::string cmd = tokens_text(r.toks);
            std::size_t k = cmd.find(first->text);
            rewrite_var(r, std::string_view(cmd).substr(k));
            return kStepNext;
        }
        if (word == kControlElse) {
            while (r.toks.head != first)
                toklist_remove(r.toks, r.toks.head);
            toklist_remove(r.toks, first);
            if (r.if_state == 2) {
                r.if_state = 0;
                if (!r.toks.head) {
                    script_error_set(script_text(3413));
                    return step_failed(r, result);
                }
                open_blocks(r, 1);
                continue;
            }
            if (!skip_rest(r)) {
                script_error_set(script_text(3410));
                return step_failed(r, result);
            }
            return kStepNext;
        }
        if (which < 0) {
            r.if_state = 0;
            break;
        }
        while (r.toks.head != first)
            toklist_remove(r.toks, r.toks.head);
        toklist_remove(r.toks, first);
        if (which == 1 && r.if_state != 2) {
            // Not after a false test: skip the condition and its command.
            while (!compiled && r.toks.head && cond_take_condition_tokens(r.toks, nullptr)) {
                const std::string_view word =
                    r.toks.head ? std::string_view(r.toks.head->text) : std::string_view();
                if (word == "&&" || word == "||")
                    toklist_remove(r.toks, r.toks.head);
                else
                    break;
            }
            if (!skip_rest(r)) {
                script_error_set(script_text(3410));
                return step_failed(r, result);
            }
            return kStepNext;
        }
        int res = compiled ? test_compiled_condition(r, *compiled, which) : test_condition(r, which);
        if (res < 0)
            return step_failed(r, result);
        r.plain_ready = compiled && res == 1;
        if (res == 0) {
            if (which != 2)
                r.if_state = 2;
            if (!skip_rest(r)) {
                script_error_set(script_text(which == 2 ? 3426 : 3410));
                return step_failed(r, result);
            }
            return kStepNext;
        }
        r.if_state = 0;
        if (which == 2) {
            Block b;
            b.kind = 2;
            b.line = r.line;
            b.piece = r.cur_piece;
            b.single = !(r.toks.head && std::string_view(r.toks.head->text) == "{");
            if (b.single) {
                r.blocks.push_back(b);
                r.single_while_pending = true;
            } else {
                toklist_remove(r.toks, r.toks.head);
                r.blocks.push_back(b);
                open_blocks(r, 0);
            }
        } else {
            open_blocks(r, 1);
        }
        if (!r.toks.head)
            return kStepNext;
    }
    open_blocks(r, 0);
    if (!r.toks.head)
        return kStepNext;
    return kStepGoOn;
}

// Evaluates the command's tokens into line (its identifiers and variables
// replaced), checks its length and takes its prefix off again.
int evaluate_command(Run& r, std::string& line, int* has_star, int* result)
{
    if (key_break_pressed()) {
        script_beep_error(1);
        script_error_set(script_text(2803));
        *result = 0;
        return kStepStop;
    }
    // returnex and set keep the blank runs of their text.
    const std::string& word0 = r.toks.head->text;
    const bool keep_runs = text_starts_with_nocase(word0, "returnex") || text_equal_nocase(word0, "set");
    int res = eval_tokens_into(r, r.toks, 0, has_star);
    if (res == 0)
        return step_failed(r, result);
    ident_eval_join(r.toks, line, keep_runs);
    return finish_command(r, line, result);
}

// The evaluated command: checks its length and takes its prefix off again.
int finish_command(Run& r, std::string& line, int* result)
{
    const ExecArgs& a = r.a;
    if (line.size() > kLongText) {
        std::string word = line.substr(0, line.find(' '));
        if (word.size() > kShortText)
            word = word.substr(0, kShortText) + "...";
        script_error(nullptr, word, {}, 10);
        return step_failed(r, result);
    }
    std::size_t p2 = script_line_skip_prefix(line, &r.no_alias, &r.show);
    if (p2 >= line.size())
        return kStepNext;
    if ((a.mode == 0 || a.mode == 5) && (line[p2] == '$' || line[p2] == '%')) {
        *result = 0;
        return kStepStop;
    }
    line.erase(0, p2);
    return kStepGoOn;
}

// The name a %variable word looks up, as var_find takes it: the word as it
// stands, or without its "%" when another follows ("%%x" names "%x").
std::string_view variable_name(const std::string& word)
{
    return word.size() > 1 && word[1] == '%' ? std::string_view(word).substr(1) : std::string_view(word);
}

// Whether a command may be evaluated from its plan: the evaluator would
// refuse to run past the nesting bounds, and that refusal is its to give.
bool plain_evaluation_ok(const Run& r)
{
    return child_depth(r) <= 256 && script_nesting < kScriptHardNesting;
}

// The piece's command of plain words and variables, evaluated from its plan
// as the evaluator does it: a variable's value read (cut at 4,150), or its
// name kept where the command takes a name (/set %name ...); empty values
// left out, one blank between values (the written run of blanks for a
// command that keeps them), and the join stopping before a value that
// would take it past 4,150 characters.
int evaluate_plain_command(Run& r, const PiecePlan& plan, std::string& line, int* result)
{
    if (key_break_pressed()) {
        script_beep_error(1);
        script_error_set(script_text(2803));
        *result = 0;
        return kStepStop;
    }
    const std::vector<PieceWord>& words = plan.words;
    const std::size_t from = plan.command;
    StringNode* locals = r.a.locals ? *r.a.locals : nullptr;
    line.clear();
    int position = 0;  // words after the command word that are not switches
    for (std::size_t i = from; i < words.size(); ++i) {
        const PieceWord& w = words[i];
        std::string_view v;
        if (w.kind == kWordPlain) {
            v = w.text;
        } else if (i != from && (position == 0 ? w.keep_first : w.keep_later)) {
            v = w.text;
        } else {
            var_find(variable_name(w.text), &r.plain_value, locals);
            if (r.plain_value.size() > kLongText)
                r.plain_value.resize(kLongText);
            v = r.plain_value;
        }
        if (i != from && (v.empty() || v[0] != '-'))
            ++position;
        if (v.empty())
            continue;
        std::size_t gap = 0;
        if (!line.empty() && i != from)
            gap = plan.keep_runs && w.blanks > 1 ? static_cast<std::size_t>(w.blanks) : 1;
        if (line.size() + gap + v.size() > kLongText)
            break;
        line.append(gap, ' ');
        line += v;
    }
    return finish_command(r, line, result);
}

// test_condition for a compiled condition: the group's words are read from
// the plan (variables looked up), then tested as the chain tests them.
int test_compiled_condition(Run& r, const CondPlan& cond, int which)
{
    StringNode* locals = r.a.locals ? *r.a.locals : nullptr;
    const std::size_t n = cond.group.size();
    if (r.cond_values.size() < n)
        r.cond_values.resize(n);
    r.cond_views.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        const PieceWord& w = cond.group[i];
        if (w.cond_kind == kWordPlain) {
            r.cond_views[i] = w.text;
            continue;
        }
        std::string& value = r.cond_values[i];
        var_find(variable_name(w.text), &value, locals);
        if (value.size() > kLongText)
            value.resize(kLongText);
        r.cond_views[i] = value;
    }
    int used = 0;
    int res = cond_test_values(r.cond_views.data(), n, r.a.conn, r.cond_v1, r.cond_v2, &used,
                               &r.cond_op);
    if (res < 0) {
        condition_error(which, res, r.cond_op);
        return -1;
    }
    if (used && r.a.cond_slot) {
        *r.a.cond_slot = r.cond_v1;
        r.a.cond_slot->push_back('\0');
        *r.a.cond_slot += r.cond_v2;
    }
    return res == kCondTrue ? 1 : 0;
}

// What a word is to the evaluator (see PieceWord): on a command line, or in
// a condition, where "!$..." and "!%..." are negations.
WordKind word_kind(std::string_view w, bool condition)
{
    if (w.empty())
        return kWordOther;
    switch (w[0]) {
    case '#':
    case '$':
    case '[':
    case ']':
        return kWordOther;
    case '%':
        return w.size() > 1 ? kWordVariable : kWordPlain;
    case '{':
    case '}':
        return w.size() == 1 ? kWordOther : kWordPlain;
    case '!':
        return condition && w.size() > 1 && (w[1] == '$' || w[1] == '%') ? kWordOther : kWordPlain;
    case '=':
        return w.size() > 1 && w[1] == '$' ? kWordOther : kWordPlain;
    default:
        return kWordPlain;
    }
}

// Works out the plan's kinds, compiled condition and plain command.
void plan_piece(PiecePlan& plan)
{
    for (PieceWord& w : plan.words) {
        w.kind = word_kind(w.text, false);
        w.cond_kind = word_kind(w.text, true);
    }
    const std::vector<PieceWord>& words = plan.words;
    if (words.empty())
        return;
    plan.close_only = words.size() == 1 && words[0].text == "}";
    plan.control = control_word(words[0].text);
    std::size_t from = 0;
    if (plan.control >= 0 && plan.control <= 2) {
        // The condition as the chain takes it off the words after the
        // control word: one group, no "&&" or "||" after it, and the words
        // left over the piece's own.
        TokenList rest, group;
        for (std::size_t i = 1; i < words.size(); ++i) {
            EvalToken* t = toklist_new_token(rest, words[i].text);
            t->blanks = words[i].blanks;
            toklist_append(rest, t);
        }
        if (!cond_take_condition_tokens(rest, &group) || !group.head)
            return;
        if (rest.head && (rest.head->text == "&&" || rest.head->text == "||"))
            return;
        const std::size_t start = words.size() - static_cast<std::size_t>(rest.count);
        std::size_t i = start;
        for (const EvalToken* t = rest.head; t; t = t->next, ++i)
            if (t->text != words[i].text || t->blanks != words[i].blanks)
                return;
        for (const EvalToken* t = group.head; t; t = t->next) {
            PieceWord w{t->text, t->blanks};
            w.cond_kind = word_kind(t->text, true);
            if (w.cond_kind == kWordOther)
                return;
            plan.cond.group.push_back(std::move(w));
        }
        plan.cond.rest = start;
        plan.has_cond = true;
        from = start;
        while (from < words.size() && words[from].text == "{")
            ++from;
    } else if (plan.control >= 0) {
        return;  // var and else
    }
    if (from >= words.size() || words[from].kind != kWordPlain || control_word(words[from].text) >= 0)
        return;
    for (std::size_t i = from; i < words.size(); ++i)
        if (words[i].kind == kWordOther)
            return;
    plan.command = from;
    for (std::size_t i = from + 1; i < words.size(); ++i) {
        PieceWord& w = plan.words[i];
        if (w.kind != kWordVariable)
            continue;
        const int last = i + 1 == words.size() ? 1 : 0;
        w.keep_first = var_keep_name(words[from].text, 1, w.text, last) != 0;
        w.keep_later = var_keep_name(words[from].text, 2, w.text, last) != 0;
    }
    const std::string& w0 = words[from].text;
    plan.keep_runs = text_starts_with_nocase(w0, "returnex") || text_equal_nocase(w0, "set");
}

// run_control_words for a piece whose control word has a compiled condition
// and whose command is plain: tests the condition, and on a true test opens
// the blocks of the "{" words before the command as the token walk opens
// them. kStepGoOn leaves the command (words[plan.command] on) to run.
int run_compiled_control(Run& r, const PiecePlan& plan, int* result)
{
    const int which = plan.control;
    const std::vector<PieceWord>& words = plan.words;
    int res = test_compiled_condition(r, plan.cond, which);
    if (res < 0)
        return step_failed(r, result);
    std::size_t i = plan.cond.rest;
    if (res == 0) {
        if (which != 2)
            r.if_state = 2;
        // What follows the condition is skipped as its tokens.
        toklist_clear(r.toks);
        for (; i < words.size(); ++i) {
            EvalToken* t = toklist_new_token(r.toks, words[i].text);
            t->blanks = words[i].blanks;
            toklist_append(r.toks, t);
        }
        if (!skip_rest(r)) {
            script_error_set(script_text(which == 2 ? 3426 : 3410));
            return step_failed(r, result);
        }
        return kStepNext;
    }
    int kind = 1;
    if (which == 2) {
        Block b;
        b.kind = 2;
        b.line = r.line;
        b.piece = r.cur_piece;
        b.single = !(i < words.size() && words[i].text == "{");
        r.blocks.push_back(b);
        if (b.single)
            r.single_while_pending = true;
        else
            ++i;
        kind = 0;
    }
    for (; i < words.size() && words[i].text == "{"; ++i) {
        Block b;
        b.kind = kind;
        r.blocks.push_back(b);
        kind = 0;
    }
    // The command's word is no control word.
    r.if_state = 0;
    return kStepGoOn;
}

// The line with "$*" put back for one parameter (the k-th pass).
void fill_star(const Run& r, const std::string& saved, std::size_t k, std::string& line)
{
    line.clear();
    for (const std::string& w : tok_split(saved, ' ')) {
        if (!line.empty())
            line.push_back(' ');
        if (w.compare(0, 4, "`~$*") == 0)
            line += r.params[k + 1] + w.substr(4);
        else
            line += w;
    }
}

// The alias the command calls, or null: none when the command came with "."
// or names the alias running it (a command of that name runs instead).
StringNode* find_alias_call(const Run& r, const std::string& line, const PiecePlan* plan)
{
    if (r.no_alias)
        return nullptr;
    StringNode* def;
    // A line that begins with its word (no prefix left to skip) looks up
    // that word alone.
    const char c0 = line.empty() ? 0 : line[0];
    if (plan && ((c0 >= 'a' && c0 <= 'z') || (c0 >= 'A' && c0 <= 'Z'))) {
        const std::string_view word = std::string_view(line).substr(0, line.find(' '));
        if (plan->alias_seen == alias_generation && plan->alias_script == r.a.script &&
            plan->alias_word == word) {
            def = plan->alias_def;
        } else {
            def = alias_find(line, nullptr, r.a.script);
            plan->alias_word.assign(word);
            plan->alias_seen = alias_generation;
            plan->alias_script = r.a.script;
            plan->alias_def = def;
        }
    } else {
        def = alias_find(line, nullptr, r.a.script);
    }
    if (def && def == r.a.running_alias)
        def = nullptr;
    if (def && text_equal_nocase(alias_body_text(def), "/part # | /join #$$1"))
        def = nullptr;
    return def;
}

// Runs an alias as the command; *res receives its result.
int call_alias(Run& r, StringNode* def, const std::string& line, int& res, int* result)
{
    const ExecArgs& a = r.a;
    res = run_alias(r, def, line);
    if (res == kScriptReturn) {
        if (a.result_slot)
            *a.result_slot = *a.line_buf;
        res = 1;
    }
    if (res == 0)
        return step_failed(r, result);
    if (res == kScriptHalted) {
        *result = res;
        return kStepStop;
    }
    return kStepGoOn;
}

// /break and /continue: leave or restart the innermost loop.
int leave_loop(Run& r, int res, int* result)
{
    int w = -1;
    for (int i = static_cast<int>(r.blocks.size()) - 1; i >= 0; --i)
        if (r.blocks[static_cast<std::size_t>(i)].kind == 2) {
            w = i;
            break;
        }
    if (w < 0)
        return kStepNext;
    Block loop = r.blocks[static_cast<std::size_t>(w)];
    int open = 0;
    for (std::size_t i = static_cast<std::size_t>(w); i < r.blocks.size(); ++i)
        if (!(r.blocks[i].kind == 2 && r.blocks[i].single))
            ++open;
    r.blocks.resize(static_cast<std::size_t>(w));
    r.single_while_pending = false;
    if (!skip_blocks(r, open)) {
        *result = 0;
        return kStepStop;
    }
    if (res == -11)
        goto_piece(r, loop.line, loop.piece);
    return kStepNext;
}

// Runs a built-in command (the server gets what no command claims) and acts
// on what it asks of the run: a loop left, a jump, an error handler sought,
// a halt or a return. *res receives its result.
int dispatch_builtin(Run& r, const std::string& line, int& res, int* result)
{
    *r.a.line_buf = line;
    res = run_builtin(r, line);
    if (res == -10 || res == -11)
        return leave_loop(r, res, result);
    if (res == -12)
        res = do_goto(r, line);
    if (res == kScriptJump) {
        if (r.jump_label.empty()) {
            std::vector<std::string> t = tok_split(line, ' ');
            r.jump_label = t.size() > 1 ? label_value(r, t[1]) : std::string();
        }
        r.jump = kJumpPending;
        return kStepNext;
    }
    if (res == 0) {
        start_error_search(r);
        return kStepNext;
    }
    if (res == kScriptHalted || res == kScriptReturn) {
        *result = res;
        return kStepStop;
    }
    return kStepGoOn;
}

// After the command of a while loop without braces: back to its test.
void end_single_while(Run& r)
{
    if (!r.single_while_pending)
        return;
    r.single_while_pending = false;
    if (!r.blocks.empty() && r.blocks.back().kind == 2 && r.blocks.back().single) {
        Block b = r.blocks.back();
        r.blocks.pop_back();
        goto_piece(r, b.line, b.piece);
    }
}

// Runs one command. Returns kStepNext to go on or kStepStop with *result.
// The text is the command as taken from the line (or the queue); a plan is
// given when it is a piece of the line exactly as split.
int run_command(Run& r, std::string_view text, const PiecePlan* plan, int* result)
{
    ExecArgs& a = r.a;
    resolve_window_conn(r);
    if (!conn_is_live(a.conn)) {
        *result = 0;
        return kStepStop;
    }
    if (a.script && !remote_script_file_is_live(a.script)) {
        *result = 0;
        return kStepStop;
    }
    r.show = a.show;
    r.no_alias = 0;
    const bool typed = (a.mode == 0);
    int step;

    std::string joined;  // the command once "$&" has joined lines to it
    if (!typed) {
        if ((step = join_continued_lines(r, text, plan, joined, result)) != kStepGoOn)
            return step;
        if ((step = take_label(r, text, result)) != kStepGoOn)
            return step;
        if (r.jump != kJumpNone) {
            skip_while_jumping(r, text);
            return kStepNext;
        }
        if (plan && plan->close_only)
            return close_piece(r);
    }
    std::size_t p;
    if (plan) {
        p = plan->prefix;
        if (plan->no_alias)
            r.no_alias = 1;
        if (!plan->show)
            r.show = 0;
    } else {
        p = script_line_skip_prefix(text, &r.no_alias, &r.show);
    }
    if (p >= text.size())
        return kStepNext;
    if ((a.mode == 0 || a.mode == 5) && (text[p] == '$' || text[p] == '%')) {
        *result = 0;
        return kStepStop;
    }
    LineBuffer line_holder;
    std::string& line = *line_holder.text;
    int has_star = 0;
    const PiecePlan* plain_plan = nullptr;  // the plan the command was evaluated from
    if (typed) {
        line = text.substr(p);
    } else {
        build_params(r);
        if (plan && plan->control < 0 && plan->command == 0 && plain_evaluation_ok(r)) {
            // No control words: what run_control_words does for a command.
            r.if_state = 0;
            step = evaluate_plain_command(r, *plan, line, result);
            plain_plan = plan;
        } else if (plan && plan->has_cond && plan->command != std::string::npos &&
                   !(plan->control == 1 && r.if_state != 2) && plain_evaluation_ok(r)) {
            step = run_compiled_control(r, *plan, result);
            if (step == kStepGoOn)
                step = evaluate_plain_command(r, *plan, line, result);
            plain_plan = plan;
        } else {
            if ((step = split_words(r, text, p, plan)) != kStepGoOn)
                return step;
            if ((step = run_control_words(r, result)) != kStepGoOn)
                return step;
            if (r.plain_ready && plan->command != std::string::npos &&
                static_cast<std::size_t>(r.toks.count) == plan->words.size() - plan->command) {
                step = evaluate_plain_command(r, *plan, line, result);
                plain_plan = plan;
            } else
                step = evaluate_command(r, line, &has_star, result);
        }
        if (step != kStepGoOn)
            return step;
    }
    if (!r.error_mode && a.depth > 256) {
        script_nesting_trip();
        *result = 0;
        return kStepStop;
    }

    // Once per parameter when the line holds $*.
    std::size_t runs = 1;
    std::string saved;
    if (has_star) {
        saved = line;
        runs = r.params.size() > 1 ? r.params.size() - 1 : 0;
    }
    int res = 1;
    for (std::size_t k = 0; k < runs; ++k) {
        if (has_star)
            fill_star(r, saved, k, line);
        if (StringNode* def = find_alias_call(r, line, plain_plan))
            step = call_alias(r, def, line, res, result);
        else
            step = dispatch_builtin(r, line, res, result);
        if (step != kStepGoOn)
            return step;
        if (res != 1)
            break;
    }
    end_single_while(r);
    return kStepNext;
}

} // namespace

// ---------------------------------------------------------------------------

int script_exec_block(ExecArgs args)
{
    if (!script_nesting_enter())
        return 0;
    struct Leave {
        ~Leave() { script_nesting_leave(); }
    } leave;
    Run r;
    ExecArgs& a = r.a;
    a = args;
    if (!a.slot_a)
        a.slot_a = &r.own_a;
    if (!a.cond_slot)
        a.cond_slot = &r.own_cond;
    if (!a.slot_c)
        a.slot_c = &r.own_c;
    if (!a.result_slot)
        a.result_slot = &r.own_result;
    if (!a.slot_d)
        a.slot_d = &r.own_d;
    if (a.depth < 1)
        script_error_clear();
    if (a.script && !remote_script_file_is_live(a.script))
        return 0;
    resolve_window_conn(r);
    if (!conn_is_live(a.conn))
        return 0;
    if (!a.script && a.lines)
        a.script = event_script_of_line(a.lines);
    if (!a.lines)
        return 1;
    bool owns_locals = a.owns_locals != 0;
    if (!a.locals) {
        r.own_locals = var_locals_new();
        if (!r.own_locals) {
            script_error(nullptr, {}, "variable", 2);
            return 0;
        }
        a.locals = &r.own_locals;
        owns_locals = true;
    }
    if (!a.eval_buf)
        a.eval_buf = &r.own_eval;
    if (!a.work_buf)
        a.work_buf = &r.own_work;
    if (!a.line_buf)
        a.line_buf = &r.own_line;
    a.eval_buf->clear();
    a.work_buf->clear();
    a.line_buf->clear();

    int result = 1;
    bool done = false;
    // Modes.
    switch (a.mode) {
    case 2: r.origin = 1; break;
    case 5: r.origin = 2; a.mode = 0; break;
    case 6: r.origin = 2; a.mode = 1; break;
    case 7: r.origin = 2; a.mode = 3; break;
    default: r.origin = 0; break;
    }
    std::string first_text = a.lines->text;
    if (a.mode == 3) {
        result = send_plain_text(a.window, a.conn, first_text, r.origin);
        done = true;
    } else if (a.mode == 0 || a.mode == 4) {
        std::size_t i = 0;
        while (i < first_text.size() && first_text[i] == ' ')
            ++i;
        first_text.erase(0, i);
        if (first_text.empty()) {
            done = true;
        } else {
            if (first_text[0] == script_command_char) {
                first_text[0] = '/';
                if (first_text.size() > 1 && first_text[1] == script_command_char)
                    first_text[1] = '/';
            }
            if (first_text[0] != '/') {
                result = send_plain_text(a.window, a.conn, first_text, r.origin);
                done = true;
            } else if (a.mode == 4) {
                a.mode = 1;
            } else if (first_text.size() > 2 && first_text[1] == '/') {
                a.mode = 1;
            }
        }
    }
    if (!done) {
        r.first = a.lines;
        if (a.mode == 0) {
            // A typed command with a single "/": taken whole, unevaluated.
            int res = 1;
            r.line = a.lines;
            if (run_command(r, first_text, nullptr, &res) == kStepStop)
                result = res;
        } else {
            load_line(r, a.lines);
            if (first_text != a.lines->text) {
                // The typed line with its command characters normalised.
                r.pieces.list = make_split(first_text, 0);
            }
            std::string queued_text;
            // The pieces of the current line stay alive while their
            // command runs, even when the run moves to other lines.
            std::shared_ptr<const SplitPieces> holder;
            for (;;) {
                std::string_view text;
                const PiecePlan* plan = nullptr;
                if (!r.queued.empty()) {
                    queued_text = std::move(r.queued.back());
                    r.queued.pop_back();
                    text = queued_text;
                } else if (r.piece < static_cast<int>(r.pieces.size())) {
                    r.cur_piece = r.piece;
                    const std::size_t i = static_cast<std::size_t>(r.piece++);
                    if (holder != r.pieces.list)
                        holder = r.pieces.list;
                    const ScriptPiece& p = holder->pieces[i];
                    if (p.comment != 0)
                        continue;
                    text = p.text;
                    plan = &holder->plans[i];
                } else {
                    StringNode* next = r.line ? r.line->next : nullptr;
                    if (!next || next->extra[kLineKind] != 0)
                        break;
                    load_line(r, next);
                    continue;
                }
                int res = 1;
                if (run_command(r, text, plan, &res) == kStepStop) {
                    result = res;
                    break;
                }
            }
            if (result == 1 && r.jump == kJumpPending) {
                script_error_set(script_text(3403, r.jump_label));
                result = 0;
            } else if (result == 1 && r.jump == kJumpError) {
                result = 0;
            }
        }
    }
    if (result == 0 && script_error_pending() && !script_error_state.placed)
        script_error_locate(a.window, ScriptLineLocator{r.line, r.first, a.definition}, 0, a.depth,
                            a.conn);
    if (script_error_pending() && script_error_state.placed && script_error_state.depth >= a.depth)
        result = 0;
    if (a.depth < 1) {
        var_scope_end(a.window, a.scope);
        script_error_show(a.window, a.conn);
        script_error_clear();
    }
    if (owns_locals && a.locals == &r.own_locals)
        var_locals_free(&r.own_locals);
    else if (owns_locals && a.locals && *a.locals)
        var_locals_free(a.locals);
    return result;
}

int script_exec_line(QWidget* window, const char* text, const char* params, int mode,
                     EventContext* halt, ScriptFile* script, Connection* conn, int depth)
{
    if (!text || !*text)
        return 0;
    StringNode* list = strlist_append(nullptr, text, 0);
    if (!list) {
        script_error(nullptr, {}, "command", 2);
        return 0;
    }
    ExecArgs a;
    a.window = window;
    a.lines = list;
    a.params = params;
    a.mode = mode;
    a.depth = depth;
    a.show = 1;
    a.halt = halt;
    a.owns_locals = 1;
    a.script = script;
    a.conn = conn;
    a.scope = var_next_scope();
    int r = script_exec_block(a);
    strlist_free(&list);
    return r;
}

int script_exec_command(QWidget* window, StringNode* line, const char* text, const char* params,
                        int mode, ScriptFile* script, Connection* conn)
{
    if (!conn)
        conn = window ? conn_of_window(window) : conn_current();
    if (!conn_is_live(conn))
        return 0;
    if (!script && line)
        for (StringNode* n = line; n && !script; n = n->next)
            script = reinterpret_cast<ScriptFile*>(n->extra[kLineScript]);
    std::string p = params ? params : "";
    if (line && text) {
        std::string_view t = text;
        std::size_t i = 0;
        while (i < t.size() && t[i] == ' ')
            ++i;
        if (i < t.size() && t[i] == '{') {
            std::string_view after = t.substr(i + 1);
            while (!after.empty() && after[0] == ' ')
                after.remove_prefix(1);
            StringNode* temp = nullptr;
            StringNode* lines = line->next;
            if (!after.empty()) {
                temp = new StringNode;
                temp->text.assign(after.substr(0, kLongText));
                temp->next = line->next;
                lines = temp;
            }
            ExecArgs a;
            a.window = window;
            a.lines = lines;
            a.params = params ? p.c_str() : nullptr;
            a.mode = mode;
            a.show = 1;
            a.owns_locals = 1;
            a.script = script;
            a.conn = conn;
            a.scope = var_next_scope();
            int r = lines ? script_exec_block(a) : 1;
            if (temp) {
                temp->next = nullptr;
                delete temp;
            }
            return r;
        }
    }
    return script_exec_line(window, text, params ? p.c_str() : nullptr, mode, nullptr, script, conn);
}

int script_exec_plain_command(QWidget* window, std::string_view command, Connection* conn,
                              int origin)
{
    std::string text = "/";
    std::size_t i = 0;
    while (i < command.size() && (command[i] == ' ' || command[i] == '/' ||
                                  command[i] == script_command_char))
        ++i;
    text += command.substr(i, kLongText);
    return script_exec_line(window, text.c_str(), nullptr, origin == 2 ? 5 : 0,
                            nullptr, nullptr, conn);
}
