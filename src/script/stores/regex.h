// Regular expressions of scripts: the expression syntax ("/pattern/flags" or
// "m<d>pattern<d>flags"), the fifty named match slots that $regml reads, and
// the match and substitution loops behind $regex, $regsub and $regsubex.
// Event matching, highlights, $read, /filter and the other matchers call
// regex_match directly.
//
// Patterns are compiled by PCRE2 (8-bit, byte mode) at each call and
// released at its end. Every execution runs under a match limit and a depth
// limit, so that a pattern that backtracks without end gives up with a
// negative result instead of hanging the program.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

class QWidget;
struct Connection;
struct ScriptFile;
struct StringNode;
struct EventContext;

// Option bits of the flag letters (the values scripts and stored settings
// have always used for them).
enum RegexOption : unsigned {
    kRegexCaseless = 0x1,       // i
    kRegexMultiline = 0x2,      // m
    kRegexDotAll = 0x4,         // s
    kRegexExtended = 0x8,       // x
    kRegexAnchored = 0x10,      // A
    kRegexDollarEndOnly = 0x20, // E
    kRegexExtra = 0x40,         // X: an unknown escape letter is an error
    kRegexUngreedy = 0x200,     // U
};

constexpr int kRegexSlotCount = 50;
// Offset pairs kept per match: the whole match and 32 groups.
constexpr int kRegexMaxPairs = 33;
// Limits of one execution of a pattern.
constexpr std::uint32_t kRegexMatchLimit = 1000000;
constexpr std::uint32_t kRegexDepthLimit = 100000;

// Result codes of regex_match besides the match count.
constexpr int kRegexAborted = -2;       // overflow (see regex_overflow) or halted
constexpr int kRegexErrMatchLimit = -8; // the pattern backtracked past the match limit
constexpr int kRegexErrNoMemory = -6;
constexpr int kRegexErrInternal = -14;
constexpr int kRegexErrDepthLimit = -21;
constexpr int kRegexErrJitStack = -27;

// The slots. Each is null (empty) or a list whose first node holds the
// slot's name (number 1 when a substitution made it, 0 otherwise); the
// further nodes are the groups captured by every match in order: text the
// group's text, number its 0-based start in the subject.
extern StringNode* regex_slots[kRegexSlotCount];

// Set by regex_match when a result would pass 4,150 characters.
extern int regex_overflow;

// Parses flag letters. global, options and strip (each may be null) receive
// the g flag, the option bits and the S flag. Returns 1 when the text ends
// after valid letters, 2 when the scan stops at ":" or "{", 0 at any other
// character.
int regex_parse_flags(std::string_view text, int* global, unsigned* options, int* strip);

// For a "/"- or "m"-delimited expression with a non-empty pattern and valid
// flags, the index where the flags begin (after the closing delimiter);
// otherwise -1. Used to tell a regular expression from a wildcard text.
std::ptrdiff_t regex_check_syntax(std::string_view text);
// The same as a yes/no answer.
bool regex_is_delimited(std::string_view text);

// Splits an expression into its pattern and flag text: "/p/f", "m<d>p<d>f"
// (the pattern ends at the last delimiter), or the whole text as a pattern
// without flags. An "m" or "/" form whose delimiter does not occur again
// is the rest without flags.
void regex_split(std::string_view expression, std::string_view* pattern, std::string_view* flags);

// The slot of the name (empty: "default"; case-insensitive): 0..49, or -1.
int regex_slot_find(std::string_view name);
// Empties every slot.
void regex_slots_free(int free_flag);
// Number of groups stored in the slot of the name (0 when there is none).
int regex_slot_count(std::string_view name);
// Group n (1-based, counted across all matches) of the slot, or null.
const StringNode* regex_slot_group(std::string_view name, int n);

// Expands a $regsub replacement for one match into output (appending):
// "\N" (N >= 1) inserts group N of this match (empty when the group took no
// part), "\0" the whole subject, "\" before any other character that
// character; other characters are copied. ovector holds pairs pairs of
// offsets into subject. Returns 0 when the output would pass 4,150
// characters, else 1.
int regex_expand_replacement(std::string_view subject, std::string& output,
                             std::string_view replacement, const std::size_t* ovector, int pairs);

// What a $regsubex replacement runs with.
struct RegexRunContext {
    QWidget* window = nullptr;
    Connection* conn = nullptr;
    StringNode** locals = nullptr;
    ScriptFile* script = nullptr;
    EventContext* halt = nullptr;
    int depth = 0;
    int mode = 1;   // executor mode (2 inside an event)
    int scope = 0;
};

// Evaluate modes of regex_match.
constexpr int kRegexReplacePlain = 0;  // $regsub: "\N" codes expanded
constexpr int kRegexReplaceEval = 1;   // $regsubex: run per match
constexpr int kRegexReplaceQuiet = 2;  // $regsubex in a quiet run

// Matches the subject against the expression, filling the slot of the name
// (empty: "default"). Without a replacement returns the number of matches;
// with one, the number of replacements made, and the subject receives the
// new text when at least one was made. A pattern that does not compile (or
// a flag text with an unknown letter) gives 0; a failed execution its
// negative code (kRegexErr...); an overflow or a halted or failed
// $regsubex run gives kRegexAborted with the subject emptied. ctx is used
// only by the evaluate modes.
int regex_match(std::string& subject, std::string_view expression,
                const std::string* replacement = nullptr, std::string_view slot_name = {},
                int eval_mode = kRegexReplacePlain, const RegexRunContext* ctx = nullptr);

// Matches a text without changing it: the result of regex_match.
int regex_match_text(std::string_view subject, std::string_view expression,
                     std::string_view slot_name = {});
