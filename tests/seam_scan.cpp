// seam_scan: reads every header under a source folder and writes the table of
// function-pointer seams that the seam check walks at run time.
//
//   seam_scan <source folder> <output file> [<snapshot file>]
//   seam_scan --stubs <source folder> <output file>
//
// The snapshot file, when named, holds a record `HookSnapshot` that copies
// every hook record and free seam when made, writes them all back with
// restore(), and names the seams whose value differs from the copy
// (changed()); tests save and restore the program's seams with it.
//
// A seam is a function pointer declared at namespace scope (`extern R
// (*name)(...)`, or of a function-pointer type named by `using`/`typedef`) or
// a function-pointer member of a hook record. A hook record is reached
// through its instance: `extern Record name;`, or an accessor `Record&
// name();` (a function returning the record by value also serves). Each entry
// reads the pointer and says whether it is set.
//
// With --stubs it reads the sources too and writes the stub table: every
// free seam whose definition gives it a default that does nothing (an
// empty body, or one that only returns a constant; a named function or a
// lambda), with its value as the program is loaded, so that the seam check
// counts it as unset while it still holds that default.
//
// Anything the scan cannot attribute stops the build with the header and
// line: a raw function-pointer member of a record without an instance, a
// function pointer defined in a header without `extern` or `inline` (one per
// translation unit), and declarators it does not understand (arrays of
// function pointers, pointers to members, qualified pointers). Templates and
// function bodies are not scanned: they hold no program-wide seams.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct Seam {
    std::string record;   // qualified record name; empty for a free pointer
    std::string name;     // member or qualified free name
    std::string header;   // relative to the source folder
    int line = 0;
    bool raw = true;      // declared with (*name), not through a type alias
};

struct Instance {
    std::string expr;     // how to reach the record: "name" or "name()"
    std::string header;
    int rank = 0;         // 0 extern variable, 1 reference accessor, 2 by value
};

struct Failure {
    std::string header;
    int line;
    std::string what;
};

std::vector<Seam> seams;
std::map<std::string, std::vector<Instance>> instances;   // by record name
std::map<std::string, std::pair<std::string, int>> records_seen;  // records with raw members
std::set<std::string> pointer_aliases;                      // using X = R (*)(...)
std::vector<Failure> failures;

bool ident_char(char c)
{
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}

// Comments, string and character literals and preprocessor lines become
// blanks; new lines stay so that offsets keep their line numbers.
std::string strip(const std::string& in)
{
    std::string out(in.size(), ' ');
    std::size_t i = 0;
    bool line_start = true;
    while (i < in.size()) {
        char c = in[i];
        if (c == '\n') {
            out[i++] = '\n';
            line_start = true;
            continue;
        }
        if (line_start && (c == ' ' || c == '\t')) {
            ++i;
            continue;
        }
        if (line_start && c == '#') {
            // A preprocessor line, with its continuations.
            while (i < in.size() && in[i] != '\n') {
                if (in[i] == '\\' && i + 1 < in.size() && in[i + 1] == '\n') {
                    out[i + 1] = '\n';
                    i += 2;
                    continue;
                }
                ++i;
            }
            continue;
        }
        line_start = false;
        if (c == '/' && i + 1 < in.size() && in[i + 1] == '/') {
            while (i < in.size() && in[i] != '\n')
                ++i;
            continue;
        }
        if (c == '/' && i + 1 < in.size() && in[i + 1] == '*') {
            i += 2;
            while (i + 1 < in.size() && !(in[i] == '*' && in[i + 1] == '/')) {
                if (in[i] == '\n')
                    out[i] = '\n';
                ++i;
            }
            i += 2;
            continue;
        }
        if (c == '"' || c == '\'') {
            out[i++] = c;
            while (i < in.size() && in[i] != c && in[i] != '\n') {
                if (in[i] == '\\')
                    ++i;
                ++i;
            }
            if (i < in.size())
                out[i++] = c;
            continue;
        }
        out[i++] = c;
    }
    return out;
}

// Whether the text holds "=" outside parentheses (an initializer, not a
// default argument).
bool has_top_level_equal(const std::string& s)
{
    int depth = 0;
    for (char c : s) {
        if (c == '(')
            ++depth;
        else if (c == ')')
            --depth;
        else if (c == '=' && depth == 0)
            return true;
    }
    return false;
}

std::string trim(const std::string& s)
{
    std::size_t a = s.find_first_not_of(" \t\n\r");
    if (a == std::string::npos)
        return {};
    std::size_t b = s.find_last_not_of(" \t\n\r");
    return s.substr(a, b - a + 1);
}

// The words of a statement: identifiers (with "::" joined in) and single
// punctuation characters.
std::vector<std::string> words_of(const std::string& s)
{
    std::vector<std::string> out;
    std::size_t i = 0;
    while (i < s.size()) {
        char c = s[i];
        if (std::isspace(static_cast<unsigned char>(c))) {
            ++i;
            continue;
        }
        if (ident_char(c) || (c == ':' && i + 1 < s.size() && s[i + 1] == ':')) {
            std::size_t j = i;
            while (j < s.size() && (ident_char(s[j]) || (s[j] == ':' && j + 1 < s.size() && s[j + 1] == ':'))) {
                j += s[j] == ':' ? 2 : 1;
            }
            out.push_back(s.substr(i, j - i));
            i = j;
            continue;
        }
        out.push_back(std::string(1, c));
        ++i;
    }
    return out;
}

bool starts_with_word(const std::vector<std::string>& w, const char* word)
{
    return !w.empty() && w[0] == word;
}

enum class Scope { Namespace, Record };

struct Frame {
    Scope kind;
    std::string name;   // namespace or record name (qualified)
};

class HeaderScan {
public:
    HeaderScan(std::string header, std::string text) : header_(std::move(header)), text_(std::move(text)) {}

    void run()
    {
        stack_.push_back({Scope::Namespace, ""});
        std::size_t i = 0;
        stmt_start_ = 0;
        while (i < text_.size()) {
            char c = text_[i];
            if (c == ';') {
                statement(stmt_, stmt_start_);
                reset(i + 1);
                ++i;
            } else if (c == '{') {
                i = open_brace(i);
            } else if (c == '}') {
                if (stack_.size() > 1)
                    stack_.pop_back();
                // "struct X { ... } name;" or "};": the rest ends at ';'.
                stmt_.clear();
                stmt_start_ = i + 1;
                ++i;
            } else {
                if (stmt_.empty())
                    stmt_start_ = i;
                stmt_.push_back(c);
                ++i;
            }
        }
    }

private:
    std::string header_;
    std::string text_;
    std::vector<Frame> stack_;
    std::string stmt_;
    std::size_t stmt_start_ = 0;

    int line_at(std::size_t offset) const
    {
        return 1 + static_cast<int>(std::count(text_.begin(), text_.begin() + std::min(offset, text_.size()), '\n'));
    }

    void fail(std::size_t offset, const std::string& what) { failures.push_back({header_, line_at(offset), what}); }

    void reset(std::size_t next)
    {
        stmt_.clear();
        stmt_start_ = next;
    }

    std::string qualified(const std::string& name) const
    {
        std::string q;
        for (const Frame& f : stack_)
            if (!f.name.empty())
                q += f.name + "::";
        return q + name;
    }

    std::string scope_prefix() const { return qualified(""); }

    // The offset past the brace block that starts at `open`.
    std::size_t skip_block(std::size_t open) const
    {
        int depth = 0;
        for (std::size_t i = open; i < text_.size(); ++i) {
            if (text_[i] == '{')
                ++depth;
            else if (text_[i] == '}' && --depth == 0)
                return i + 1;
        }
        return text_.size();
    }

    std::size_t open_brace(std::size_t i)
    {
        std::vector<std::string> w = words_of(stmt_);
        // Templates hold no program-wide seams: the whole declaration goes.
        if (starts_with_word(w, "template")) {
            std::size_t end = skip_block(i);
            // A template record ends at ';' after its block.
            reset(end);
            return end;
        }
        if (w.empty() || (w.size() == 1 && w[0] == "extern") || (w.size() >= 1 && w[0] == "namespace")) {
            std::string name = (w.size() >= 2 && w[0] == "namespace") ? w[1] : "";
            stack_.push_back({Scope::Namespace, name});
            reset(i + 1);
            return i + 1;
        }
        // struct/class/union NAME [final] [: bases]
        std::size_t k = 0;
        if (k < w.size() && (w[k] == "struct" || w[k] == "class" || w[k] == "union") && k + 1 < w.size() &&
            ident_char(w[k + 1][0])) {
            bool plain = w.size() == k + 2 || (w.size() > k + 2 && (w[k + 2] == ":" || w[k + 2] == "final"));
            if (plain && std::find(w.begin(), w.end(), "=") == w.end()) {
                stack_.push_back({Scope::Record, w[k + 1]});
                reset(i + 1);
                return i + 1;
            }
        }
        // Anything else: an enum, an initializer or a function body.
        std::size_t end = skip_block(i);
        bool initializer = has_top_level_equal(stmt_) || starts_with_word(w, "enum") ||
                           (!w.empty() && ident_char(w.back()[0]) && w.back() != "const" &&
                            w.back() != "noexcept" && w.back() != "override" && w.back() != "final");
        if (initializer) {
            // The statement goes on to its ';'.
            stmt_ += " {} ";
        } else {
            reset(end);
        }
        return end;
    }

    // One declaration at namespace or record scope (without its ';').
    void statement(const std::string& s, std::size_t at)
    {
        std::vector<std::string> w = words_of(s);
        if (w.empty())
            return;
        if (w[0] == "template" || w[0] == "friend" || w[0] == "static_assert" || w[0] == "namespace" ||
            w[0] == "public" || w[0] == "private" || w[0] == "protected")
            return;
        if (w[0] == "using" || w[0] == "typedef") {
            note_alias(s, w);
            return;
        }
        const Frame& scope = stack_.back();
        bool found = false;
        find_raw_pointers(s, at, scope, w, found);
        if (found)
            return;
        note_alias_typed(w, at, scope);
        if (scope.kind == Scope::Namespace)
            note_instance(w);
    }

    // using X = R (*)(...);  typedef R (*X)(...);
    void note_alias(const std::string& s, const std::vector<std::string>& w)
    {
        std::string compact;
        for (char c : s)
            if (!std::isspace(static_cast<unsigned char>(c)))
                compact.push_back(c);
        if (w[0] == "using" && w.size() > 2 && w[2] == "=") {
            if (compact.find("(*)(") != std::string::npos)
                pointer_aliases.insert(w[1]);
            return;
        }
        std::size_t p = compact.find("(*");
        if (w[0] == "typedef" && p != std::string::npos) {
            std::size_t e = compact.find(')', p);
            if (e != std::string::npos && compact.compare(e, 2, ")(") == 0)
                pointer_aliases.insert(compact.substr(p + 2, e - p - 2));
        }
    }

    // Function-pointer declarators at parenthesis depth 0: "(*name)(".
    void find_raw_pointers(const std::string& s, std::size_t at, const Frame& scope,
                           const std::vector<std::string>& w, bool& found)
    {
        int depth = 0;
        for (std::size_t i = 0; i < s.size(); ++i) {
            char c = s[i];
            if (c == '(' && depth == 0) {
                std::size_t j = i + 1;
                while (j < s.size() && std::isspace(static_cast<unsigned char>(s[j])))
                    ++j;
                bool member_pointer = false;
                std::size_t q = j;
                while (q < s.size() && (ident_char(s[q]) || s[q] == ':'))
                    ++q;
                if (q > j && q + 1 < s.size() && s[q - 1] == ':' && s[q] == '*')
                    member_pointer = true;
                if (j < s.size() && (s[j] == '*' || member_pointer)) {
                    // The declarator inside the parentheses.
                    int inner = 1;
                    std::size_t k = i + 1;
                    while (k < s.size() && inner > 0) {
                        if (s[k] == '(')
                            ++inner;
                        else if (s[k] == ')')
                            --inner;
                        ++k;
                    }
                    std::string inside = trim(s.substr(i + 1, k - i - 2));
                    std::size_t after = k;
                    while (after < s.size() && std::isspace(static_cast<unsigned char>(s[after])))
                        ++after;
                    bool takes_args = after < s.size() && s[after] == '(';
                    std::string name = trim(inside.substr(inside.find('*') + 1));
                    bool simple = !member_pointer && !name.empty() &&
                                  std::all_of(name.begin(), name.end(), ident_char) &&
                                  !std::isdigit(static_cast<unsigned char>(name[0])) && name != "const" &&
                                  name != "volatile";
                    if (name.find('(') != std::string::npos) {
                        // A function returning a function pointer: not a variable.
                    } else if (takes_args && simple) {
                        found = true;
                        add_pointer(name, at + i, scope, w, true);
                    } else if (takes_args || member_pointer ||
                               (!name.empty() && name.find('[') != std::string::npos)) {
                        fail(at + i, "cannot attribute the function-pointer declaration '(" + inside + ")'");
                        found = true;
                    }
                    i = k - 1;
                    continue;
                }
            }
            if (c == '(')
                ++depth;
            else if (c == ')')
                --depth;
        }
    }

    void add_pointer(const std::string& name, std::size_t at, const Frame& scope, const std::vector<std::string>& w,
                     bool raw)
    {
        bool is_static = std::find(w.begin(), w.end(), "static") != w.end();
        bool is_extern = std::find(w.begin(), w.end(), "extern") != w.end();
        bool is_inline = std::find(w.begin(), w.end(), "inline") != w.end();
        if (scope.kind == Scope::Record) {
            if (is_static) {
                // A static member: one program-wide pointer reached by its qualified name.
                seams.push_back({"", qualified(name), header_, line_at(at), raw});
                return;
            }
            std::string record = scope_prefix();
            record.resize(record.size() - 2);
            seams.push_back({record, name, header_, line_at(at), raw});
            if (raw && !records_seen.count(record))
                records_seen[record] = {header_, line_at(at)};
            return;
        }
        if (is_static || (!is_extern && !is_inline)) {
            fail(at, "function pointer '" + name + "' is defined in a header without extern: one per source file");
            return;
        }
        seams.push_back({"", qualified(name), header_, line_at(at), raw});
    }

    // A variable or member whose type is a function-pointer alias:
    // [extern|static|inline] Alias name [= ...]
    void note_alias_typed(const std::vector<std::string>& w, std::size_t at, const Frame& scope)
    {
        std::size_t k = 0;
        while (k < w.size() && (w[k] == "extern" || w[k] == "static" || w[k] == "inline" || w[k] == "const"))
            ++k;
        if (k + 1 >= w.size() || !pointer_aliases.count(w[k]))
            return;
        const std::string& name = w[k + 1];
        if (!ident_char(name[0]))
            return;
        if (k + 2 < w.size() && w[k + 2] != "=" && w[k + 2] != "{")
            return;   // a function returning the alias, or something else
        add_pointer(name, at, scope, w, false);
    }

    // extern Record name;   Record& name();   Record name();
    void note_instance(const std::vector<std::string>& w)
    {
        if (w.size() == 3 && w[0] == "extern" && ident_char(w[1][0]) && ident_char(w[2][0])) {
            instances[w[1]].push_back({qualified(w[2]), header_, 0});
            return;
        }
        if (w.size() == 5 && w[1] == "&" && w[3] == "(" && w[4] == ")") {
            instances[w[0]].push_back({qualified(w[2]) + "()", header_, 1});
            return;
        }
        if (w.size() == 4 && ident_char(w[0][0]) && ident_char(w[1][0]) && w[2] == "(" && w[3] == ")")
            instances[w[0]].push_back({qualified(w[1]) + "()", header_, 2});
    }
};

// ---------------------------------------------------------------------------
// Stub defaults. A free seam defined in a source file with a default that
// does nothing (an empty body, or one that only returns a constant) hides a
// dead feature as well as a null would; the stub table names every such seam
// so that the seam check counts it as null while it still holds its default.

// The text without blanks.
std::string compact(const std::string& s)
{
    std::string out;
    for (char c : s)
        if (!std::isspace(static_cast<unsigned char>(c)))
            out.push_back(c);
    return out;
}

// The offset just past the bracket that closes the one at `open`, or npos.
std::size_t past_balanced(const std::string& t, std::size_t open)
{
    const char o = t[open];
    const char c = o == '(' ? ')' : (o == '[' ? ']' : '}');
    int depth = 0;
    for (std::size_t i = open; i < t.size(); ++i) {
        if (t[i] == o)
            ++depth;
        else if (t[i] == c && --depth == 0)
            return i + 1;
    }
    return std::string::npos;
}

// A value that is the same whatever happens: a number, true, false,
// nullptr, an empty literal text, a default-made value ("{}", "T()", "T{}"),
// or a cast of one of these. Texts are compacted, literals blanked.
bool is_constant(std::string v)
{
    for (;;) {
        // static_cast<T>(x), T(x) of a constant: the constant.
        std::size_t lt = v.find("_cast<");
        if (lt != std::string::npos && v.back() == ')') {
            std::size_t open = v.find(">(", lt);
            if (open == std::string::npos)
                return false;
            v = v.substr(open + 2, v.size() - open - 3);
            continue;
        }
        break;
    }
    if (v.empty() || v == "{}" || v == "true" || v == "false" || v == "nullptr" || v == "NULL")
        return true;
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front() &&
        v.find_first_not_of(v.front()) == std::string::npos)
        return true;
    std::size_t i = (v[0] == '-' || v[0] == '+') ? 1 : 0;
    if (i < v.size() && std::isdigit(static_cast<unsigned char>(v[i]))) {
        for (; i < v.size(); ++i)
            if (!std::isalnum(static_cast<unsigned char>(v[i])) && v[i] != '.')
                return false;
        return true;
    }
    // A default-made value of a named type: "T{}"; "T()" only where T is
    // plainly a type (a template, a capitalised name, a standard text),
    // since "f()" calls a function.
    const bool braces = v.size() > 2 && v.compare(v.size() - 2, 2, "{}") == 0;
    const bool parens = v.size() > 2 && v.compare(v.size() - 2, 2, "()") == 0;
    if (!braces && !parens)
        return false;
    const std::string type = v.substr(0, v.size() - 2);
    if (!std::all_of(type.begin(), type.end(), [](char c) {
            return ident_char(c) || c == ':' || c == '<' || c == '>' || c == ',' || c == '*' || c == '&';
        }))
        return false;
    return braces || type.find('<') != std::string::npos || std::isupper(static_cast<unsigned char>(type[0])) ||
           type == "std::string" || type == "std::string_view";
}

// Whether a function body (between its braces) does nothing: no statement
// but "(void)name;" and at most a return of a constant.
bool body_does_nothing(const std::string& body)
{
    const std::string c = compact(body);
    std::size_t start = 0;
    while (start < c.size()) {
        std::size_t end = start;
        int depth = 0;
        while (end < c.size() && !(c[end] == ';' && depth == 0)) {
            if (c[end] == '(' || c[end] == '{' || c[end] == '[')
                ++depth;
            else if (c[end] == ')' || c[end] == '}' || c[end] == ']')
                --depth;
            ++end;
        }
        const std::string stmt = c.substr(start, end - start);
        start = end + 1;
        if (stmt.empty())
            continue;
        if (stmt.rfind("(void)", 0) == 0 &&
            std::all_of(stmt.begin() + 6, stmt.end(), ident_char))
            continue;
        if (stmt.rfind("return", 0) == 0 && is_constant(stmt.substr(6)))
            continue;
        return false;
    }
    return true;
}

// The body of the function named `name` defined in the text: false when
// there is no definition of it.
bool function_body(const std::string& t, const std::string& name, std::string* body)
{
    std::size_t at = 0;
    while ((at = t.find(name, at)) != std::string::npos) {
        const std::size_t end = at + name.size();
        const bool whole = (at == 0 || !ident_char(t[at - 1])) && (end >= t.size() || !ident_char(t[end]));
        at = end;
        if (!whole)
            continue;
        std::size_t k = end;
        while (k < t.size() && std::isspace(static_cast<unsigned char>(t[k])))
            ++k;
        if (k >= t.size() || t[k] != '(')
            continue;
        std::size_t after = past_balanced(t, k);
        if (after == std::string::npos)
            return false;
        // Qualifiers between the parameters and the body.
        while (after < t.size()) {
            while (after < t.size() && std::isspace(static_cast<unsigned char>(t[after])))
                ++after;
            if (t.compare(after, 5, "const") == 0)
                after += 5;
            else if (t.compare(after, 8, "noexcept") == 0)
                after += 8;
            else
                break;
        }
        if (after < t.size() && t[after] == '{') {
            const std::size_t close = past_balanced(t, after);
            if (close == std::string::npos)
                return false;
            *body = t.substr(after + 1, close - after - 2);
            return true;
        }
    }
    return false;
}

// Whether an initializer (a function's name, "&name" or a lambda) is a
// default that does nothing; `what` receives its name for the message.
bool initializer_is_stub(const std::string& text, const std::string& init, std::string* what)
{
    std::string v = trim(init);
    if (v.empty() || v == "nullptr" || v == "NULL" || v == "0")
        return false;
    if (v[0] == '[') {
        const std::size_t capture_end = past_balanced(v, 0);
        const std::size_t open = capture_end == std::string::npos ? capture_end : v.find('{', capture_end);
        if (open == std::string::npos)
            return false;
        const std::size_t close = past_balanced(v, open);
        if (close == std::string::npos)
            return false;
        *what = "a lambda";
        return body_does_nothing(v.substr(open + 1, close - open - 2));
    }
    if (v[0] == '&')
        v = trim(v.substr(1));
    if (v.empty() || !std::all_of(v.begin(), v.end(), [](char c) { return ident_char(c) || c == ':'; }))
        return false;
    const std::size_t colon = v.rfind(':');
    const std::string name = colon == std::string::npos ? v : v.substr(colon + 1);
    std::string body;
    if (!function_body(text, name, &body))
        return false;
    *what = name;
    return body_does_nothing(body);
}

struct StubDefault {
    std::string name;      // the seam's qualified name
    std::string header;    // where it is declared
    std::string source;    // where it is defined
    std::string stub;      // the default's name
};

// The definitions of the free seams in one source file: "(*name)(...) =
// init;" or "Alias name = init;", with `name` possibly qualified.
void find_stub_defaults(const std::string& source, const std::string& text,
                        const std::map<std::string, const Seam*>& by_bare, std::vector<StubDefault>& out)
{
    for (std::size_t i = 0; i < text.size();) {
        if (!ident_char(text[i]) || (i > 0 && ident_char(text[i - 1]))) {
            ++i;
            continue;
        }
        std::size_t e = i;
        while (e < text.size() && ident_char(text[e]))
            ++e;
        const std::string word = text.substr(i, e - i);
        const std::size_t word_at = i;
        i = e;
        auto it = by_bare.find(word);
        if (it == by_bare.end())
            continue;
        // What stands before the name: "(*", "(*Record::", or an alias.
        std::size_t b = word_at;
        while (b >= 2 && text[b - 1] == ':' && text[b - 2] == ':') {
            b -= 2;
            while (b > 0 && ident_char(text[b - 1]))
                --b;
        }
        std::size_t p = b;
        while (p > 0 && std::isspace(static_cast<unsigned char>(text[p - 1])))
            --p;
        std::size_t k = e;
        while (k < text.size() && std::isspace(static_cast<unsigned char>(text[k])))
            ++k;
        if (p > 0 && text[p - 1] == '*') {
            // (*name)(...) =
            if (k >= text.size() || text[k] != ')')
                continue;
            ++k;
            while (k < text.size() && std::isspace(static_cast<unsigned char>(text[k])))
                ++k;
            if (k >= text.size() || text[k] != '(')
                continue;
            k = past_balanced(text, k);
            if (k == std::string::npos)
                continue;
            while (k < text.size() && std::isspace(static_cast<unsigned char>(text[k])))
                ++k;
        } else {
            std::size_t a = p;
            while (a > 0 && ident_char(text[a - 1]))
                --a;
            if (!pointer_aliases.count(text.substr(a, p - a)))
                continue;
        }
        if (k >= text.size() || text[k] != '=' || (k + 1 < text.size() && text[k + 1] == '='))
            continue;
        // The initializer, up to its ';'.
        std::size_t j = k + 1;
        int depth = 0;
        while (j < text.size() && !(text[j] == ';' && depth == 0)) {
            if (text[j] == '(' || text[j] == '{' || text[j] == '[')
                ++depth;
            else if (text[j] == ')' || text[j] == '}' || text[j] == ']')
                --depth;
            ++j;
        }
        std::string what;
        if (initializer_is_stub(text, text.substr(k + 1, j - k - 1), &what))
            out.push_back({it->second->name, it->second->header, source, what});
        i = j;
    }
}

// Writes the file only when its text changed, so that what includes it is
// not built again for nothing.
bool write_if_changed(const fs::path& path, const std::string& text)
{
    {
        std::ifstream in(path, std::ios::binary);
        if (in) {
            std::stringstream old;
            old << in.rdbuf();
            if (old.str() == text)
                return true;
        }
    }
    fs::create_directories(path.parent_path());
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << text;
    return static_cast<bool>(file);
}

}  // namespace

int main(int argc, char** argv)
{
    const bool stubs_mode = argc == 4 && std::string(argv[1]) == "--stubs";
    if (!stubs_mode && argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: seam_scan <source folder> <output file> [<snapshot file>]\n"
                             "       seam_scan --stubs <source folder> <output file>\n");
        return 2;
    }
    if (stubs_mode)
        ++argv;
    fs::path root = argv[1];
    std::vector<fs::path> headers;
    for (const auto& entry : fs::recursive_directory_iterator(root))
        if (entry.is_regular_file() && entry.path().extension() == ".h")
            headers.push_back(entry.path());
    std::sort(headers.begin(), headers.end());

    // Aliases first, so that a header may use one declared in a later one.
    for (int pass = 0; pass < 2; ++pass) {
        if (pass == 1) {
            seams.clear();
            instances.clear();
            records_seen.clear();
            failures.clear();
        }
        for (const fs::path& h : headers) {
            std::ifstream in(h, std::ios::binary);
            std::stringstream buf;
            buf << in.rdbuf();
            HeaderScan(fs::relative(h, root).generic_string(), strip(buf.str())).run();
        }
    }

    // Every record with members needs exactly one way in.
    std::map<std::string, Instance> way_in;
    std::set<std::string> records;
    for (const Seam& s : seams)
        if (!s.record.empty())
            records.insert(s.record);
    for (const std::string& r : records) {
        std::string bare = r.substr(r.rfind(':') == std::string::npos ? 0 : r.rfind(':') + 1);
        auto it = instances.find(r);
        if (it == instances.end())
            it = instances.find(bare);
        if (it == instances.end()) {
            if (records_seen.count(r))
                failures.push_back({records_seen[r].first, records_seen[r].second,
                                    "record '" + r + "' has function-pointer members but no instance "
                                    "(extern " + bare + " name; or " + bare + "& name();)"});
            continue;
        }
        std::vector<Instance> list = it->second;
        std::sort(list.begin(), list.end(), [](const Instance& a, const Instance& b) { return a.rank < b.rank; });
        if (list.size() > 1 && list[0].rank == list[1].rank && list[0].rank == 0) {
            failures.push_back({list[1].header, 0, "record '" + r + "' has more than one instance: " +
                                                       list[0].expr + ", " + list[1].expr});
            continue;
        }
        way_in[r] = list[0];
    }

    if (!failures.empty()) {
        for (const Failure& f : failures)
            std::fprintf(stderr, "%s/%s:%d: error: seam scan: %s\n", root.string().c_str(), f.header.c_str(),
                         f.line, f.what.c_str());
        return 1;
    }

    if (stubs_mode) {
        // Every free seam by its last name; a name two seams share is left
        // out rather than guessed.
        std::map<std::string, const Seam*> by_bare;
        std::set<std::string> shared;
        for (const Seam& s : seams) {
            if (!s.record.empty())
                continue;
            const std::size_t colon = s.name.rfind(':');
            const std::string bare = colon == std::string::npos ? s.name : s.name.substr(colon + 1);
            if (!by_bare.emplace(bare, &s).second)
                shared.insert(bare);
        }
        for (const std::string& b : shared)
            by_bare.erase(b);
        std::vector<fs::path> sources;
        for (const auto& entry : fs::recursive_directory_iterator(root))
            if (entry.is_regular_file() && entry.path().extension() == ".cpp")
                sources.push_back(entry.path());
        std::sort(sources.begin(), sources.end());
        std::vector<StubDefault> stubs;
        for (const fs::path& src : sources) {
            std::ifstream in(src, std::ios::binary);
            std::stringstream buf;
            buf << in.rdbuf();
            find_stub_defaults(fs::relative(src, root).generic_string(), strip(buf.str()), by_bare, stubs);
        }
        std::set<std::string> stub_includes;
        for (const StubDefault& s : stubs)
            stub_includes.insert(s.header);
        std::ostringstream out;
        out << "// Written by seam_scan from the sources under src/; do not edit.\n"
            << "// The free seams whose default does nothing, each with its value\n"
            << "// when the program was loaded (that default).\n";
        for (const std::string& h : stub_includes)
            out << "#include \"" << h << "\"\n";
        // The values are copied as the program is loaded, before anything
        // runs that could set a seam.
        out << "\n";
        for (std::size_t i = 0; i < stubs.size(); ++i)
            out << "const auto kSeamStubLoaded" << i << " = ::" << stubs[i].name << ";\n";
        out << "\nconst SeamStub kSeamStubs[] = {\n";
        for (std::size_t i = 0; i < stubs.size(); ++i)
            out << "    { \"" << stubs[i].name << "\", \"" << stubs[i].source << "\", \"" << stubs[i].stub
                << "\", [] { return ::" << stubs[i].name << " == kSeamStubLoaded" << i << "; } },\n";
        out << "    { nullptr, nullptr, nullptr, nullptr },\n};\n";
        return write_if_changed(argv[2], out.str()) ? 0 : 1;
    }

    std::set<std::string> includes;
    std::ostringstream table;
    std::set<std::string> names;
    // The snapshot: one copy per record reached through a variable or a
    // reference accessor (a record returned by value cannot be written back)
    // and one per free seam, in the order of the table.
    std::map<std::string, std::string> copy_of;   // expression -> member name
    std::ostringstream members, restores, compares;
    auto copy_for = [&](const std::string& expr) {
        auto [it, fresh] = copy_of.emplace(expr, "s" + std::to_string(copy_of.size()));
        if (fresh) {
            members << "    std::remove_cvref_t<decltype(" << expr << ")> " << it->second << " = " << expr << ";\n";
            restores << "        " << expr << " = " << it->second << ";\n";
        }
        return it->second;
    };
    for (const Seam& s : seams) {
        std::string name, expr;
        if (s.record.empty()) {
            name = s.name;
            expr = "::" + s.name;
        } else {
            auto it = way_in.find(s.record);
            if (it == way_in.end())
                continue;   // an alias-typed member of a plain data record
            name = s.record + "::" + s.name;
            expr = it->second.expr + "." + s.name;
            includes.insert(it->second.header);
        }
        if (!names.insert(name).second)
            continue;
        includes.insert(s.header);
        table << "    { \"" << name << "\", \"" << s.header << "\", [] { return " << expr
              << " != nullptr; } },\n";
        if (s.record.empty()) {
            compares << "        if (" << copy_for(expr) << " != " << expr << ") out.push_back(\"" << name << "\");\n";
        } else if (way_in[s.record].rank < 2) {
            const std::string whole = way_in[s.record].expr;
            compares << "        if (" << copy_for(whole) << "." << s.name << " != " << expr << ") out.push_back(\""
                     << name << "\");\n";
        }
    }

    std::ostringstream out;
    out << "// Written by seam_scan from the headers under src/; do not edit.\n";
    for (const std::string& h : includes)
        out << "#include \"" << h << "\"\n";
    out << "\nconst SeamEntry kSeamTable[] = {\n" << table.str() << "};\n";

    std::string text = out.str();
    fs::create_directories(fs::path(argv[2]).parent_path());
    std::ofstream file(argv[2], std::ios::binary | std::ios::trunc);
    file << text;
    if (!file)
        return 1;
    if (argc == 3)
        return 0;

    std::ostringstream snap;
    snap << "// Written by seam_scan from the headers under src/; do not edit.\n"
         << "#include <string>\n#include <type_traits>\n#include <vector>\n\n";
    for (const std::string& h : includes)
        snap << "#include \"" << h << "\"\n";
    snap << "\n// Every hook record and free seam, copied when made.\n"
         << "struct HookSnapshot {\n" << members.str()
         << "\n    // Writes every copy back.\n    void restore() const\n    {\n" << restores.str() << "    }\n"
         << "\n    // The seams whose value is no longer the copied one.\n"
         << "    std::vector<std::string> changed() const\n    {\n        std::vector<std::string> out;\n"
         << compares.str() << "        return out;\n    }\n};\n";
    fs::create_directories(fs::path(argv[3]).parent_path());
    std::ofstream snap_file(argv[3], std::ios::binary | std::ios::trunc);
    snap_file << snap.str();
    return snap_file ? 0 : 1;
}
