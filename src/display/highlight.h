// Highlight entries: words (plain, wildcard, regular expression, or a
// script expression such as $me) that the user wants to notice in incoming
// text, with the colour, flash, sound and tip a matching line gets. Kept in
// section [highlight] of the main settings file, one entry per key "nN".
#pragma once

#include <string>
#include <string_view>
#include <vector>

struct WindowRecord;
struct HighlightMatch;

// Kinds of a word.
constexpr int kHighlightPlain = 0;
constexpr int kHighlightWildcard = 1;   // holds * or ?
constexpr int kHighlightEvaluated = 2;  // begins with $ or %

struct HighlightWord {
    std::string text;
    int kind = kHighlightPlain;
};

struct HighlightEntry {
    std::vector<HighlightWord> words;
    int color = 0;           // 0 none, 1..16 palette index + 1
    int flash = 0;
    int flash_count = 0;     // 0..999, 0 until stopped
    int part = 0;            // 0 the message, 1 nick and message, 2 the nick
    int sound = 0;           // 0 none, 1 beep, 2 the sound file
    int case_sensitive = 0;
    int regex = 0;
    int tip = 0;
    int tip_seconds = 3;     // 3..60
    std::string sound_file;  // absolute
    std::string message;
};

extern std::vector<HighlightEntry> highlight_entries;

// Field n (from 1) of a [highlight] value: quoted fields may hold commas.
std::string highlight_field(std::string_view value, int n);
// Fills the entry from a [highlight] value; false when it has no words.
bool highlight_parse(std::string_view value, HighlightEntry& out);
// The [highlight] value of the entry; list form puts the words and a tab first.
std::string highlight_entry_text(const HighlightEntry& entry, int list_form);

void highlight_load();

// Loads the highlight list with the main settings.
void highlight_install();
void highlight_save();
void highlight_clear();

// The first entry one of whose words matches the line (codes removed), or
// null. Unless the whole line is asked for, the text is first cut to the
// entry's part: a message line names its nick; with test mode 2 the nick
// is the line's first word.
const HighlightEntry* highlight_match(WindowRecord* rec, std::string_view line, int whole_line,
                                      int test_mode, int message, const std::string& nick);
// The word as matched by the last successful highlight_match.
const std::string& highlight_matched_word();

// The printing code's question (print_hooks.highlight_match).
int highlight_print_match(WindowRecord* rec, const std::string& text, int mode,
                          const std::string& sender_nick, HighlightMatch* out);

// Registers $highlight(N or text) with its properties.
void highlight_register();
