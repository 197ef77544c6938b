// The script editor's files: which loaded store files each of its five
// views shows (aliases, popups, scripts, users, variables), the text a file
// gives the edit control and the lines an edited text gives back, and the
// rebuilds that make an edit take effect at once.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

struct StringNode;

enum EditorView : int {
    kEditorAliases = 0,
    kEditorPopups = 1,
    kEditorScripts = 2,
    kEditorUsers = 3,
    kEditorVariables = 4,
};
constexpr int kEditorViews = 5;

// The most characters the edit control holds.
constexpr std::size_t kEditorTextLimit = 512000;
// The longest line; longer ones are split.
constexpr std::size_t kEditorLineMax = 4150;

// One file of a view: the store's record (AliasFile, PopupFile, ScriptFile
// or VarFile), looked up again before every use. A popup view entry names
// its kind and may have no file.
struct EditorFile {
    int view = kEditorAliases;
    void* record = nullptr;
    int popup_kind = 0;

    bool operator==(const EditorFile& o) const
    {
        return view == o.view && record == o.record && popup_kind == o.popup_kind;
    }
};

// The files a view lists (popups: the five kinds, in kind order).
std::vector<EditorFile> editor_view_files(int view);
// The file a view shows: its current file (the first one when none is
// flagged); a record-less entry when the view has no file.
EditorFile editor_view_current(int view);
// Makes the file the one its view shows.
void editor_set_current(const EditorFile& file);
// 1 while the file's record is still loaded.
int editor_file_is_live(const EditorFile& file);
// The file's path; empty without a file.
std::string editor_file_path(const EditorFile& file);
// The file's lines (null without a file).
StringNode* editor_file_lines(const EditorFile& file);

// The text of a file's lines for the edit control: each line cut at 4,150
// characters, CR, LF and form feeds removed, lines joined by "\n"; loading
// stops before the text would pass `limit`.
struct EditorText {
    std::string text;
    int lines_loaded = 0;
    int lines_total = 0;
    bool partial() const { return lines_loaded < lines_total; }
};
EditorText editor_text_of_lines(const StringNode* lines, std::size_t limit = kEditorTextLimit);
// The lines of an edited text: split at CR LF, CR or LF; lines longer than
// 4,150 characters split; in the popup view lines made only of spaces
// become empty; empty lines at the end dropped.
std::vector<std::string> editor_lines_of_text(std::string_view text, bool popup_view);

// Replaces the file's lines, flags it changed and rebuilds what depends on
// it (indexes, classification, user colours). 0 when the file is gone.
int editor_store_lines(const EditorFile& file, const std::vector<std::string>& lines);
// Writes one file to disk; 1 on success.
int editor_save_file(const EditorFile& file);
// Writes every changed file of every view and the file lists.
void editor_save_all();
// Reads again, from disk, every file whose disk copy changed (after a
// Cancel), and rebuilds the indexes.
void editor_reload_changed();
// The file's name and extension, or the popup kind's name.
std::string editor_file_title(const EditorFile& file);
