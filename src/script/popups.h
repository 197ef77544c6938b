// Popup definitions: the popup files of the fixed popups (status, channel,
// query, nick list, menu bar) and of custom windows, the grammar of their
// lines and of the "menu" sections of script files, and the builder that
// turns definition lines into a menu with item ids. The menu is a plain
// tree (PopupMenu); the frame turns it into the widgets it shows.
//
// Each line a build processes carries the words below, valid until the
// next build: StringNode::serial holds the item id of the line (0 when it
// is no item) and StringNode::wrapMode its in-use flag.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class QWidget;
struct Connection;
struct ScriptFile;
struct StringNode;

// ---- Menu model ----

// Item flags.
constexpr unsigned kMenuGrayed = 1;
constexpr unsigned kMenuDisabled = 2;
constexpr unsigned kMenuChecked = 8;
constexpr unsigned kMenuPopup = 16;

// First item id of a build; the placeholder of the menu-bar menu.
constexpr int kPopupFirstId = 7000;
constexpr int kPopupPlaceholderId = 6999;

struct PopupMenu;

struct PopupItem {
    enum Type { kItem, kSeparator, kSubmenu };
    Type type = kItem;
    std::string caption;
    int id = 0;
    unsigned flags = 0;
    unsigned data = 0;   // build serial << 16 | $style number
    std::unique_ptr<PopupMenu> sub;
};

struct PopupMenu {
    std::vector<PopupItem> items;
    bool empty() const { return items.empty(); }
    bool ends_in_separator() const
    {
        return !items.empty() && items.back().type == PopupItem::kSeparator;
    }
};

// ---- Popup files ----

// Kinds of popup file.
enum PopupFileKind : int {
    kPopupFileStatus = 0,
    kPopupFileChannel = 1,
    kPopupFileQuery = 2,
    kPopupFileNicklist = 3,
    kPopupFileMenubar = 4,
    kPopupFileCustom = 5,
};

struct PopupFile {
    std::string path;          // absolute, at most 1,024 characters
    std::string section;       // "[mpopup]" ... "[upopup]"; empty: the whole file
    int kind = 0;
    int current = 0;           // the file the editor shows first
    int modified = 0;
    int reload_pending = 0;
    std::int64_t file_time = 0;
    int editor_top = 0;
    int editor_caret = 0;
    int id = 0;
    StringNode* lines = nullptr;
    PopupFile* next = nullptr;
};

// The loaded popup files, in load order (at most one per kind).
extern PopupFile* popup_files_head;

// The section header of a kind ("[mpopup]" ...), empty for another kind.
const char* popup_kind_section(int kind);
// Frees every popup file and loads kinds 0..4 from section "pfiles" of the
// main settings file ("popups.ini" for an empty key). Returns 1.
int popup_files_load_all();

// Loads the popup files with the main settings.
void popup_files_install();
// Loads a file for a kind, replacing the loaded file of that kind (its
// current flag and editor words carry over); a missing file gives an empty
// record. Null for an empty path.
PopupFile* popup_file_load(const std::string& path, int kind);
void popup_file_unload_kind(int kind);
void popup_files_free();
int popup_file_is_loaded(const PopupFile* file);
PopupFile* popup_file_current();
PopupFile* popup_file_of_kind(int kind);
// The lines of the loaded file of that kind, or null.
StringNode* popup_lines_of_kind(int kind);
// Re-indents the lines and tags their comment states.
void popup_file_rescan(PopupFile* file);
void popup_files_reload_pending();
// Saves the file of the kind, under new_path when that is given. 1 on success.
int popup_file_save(const std::string* new_path, int kind);
// Writes section "pfiles": mode 0 the list only, 1 also saves modified
// files, 2 as 1 without the option lines. 1 on success.
int popup_files_save_list(int mode);

// ---- Line grammar ----

// Where a line's caption ends: the index of the first ":" or of a "{" that
// stands after a blank or a ":" and before a blank or the end; npos when
// there is neither.
std::size_t popup_find_separator(std::string_view text);
// Cuts the caption (trailing blanks removed) out of the text (an item text,
// dots and leading blanks already removed) and returns the commands: the
// text after the ":" and its blanks, or the block from its "{". Empty when
// the line has no commands.
std::string popup_split_line(std::string_view text, std::string* caption);
// Takes a leading "$style(N)" and the blanks after it off the caption and
// adds its flags (bit 1 checked, bit 2 greyed) to *flags. Returns N (0 when
// there is no style).
int popup_style(std::string& caption, unsigned* flags);

// ---- Building ----

// The build context of the popup being built (one at a time).
struct PopupBuildContext {
    std::string name;            // "status", "channel", "query", "nicklist", "menubar", a custom name
    std::string target;          // the target text the frame gives (a nick, a channel)
    std::string selection;       // the $1- of the captions (4,150)
    QWidget* window = nullptr;
    Connection* conn = nullptr;
    ScriptFile* script = nullptr;  // script whose lines are being built
    int count = 0;               // running line count
    int serial = 0;              // build serial 1..9999
    int menubar_mode = 0;
    int building = 0;            // a build is under way ($submenu fills the dynamic list)
    std::vector<std::string> dynamic;   // item lines the $submenu identifier adds
    std::vector<std::pair<std::string, int>> last_dynamic;  // dynamic items of the last build and their ids
};
extern PopupBuildContext popup_build_ctx;

// The selection text of a window for the captions when the frame gave no
// target: a query's nick, or the selected entries of its list box, which
// only the window's widgets know (null: none).
extern std::string (*popup_window_selection)(QWidget* window);

// Builds a menu for the popup name: the lines of the popup file of
// file_kind (-1: none; for kind 5 the lines given) first, then the "menu"
// sections of the loaded scripts that name the popup (the given script's
// first), separated from the file's items, then the submenus of equal
// caption merged. lines may be null.
PopupMenu popup_build_menu(StringNode* lines, const std::string& name, QWidget* window,
                           Connection* conn, ScriptFile* first_script);
// The menu bar's script menu: the menu-bar popup file's lines (after its
// title line) and the "menu" sections that name "menubar", every line
// given an id, then the submenus of equal caption merged. No selection
// text; *title gets the file's title line (empty when it has none).
PopupMenu popup_build_menubar(QWidget* window, Connection* conn, std::string* title);
// Whether the menu bar has a source of items: a line in the menu-bar popup
// file or a script "menu" section that names "menubar". *title as above.
int popup_menubar_sources(std::string* title);
// Builds one top level from a list of definition lines into menu (append).
void popup_build_lines(PopupMenu& menu, StringNode* lines, ScriptFile* script);
// Appends the items of every script "menu" section that names the popup
// (mode 0), or returns 1 as soon as one matches (mode 2).
int popup_build_sections(PopupMenu& menu, const std::string& name, int mode,
                         ScriptFile* first_script);
// Clears the in-use flags and ids of all popup and script lines.
void popup_lines_unmark();
// Merges later submenus of equal caption from another source into the
// first one and drops stray separators.
void menu_merge_submenus(PopupMenu& menu);
// The item with the id anywhere in the menu, or null.
const PopupItem* menu_find_id(const PopupMenu& menu, int id);

// The command of a clicked id: the dynamic items of the last build, else
// the popup file's lines (file_lines), else the "menu" lines of the loaded
// scripts. Fills *line with the definition line (null for a dynamic item),
// *text with the commands (or the "{" that opens a block) and *script with
// the owning script. 1 when found with commands, 0 otherwise.
int popup_command_of_id(int id, StringNode* file_lines, StringNode** line, std::string* text,
                        ScriptFile** script);

// A copy of an item line whose commands open a "{" block, followed by the
// lines of that block through its closing "}" and nothing after it, so
// that a run of the block ends there. Freed with strlist_free.
StringNode* popup_block_copy(const StringNode* line, std::string_view commands);

// Mouse handlers of custom windows in "menu" sections and custom popup
// files: the command lines of event n (1 dclick, 3 sclick, 4 mouse, 5 drop,
// 6 uclick, 7 lbclick, 8 leave, 9 rclick).
int popup_event_number(std::string_view keyword);
// The c-th (from 1) source of a custom window's mouse handlers: with file
// lines, the handlers at the head of those lines (c == 1 only); else the
// c-th "menu" section of the loaded scripts that names the popup (the
// first script's sections first). 0 when there is no c-th source; else 1,
// with *line, *commands (the text after the ":", or the "{" block) and
// *script set when the source handles event n (commands empty when not).
int popup_find_event(StringNode* file_lines, const std::string& name, int n, int c,
                     ScriptFile* first_script, StringNode** line, std::string* commands,
                     ScriptFile** script);

// The $submenu identifier's step: adds one item line to the build.
void popup_dynamic_add(std::string line);
