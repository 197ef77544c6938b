#include "script/popups.h"

#include <sys/stat.h>

#include <cctype>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/files.h"
#include "model/window_record.h"
#include "core/ini.h"
#include "core/main_settings.h"
#include "core/options.h"
#include "core/string_list.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "core/wildcard.h"
#include "platform/platform_utils.h"
#include "script/events/remote_files.h"
#include "script/exec/script_errors.h"
#include "script/exec/script_text.h"
#include "script/exec/script_types.h"
#include "script/stores/alias_files.h"

PopupFile* popup_files_head = nullptr;

// Submenus deeper than this are not opened: their lines stay at that level.
constexpr int kPopupMaxDepth = 32;
PopupBuildContext popup_build_ctx;

namespace {

std::int64_t disk_time(const std::string& path)
{
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0)
        return 0;
    return static_cast<std::int64_t>(st.st_mtime);
}

std::string_view skip_blanks(std::string_view t)
{
    std::size_t i = 0;
    while (i < t.size() && (t[i] == ' ' || t[i] == '\t'))
        ++i;
    return t.substr(i);
}

bool starts_nocase(std::string_view t, std::string_view p)
{
    return t.size() >= p.size() && text_equal_nocase(t.substr(0, p.size()), p);
}

void free_file(PopupFile* f)
{
    strlist_free(&f->lines);
    delete f;
}

void unlink_file(PopupFile* f)
{
    PopupFile** pp = &popup_files_head;
    while (*pp && *pp != f)
        pp = &(*pp)->next;
    if (*pp)
        *pp = f->next;
    f->next = nullptr;
}

StringNode* read_lines(const PopupFile* f)
{
    return ini_load_list_file(f->path, f->section.empty() ? nullptr : f->section.c_str(), 1, 0);
}

int write_lines(PopupFile* f)
{
    if (opt(OPT_SCRIPT_BACKUP) && file_exists(f->path, 1))
        file_backup(f->path);
    int ok = ini_save_list_file(f->path, f->section.empty() ? nullptr : f->section.c_str(), f->lines);
    f->file_time = disk_time(f->path);
    for (PopupFile* o = popup_files_head; o; o = o->next)
        if (o != f && text_equal_nocase(o->path, f->path))
            o->file_time = f->file_time;
    if (ok) {
        f->modified = 0;
        f->reload_pending = 0;
    }
    return ok;
}

bool is_comment(const StringNode* n)
{
    return n->extra[kLineComment] != 0;
}

// Leading "." characters of a line (after its blanks).
int dots_of(std::string_view text)
{
    text = skip_blanks(text);
    int d = 0;
    while (static_cast<std::size_t>(d) < text.size() && text[static_cast<std::size_t>(d)] == '.')
        ++d;
    return d;
}

// The item text: the line without its leading blanks and dots, then blanks.
std::string_view item_text(std::string_view text)
{
    text = skip_blanks(text);
    std::size_t i = 0;
    while (i < text.size() && text[i] == '.')
        ++i;
    return skip_blanks(text.substr(i));
}

// A range of definition lines: [line, end).
struct Cursor {
    StringNode* line = nullptr;
    StringNode* end = nullptr;
};

void next_line(Cursor& c)
{
    c.line = c.line->next;
    ++popup_build_ctx.count;
}

// The next code line after n inside the range, or null.
StringNode* next_code_line(StringNode* n, StringNode* end)
{
    for (StringNode* m = n->next; m && m != end; m = m->next)
        if (!is_comment(m))
            return m;
    return nullptr;
}

// Evaluates a caption as script text with the popup's selection as $1-.
std::string eval_caption(std::string_view caption)
{
    std::string text(caption.substr(0, kLongText));
    if (text.find('$') == std::string::npos && text.find('%') == std::string::npos)
        return text;
    PopupBuildContext& ctx = popup_build_ctx;
    if (!ident_eval_text(ctx.window, &text, ctx.selection.c_str(), nullptr, 0, 0, -1, ctx.script,
                         ctx.conn))
        return std::string();
    return text;
}

void add_separator(PopupMenu& menu)
{
    if (menu.empty() || menu.ends_in_separator())
        return;
    PopupItem sep;
    sep.type = PopupItem::kSeparator;
    menu.items.push_back(std::move(sep));
}

unsigned item_data(int style)
{
    return (static_cast<unsigned>(popup_build_ctx.serial) << 16) |
           (static_cast<unsigned>(style) & 0xffffu);
}

void add_command_item(PopupMenu& menu, std::string caption, int id)
{
    unsigned flags = 0;
    int style = popup_style(caption, &flags);
    PopupItem item;
    item.caption = std::move(caption);
    item.id = id;
    item.flags = flags;
    item.data = item_data(style);
    menu.items.push_back(std::move(item));
}

// A submenu item, greyed while it holds nothing.
void add_submenu(PopupMenu& menu, std::string caption, std::unique_ptr<PopupMenu> sub)
{
    unsigned flags = kMenuPopup;
    if (sub->empty())
        flags |= kMenuGrayed;
    int style = popup_style(caption, &flags);
    PopupItem item;
    item.type = PopupItem::kSubmenu;
    item.caption = std::move(caption);
    item.flags = flags;
    item.data = item_data(style);
    item.sub = std::move(sub);
    menu.items.push_back(std::move(item));
}

void add_empty_submenu(PopupMenu& menu, std::string caption)
{
    add_submenu(menu, std::move(caption), std::make_unique<PopupMenu>());
}

// One dynamic item line, its caption already evaluated.
void add_dynamic_line(PopupMenu& menu, const std::string& line)
{
    std::string_view body = item_text(line);
    if (body == "-") {
        add_separator(menu);
        return;
    }
    std::string caption;
    std::string commands = popup_split_line(body, &caption);
    if (caption.empty() || commands.empty())
        return;
    int id = kPopupFirstId + popup_build_ctx.count;
    ++popup_build_ctx.count;
    popup_build_ctx.last_dynamic.emplace_back(line, id);
    add_command_item(menu, std::move(caption), id);
}

// Skips the lines of a block that opened on the current line (its depth
// after the line is `depth`), leaving the cursor on the line after it.
void skip_block(Cursor& c, int depth)
{
    next_line(c);
    while (depth > 0 && c.line && c.line != c.end) {
        if (!is_comment(c.line)) {
            depth = script_brace_depth(skip_blanks(c.line->text), depth, 0);
        }
        next_line(c);
    }
}

void build_level(PopupMenu& menu, Cursor& c, int depth);

void build_submenu_header(PopupMenu& menu, Cursor& c, int depth, std::string_view caption_text)
{
    auto sub = std::make_unique<PopupMenu>();
    next_line(c);  // the header counts one before its lines
    build_level(*sub, c, depth + 1);
    std::string caption = eval_caption(caption_text);
    if (caption.empty())
        return;
    add_submenu(menu, std::move(caption), std::move(sub));
}

void build_level(PopupMenu& menu, Cursor& c, int depth)
{
    PopupBuildContext& ctx = popup_build_ctx;
    while (c.line && c.line != c.end) {
        StringNode* n = c.line;
        n->serial = ctx.menubar_mode ? kPopupFirstId + ctx.count : 0;
        if (is_comment(n) || skip_blanks(n->text).empty()) {
            next_line(c);
            continue;
        }
        const int dots = dots_of(n->text);
        if (depth > 0 && dots < depth)
            return;  // this level ends
        n->wrapMode = 1;
        std::string_view body = item_text(n->text);

        if (starts_nocase(body, "$submenu(")) {
            ctx.dynamic.clear();
            std::string text(body.substr(0, kLongText));
            ctx.building = 1;
            eval_caption(text);
            ctx.building = 0;
            std::vector<std::string> lines;
            lines.swap(ctx.dynamic);
            next_line(c);
            for (const std::string& l : lines)
                add_dynamic_line(menu, l);
            continue;
        }
        if (body == "-") {
            add_separator(menu);
            next_line(c);
            continue;
        }
        std::string caption;
        std::string commands = popup_split_line(body, &caption);
        if (!commands.empty()) {
            int block = 0;
            if (commands[0] == '{')
                block = script_brace_depth(commands, 0, 0);
            std::string shown = eval_caption(caption);
            const int id = kPopupFirstId + ctx.count;
            if (!shown.empty()) {
                n->serial = id;
                add_command_item(menu, std::move(shown), id);
            }
            if (block > 0)
                skip_block(c, block);
            else
                next_line(c);
            continue;
        }
        // No commands: a submenu header when the next line is deeper.
        StringNode* next = next_code_line(n, c.end);
        if (next && dots_of(next->text) > depth && depth < kPopupMaxDepth) {
            build_submenu_header(menu, c, depth, caption);
            continue;
        }
        if (!caption.empty() && caption.find(':') == std::string::npos) {
            std::string shown = eval_caption(caption);
            if (shown == "-")
                add_separator(menu);
            else if (!shown.empty())
                add_empty_submenu(menu, std::move(shown));
        }
        next_line(c);
    }
}

// Keywords of the mouse handlers at the head of a "menu" section or a
// custom popup file.
struct EventWord {
    const char* word;
    int number;
};
constexpr EventWord kEventWords[] = {
    {"dclick", 1}, {"sclick", 3}, {"mouse", 4}, {"drop", 5},
    {"uclick", 6}, {"lbclick", 7}, {"leave", 8}, {"rclick", 9},
};

// Walks the mouse handlers that stand at the head of the range. With
// event n, stops at the handler of that event (its commands in *commands);
// else returns the first menu line after the handlers.
StringNode* walk_handlers(StringNode* first, StringNode* end, int n = 0, std::string* commands = nullptr)
{
    StringNode* p = first;
    while (p && p != end) {
        if (is_comment(p) || skip_blanks(p->text).empty()) {
            p = p->next;
            continue;
        }
        std::string_view body = skip_blanks(p->text);
        std::string caption;
        std::string cmds = popup_split_line(body, &caption);
        const int number = cmds.empty() ? 0 : popup_event_number(caption);
        if (number == 0)
            return n ? nullptr : p;
        if (n && number == n) {
            *commands = std::move(cmds);
            return p;
        }
        int depth = cmds[0] == '{' ? script_brace_depth(cmds, 0, 0) : 0;
        p = p->next;
        while (depth > 0 && p && p != end) {
            if (!is_comment(p))
                depth = script_brace_depth(skip_blanks(p->text), depth, 0);
            p = p->next;
        }
    }
    return n ? nullptr : p;
}

// Whether the names of a "menu" line ("menu a,b,c {") name the popup.
bool section_names(std::string_view line, const std::string& name)
{
    line = skip_blanks(line);
    if (!starts_nocase(line, "menu "))
        return false;
    std::string_view rest = skip_blanks(line.substr(5));
    std::size_t end = rest.find(' ');
    std::string_view names = rest.substr(0, end);
    std::string_view tail = end == std::string_view::npos ? std::string_view() : rest.substr(end);
    // The line ends with "{".
    std::size_t last = tail.find_last_not_of(' ');
    if (last == std::string_view::npos || tail[last] != '{') {
        if (!(names.size() > 1 && names.back() == '{' && tail.empty()))
            return false;
        names.remove_suffix(1);
    }
    while (!names.empty()) {
        std::size_t comma = names.find(',');
        std::string_view one = names.substr(0, comma);
        if (!one.empty() && (text_equal_nocase(one, name) || wild_match(one, name, 0, 1)))
            return true;
        if (comma == std::string_view::npos)
            break;
        names.remove_prefix(comma + 1);
    }
    return false;
}

// The line that closes a section whose "menu" line is `head`, or null.
StringNode* section_end(StringNode* head)
{
    int depth = script_brace_depth(skip_blanks(head->text), 0, 0);
    for (StringNode* n = head->next; n; n = n->next) {
        if (is_comment(n))
            continue;
        depth = script_brace_depth(skip_blanks(n->text), depth, 0);
        if (depth <= 0)
            return n;
    }
    return nullptr;
}

bool is_menu_line(const StringNode* n)
{
    return n->extra[kLineClass] == kLineMenu ||
           (!is_comment(n) && starts_nocase(skip_blanks(n->text), "menu "));
}

// The script files in the order a build walks them: the given one first.
std::vector<ScriptFile*> scripts_in_order(ScriptFile* first)
{
    std::vector<ScriptFile*> out;
    if (first && remote_file_is_loaded(first) && first->kind == kRemoteScript)
        out.push_back(first);
    for (ScriptFile* f = remote_list; f; f = f->next)
        if (f->kind == kRemoteScript && f != first)
            out.push_back(f);
    return out;
}

// Walks the top-level lines of a script, calling fn on every "menu" line
// (fn returns false to stop).
template <class Fn>
void each_menu_line(ScriptFile* f, Fn fn)
{
    int depth = 0;
    for (StringNode* n = f->lines; n; n = n->next) {
        if (is_comment(n))
            continue;
        std::string_view body = skip_blanks(n->text);
        if (depth == 0 && is_menu_line(n)) {
            if (!fn(n))
                return;
        }
        depth = script_brace_depth(body, depth, 0);
        if (depth < 0)
            depth = 0;
    }
}

// Whether the submenu item `a` and `b` share a caption (case ignored).
bool same_caption(const PopupItem& a, const PopupItem& b)
{
    return text_equal_nocase(a.caption, b.caption);
}

void drop_trailing_separators(PopupMenu& menu)
{
    while (menu.ends_in_separator())
        menu.items.pop_back();
}

// Appends every item of src to target, after a separator unless the target
// ends in one.
void menu_append_menu(PopupMenu& target, PopupMenu& src)
{
    if (!target.empty() && !target.ends_in_separator() && !src.empty())
        add_separator(target);
    for (PopupItem& it : src.items)
        target.items.push_back(std::move(it));
    src.items.clear();
}

void next_serial()
{
    popup_build_ctx.serial = popup_build_ctx.serial >= 9999 ? 1 : popup_build_ctx.serial + 1;
}

void clear_line_marks(StringNode* lines)
{
    for (StringNode* n = lines; n; n = n->next) {
        n->serial = 0;
        n->wrapMode = 0;
    }
}

}  // namespace

std::string (*popup_window_selection)(QWidget*) = nullptr;

// ---- Popup files ----

const char* popup_kind_section(int kind)
{
    static const char* const sections[] = {"[mpopup]", "[cpopup]", "[qpopup]",
                                           "[lpopup]", "[bpopup]", "[upopup]"};
    return kind >= 0 && kind <= 5 ? sections[kind] : "";
}

void popup_file_rescan(PopupFile* file)
{
    if (!file)
        return;
    script_reindent(file->lines, nullptr, 0);
    script_line_comment_state(file->lines);
}

PopupFile* popup_file_load(const std::string& path_in, int kind)
{
    if (path_in.empty())
        return nullptr;
    std::string path = path_in;
    file_fix_slashes(path);
    file_abs_settings_dir(path);
    if (path.size() > kMediumText)
        path.resize(kMediumText);

    int current = 0, top = 0, caret = 0;
    for (PopupFile* f = popup_files_head; f; f = f->next) {
        if (f->kind == kind) {
            current = f->current;
            top = f->editor_top;
            caret = f->editor_caret;
            unlink_file(f);
            free_file(f);
            break;
        }
    }
    auto* file = new PopupFile;
    file->path = path;
    file->kind = kind;
    file->section = popup_kind_section(kind);
    file->id = win_alloc_id();
    file->current = current;
    file->editor_top = top;
    file->editor_caret = caret;
    file->lines = read_lines(file);
    file->file_time = disk_time(path);
    popup_file_rescan(file);

    PopupFile** pp = &popup_files_head;
    while (*pp)
        pp = &(*pp)->next;
    *pp = file;
    script_watch_recheck = 1;
    return file;
}

void popup_file_unload_kind(int kind)
{
    for (PopupFile* f = popup_files_head; f; f = f->next) {
        if (f->kind == kind) {
            unlink_file(f);
            free_file(f);
            script_watch_recheck = 1;
            return;
        }
    }
}

void popup_files_free()
{
    while (popup_files_head) {
        PopupFile* f = popup_files_head;
        popup_files_head = f->next;
        free_file(f);
    }
}

int popup_file_is_loaded(const PopupFile* file)
{
    for (PopupFile* f = popup_files_head; f; f = f->next)
        if (f == file)
            return 1;
    return 0;
}

PopupFile* popup_file_current()
{
    for (PopupFile* f = popup_files_head; f; f = f->next)
        if (f->current)
            return f;
    if (popup_files_head)
        popup_files_head->current = 1;
    return popup_files_head;
}

PopupFile* popup_file_of_kind(int kind)
{
    for (PopupFile* f = popup_files_head; f; f = f->next)
        if (f->kind == kind)
            return f;
    return nullptr;
}

StringNode* popup_lines_of_kind(int kind)
{
    PopupFile* f = popup_file_of_kind(kind);
    return f ? f->lines : nullptr;
}

int popup_files_load_all()
{
    popup_files_free();
    for (int kind = 0; kind <= 4; ++kind) {
        std::string key = "n" + std::to_string(kind);
        std::string value;
        ini_read("pfiles", key.c_str(), "", value, kMediumTextSize, main_ini_path);
        if (value.empty())
            value = "popups.ini";
        file_fix_slashes(value);
        file_abs_settings_dir(value);
        popup_file_load(value, kind);
    }
    const int index = opt(OPT_POPUP_FILE_KIND);
    int position = 0;
    for (PopupFile* f = popup_files_head; f; f = f->next, ++position)
        f->current = position == index ? 1 : 0;
    popup_file_current();
    return 1;
}

void popup_files_reload_pending()
{
    for (PopupFile* f = popup_files_head; f; f = f->next) {
        if (!f->reload_pending)
            continue;
        strlist_free(&f->lines);
        f->lines = read_lines(f);
        f->file_time = disk_time(f->path);
        popup_file_rescan(f);
        f->reload_pending = 0;
    }
}

int popup_file_save(const std::string* new_path, int kind)
{
    PopupFile* f = popup_file_of_kind(kind);
    if (!f)
        return 0;
    if (new_path && !new_path->empty()) {
        std::string p = *new_path;
        file_fix_slashes(p);
        file_abs_settings_dir(p);
        if (p.size() > kMediumText)
            return 0;
        f->path = p;
    }
    int ok = write_lines(f);
    popup_files_save_list(0);
    return ok;
}

int popup_files_save_list(int mode)
{
    int ok = 1;
    for (PopupFile* f = popup_files_head; f; f = f->next) {
        if ((mode == 1 || mode == 2) && f->modified && !write_lines(f))
            ok = 0;
        if (f->kind < 0 || f->kind > 4)
            continue;
        if (f->current)
            opt_set(OPT_POPUP_FILE_KIND, f->kind);
        std::string key = "n" + std::to_string(f->kind);
        std::string rel = file_relative_to_settings_dir(f->path);
        if (!ini_write("pfiles", key.c_str(), rel.c_str(), main_ini_path))
            ok = 0;
    }
    script_watch_recheck = 1;
    if (mode == 0 || mode == 1)
        ini_save_options();
    return ok;
}

// ---- Line grammar ----

std::size_t popup_find_separator(std::string_view text)
{
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == ':')
            return i;
        if (text[i] == '{' && i > 0 && (text[i - 1] == ' ' || text[i - 1] == ':') &&
            (i + 1 == text.size() || text[i + 1] == ' '))
            return i;
    }
    return std::string_view::npos;
}

std::string popup_split_line(std::string_view text, std::string* caption)
{
    std::size_t at = popup_find_separator(text);
    std::string_view cap = text.substr(0, at);
    while (!cap.empty() && cap.back() == ' ')
        cap.remove_suffix(1);
    if (caption)
        caption->assign(cap);
    if (at == std::string_view::npos)
        return std::string();
    if (text[at] == '{')
        return std::string(text.substr(at));
    return std::string(skip_blanks(text.substr(at + 1)));
}

int popup_style(std::string& caption, unsigned* flags)
{
    if (!starts_nocase(caption, "$style("))
        return 0;
    std::size_t close = caption.find(')', 7);
    if (close == std::string::npos)
        return 0;
    const int n = std::atoi(caption.c_str() + 7);
    if (flags) {
        if (n & 1)
            *flags |= kMenuChecked;
        if (n & 2) {
            *flags |= kMenuGrayed;
            *flags &= ~kMenuDisabled;
        }
    }
    std::size_t rest = close + 1;
    while (rest < caption.size() && caption[rest] == ' ')
        ++rest;
    caption.erase(0, rest);
    return n;
}

int popup_event_number(std::string_view keyword)
{
    for (const EventWord& w : kEventWords)
        if (text_equal_nocase(keyword, w.word))
            return w.number;
    return 0;
}

// ---- Building ----

void popup_dynamic_add(std::string line)
{
    if (!popup_build_ctx.building || popup_build_ctx.dynamic.size() >= 250)
        return;
    if (line.size() > kLongText)
        line.resize(kLongText);
    popup_build_ctx.dynamic.push_back(std::move(line));
}

void popup_lines_unmark()
{
    for (PopupFile* f = popup_files_head; f; f = f->next)
        clear_line_marks(f->lines);
    for (ScriptFile* f = remote_list; f; f = f->next)
        if (f->kind == kRemoteScript)
            clear_line_marks(f->lines);
}

void popup_build_lines(PopupMenu& menu, StringNode* lines, ScriptFile* script)
{
    ScriptFile* saved = popup_build_ctx.script;
    popup_build_ctx.script = script;
    Cursor c{lines, nullptr};
    build_level(menu, c, 0);
    popup_build_ctx.script = saved;
}

int popup_build_sections(PopupMenu& menu, const std::string& name, int mode, ScriptFile* first_script)
{
    int found = 0;
    bool separated = false;
    for (ScriptFile* f : scripts_in_order(first_script)) {
        each_menu_line(f, [&](StringNode* head) {
            if (!section_names(head->text, name))
                return true;
            found = 1;
            if (mode == 2)
                return false;
            StringNode* end = section_end(head);
            StringNode* first = walk_handlers(head->next, end);
            if (!first || first == end)
                return true;
            PopupMenu part;
            next_serial();  // each source its own serial, so that merging tells them apart
            ScriptFile* saved = popup_build_ctx.script;
            popup_build_ctx.script = f;
            Cursor c{first, end};
            build_level(part, c, 0);
            popup_build_ctx.script = saved;
            if (part.empty())
                return true;
            if (!separated && !menu.empty() && !menu.ends_in_separator())
                add_separator(menu);
            separated = true;
            for (PopupItem& it : part.items)
                menu.items.push_back(std::move(it));
            return true;
        });
        if (found && mode == 2)
            return 1;
    }
    return found;
}

int popup_find_event(StringNode* file_lines, const std::string& name, int n, int c,
                     ScriptFile* first_script, StringNode** line, std::string* commands,
                     ScriptFile** script)
{
    *line = nullptr;
    commands->clear();
    *script = nullptr;
    if (n <= 0 || c <= 0)
        return 0;
    if (file_lines) {
        if (c != 1)
            return 0;
        *line = walk_handlers(file_lines, nullptr, n, commands);
        return 1;
    }
    int seen = 0;
    for (ScriptFile* f : scripts_in_order(first_script)) {
        each_menu_line(f, [&](StringNode* head) {
            if (!section_names(head->text, name) || ++seen < c)
                return true;
            *line = walk_handlers(head->next, section_end(head), n, commands);
            if (*line)
                *script = f;
            return false;
        });
        if (seen >= c)
            return 1;
    }
    return 0;
}

PopupMenu popup_build_menu(StringNode* lines, const std::string& name, QWidget* window,
                           Connection* conn, ScriptFile* first_script)
{
    PopupBuildContext& ctx = popup_build_ctx;
    ctx.name = name.substr(0, 305);
    ctx.window = window;
    ctx.conn = conn;
    ctx.script = nullptr;
    ctx.count = 0;
    ctx.menubar_mode = 0;
    ctx.dynamic.clear();
    ctx.last_dynamic.clear();
    ctx.selection = !ctx.target.empty()        ? ctx.target
                    : popup_window_selection ? popup_window_selection(window)
                                             : std::string();
    if (ctx.selection.size() > kLongText)
        ctx.selection.resize(kLongText);
    next_serial();

    popup_lines_unmark();
    PopupMenu menu;
    if (lines)
        popup_build_lines(menu, walk_handlers(lines, nullptr), nullptr);
    popup_build_sections(menu, name, 0, first_script);
    menu_merge_submenus(menu);
    return menu;
}

namespace {

// The menu-bar file's title: its first code line when that has no
// commands and no deeper line follows it. Returns the line the items start
// at (after the title, else the first line).
StringNode* menubar_title_line(StringNode* lines, std::string* title)
{
    if (title)
        title->clear();
    StringNode* first = lines;
    while (first && (is_comment(first) || skip_blanks(first->text).empty()))
        first = first->next;
    if (!first)
        return lines;
    std::string_view body = item_text(first->text);
    if (body == "-" || starts_nocase(body, "$submenu("))
        return lines;
    std::string caption;
    if (!popup_split_line(body, &caption).empty() || caption.empty())
        return lines;
    StringNode* next = next_code_line(first, nullptr);
    if (next && dots_of(next->text) > dots_of(first->text))
        return lines;
    if (title)
        *title = caption;
    return first->next;
}

bool has_code_line(StringNode* lines)
{
    for (StringNode* n = lines; n; n = n->next)
        if (!is_comment(n) && !skip_blanks(n->text).empty())
            return true;
    return false;
}

}  // namespace

int popup_menubar_sources(std::string* title)
{
    StringNode* lines = popup_lines_of_kind(kPopupFileMenubar);
    menubar_title_line(lines, title);
    if (has_code_line(lines))
        return 1;
    PopupMenu none;
    return popup_build_sections(none, "menubar", 2, nullptr);
}

PopupMenu popup_build_menubar(QWidget* window, Connection* conn, std::string* title)
{
    PopupBuildContext& ctx = popup_build_ctx;
    ctx.name = "menubar";
    ctx.target.clear();
    ctx.selection.clear();
    ctx.window = window;
    ctx.conn = conn;
    ctx.script = nullptr;
    ctx.count = 0;
    ctx.dynamic.clear();
    ctx.last_dynamic.clear();
    next_serial();

    popup_lines_unmark();
    ctx.menubar_mode = 1;
    PopupMenu menu;
    StringNode* first = menubar_title_line(popup_lines_of_kind(kPopupFileMenubar), title);
    if (first)
        popup_build_lines(menu, first, nullptr);
    popup_build_sections(menu, "menubar", 0, nullptr);
    ctx.menubar_mode = 0;
    menu_merge_submenus(menu);
    return menu;
}

void menu_merge_submenus(PopupMenu& menu)
{
    drop_trailing_separators(menu);
    for (std::size_t i = 0; i < menu.items.size(); ++i) {
        PopupItem& first = menu.items[i];
        if (first.type != PopupItem::kSubmenu || !first.sub)
            continue;
        for (std::size_t j = i + 1; j < menu.items.size();) {
            PopupItem& later = menu.items[j];
            if (later.type == PopupItem::kSubmenu && later.sub && same_caption(first, later) &&
                (later.data >> 16) != (first.data >> 16)) {
                menu_append_menu(*first.sub, *later.sub);
                menu.items.erase(menu.items.begin() + static_cast<std::ptrdiff_t>(j));
                // A separator left doubled at that place goes.
                if (j < menu.items.size() && menu.items[j].type == PopupItem::kSeparator &&
                    (j == 0 || menu.items[j - 1].type == PopupItem::kSeparator))
                    menu.items.erase(menu.items.begin() + static_cast<std::ptrdiff_t>(j));
                if (!(first.flags & kMenuDisabled) && !first.sub->empty())
                    first.flags &= ~kMenuGrayed;
                continue;
            }
            ++j;
        }
        if (first.sub)
            menu_merge_submenus(*first.sub);
    }
    drop_trailing_separators(menu);
}

const PopupItem* menu_find_id(const PopupMenu& menu, int id)
{
    for (const PopupItem& it : menu.items) {
        if (it.type == PopupItem::kItem && it.id == id)
            return &it;
        if (it.sub)
            if (const PopupItem* found = menu_find_id(*it.sub, id))
                return found;
    }
    return nullptr;
}

int popup_command_of_id(int id, StringNode* file_lines, StringNode** line, std::string* text,
                        ScriptFile** script)
{
    if (line)
        *line = nullptr;
    if (script)
        *script = nullptr;
    if (id <= 0)
        return 0;
    PopupBuildContext& ctx = popup_build_ctx;
    for (const auto& [item_line, item_id] : ctx.last_dynamic) {
        if (item_id != id)
            continue;
        std::string caption;
        std::string commands = popup_split_line(item_text(item_line), &caption);
        ctx.last_dynamic.clear();
        if (commands.empty() || commands[0] == '{')
            return 0;  // a dynamic item has no block to run
        if (text)
            *text = commands;
        return 1;
    }
    auto take = [&](StringNode* n, ScriptFile* owner) {
        std::string caption;
        std::string commands = popup_split_line(item_text(n->text), &caption);
        if (commands.empty())
            return 0;
        if (line)
            *line = n;
        if (text)
            *text = commands;
        if (script)
            *script = owner;
        return 1;
    };
    for (StringNode* n = file_lines; n; n = n->next)
        if (n->serial == id)
            return take(n, nullptr);
    for (ScriptFile* f = remote_list; f; f = f->next) {
        if (f->kind != kRemoteScript)
            continue;
        for (StringNode* n = f->lines; n; n = n->next)
            if (n->serial == id && n->wrapMode)
                return take(n, f);
    }
    return 0;
}

StringNode* popup_block_copy(const StringNode* line, std::string_view commands)
{
    if (!line)
        return nullptr;
    auto copy = [](const StringNode* n) {
        auto* c = new StringNode;
        c->text = n->text;
        for (int i = 0; i < 8; ++i)
            c->extra[i] = n->extra[i];
        return c;
    };
    StringNode* head = copy(line);
    StringNode* tail = head;
    int depth = script_brace_depth(skip_blanks(commands), 0, 0);
    for (const StringNode* n = line->next; n && depth > 0; n = n->next) {
        StringNode* c = copy(n);
        c->prev = tail;
        tail->next = c;
        tail = c;
        if (!is_comment(n))
            depth = script_brace_depth(skip_blanks(n->text), depth, 0);
    }
    return head;
}

void popup_files_install()
{
    static int load_listener = 0;
    settings_loaded.add_once(load_listener, kLoadPopupFiles, [](SettingsLoad&) { popup_files_load_all(); });
}
