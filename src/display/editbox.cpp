#include "display/editbox.h"
#include "display/text_marking.h"
#include "script/events/event_fire.h"
#include "script/events/event_index.h"
#include "script/exec/script_types.h"

#include <QApplication>
#include <QTextCursor>
#include <QTextDocument>

#include <cstdio>

#include "display/child_controls.h"
#include "display/child_layout.h"
#include "display/window_queries.h"
#include "model/connection.h"
#include "model/window_record.h"
#include "core/ini.h"
#include "core/main_settings.h"
#include "core/options.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "display/tab_complete.h"
#include "irc/dispatch/modes.h"
#include "irc/link/send_queue.h"
#include "platform/app_messages.h"
#include "platform/platform_utils.h"

int editbox_ctrl_enter = 0;
int editbox_in_paste = 0;
int editbox_in_cmdbox = 0;
int editbox_programmatic_change = 0;
std::string editbox_last_line;

int (*editbox_locked_hook)() = nullptr;

namespace {

// The box's text with the change flag set, so the window's change handling
// leaves it alone.
void set_box_text(EditBox* box, const std::string& text)
{
    editbox_programmatic_change = 1;
    box->setTextBytes(text);
    editbox_programmatic_change = 0;
}

void clear_box(EditBox* box)
{
    set_box_text(box, std::string());
    box->document()->clearUndoRedoStacks();
}

// The window, its record, its connection and the box are all still there.
bool still_live(WindowRecord* rec, QWidget* hwnd, Connection* conn, const QPointer<EditBox>& box)
{
    return win_is_record(rec) && hwnd && rec->hwnd.get() == hwnd && conn_is_live(conn) &&
           rec->conn == conn && !box.isNull();
}

bool is_line_break(char c)
{
    return c == '\r' || c == '\n';
}

// "/" or "/!" alone, or followed by exactly one line break.
bool is_alone(const std::string& text, const char* form)
{
    std::string f = form;
    if (text.compare(0, f.size(), f) != 0)
        return false;
    std::string rest = text.substr(f.size());
    return rest.empty() || rest == "\r\n" || rest == "\n" || rest == "\r";
}

int command_char()
{
    const std::string& c = main_settings.command_char;
    return c.empty() ? '/' : static_cast<unsigned char>(c[0]);
}

bool starts_as_command(const std::string& text)
{
    if (text.empty())
        return false;
    unsigned char first = static_cast<unsigned char>(text[0]);
    return first == '/' || first == command_char();
}

// The "!" right after "/" or "//" (or the command character) of a command line.
bool has_bang_after_slashes(const std::string& line)
{
    std::size_t i = 0;
    int cc = command_char();
    while (i < line.size() && i < 2 &&
           (line[i] == '/' || static_cast<unsigned char>(line[i]) == cc))
        ++i;
    return i > 0 && i < line.size() && line[i] == '!';
}

int box_is_single_line(WindowRecord* rec, EditBox* box)
{
    if (rec->editbox_mode == 0)
        return 1;
    if (rec->editbox_mode == 2)
        return box->document()->blockCount() <= 1 ? 1 : 0;
    return 0;
}

void refill(WindowRecord* rec, EditBox* box, int index)
{
    if (index == 0 && !rec->command_text.empty()) {
        set_box_text(box, rec->command_text);
    } else if (index == 1 && !rec->editbox2_command.empty() && rec->editbox2_show_command) {
        set_box_text(box, rec->editbox2_command + " ");
    }
}

void reset_state()
{
    editbox_ctrl_enter = 0;
    editbox_in_paste = 0;
    editbox_in_cmdbox = 0;
    editbox_programmatic_change = 0;
}

}  // namespace

int editbox_index(WindowRecord* rec, const EditBox* box)
{
    if (!win_is_record(rec) || !box)
        return -1;
    if (rec->editbox.get() == box)
        return 0;
    if (rec->editbox2.get() == box)
        return 1;
    return -1;
}

EditBox* editbox_of(WindowRecord* rec, int box)
{
    if (!win_is_record(rec))
        return nullptr;
    return box == 1 ? rec->editbox2.get() : box == 0 ? rec->editbox.get() : nullptr;
}

// ---- Changes ----

void editbox_on_changed(EditBox* box, WindowRecord* rec)
{
    if (editbox_programmatic_change || !win_is_record(rec) || editbox_index(rec, box) < 0)
        return;
    if (conn_is_live(rec->conn))
        tabcomp_edit_reset(rec->conn);
    if (box->document()->characterCount() - 1 >= 400)
        beep_error(0);
    if (rec->editbox_mode != 0) {
        win_post(rec->hwnd.get(), WM_APP_DEFERRED_LAYOUT, 0, kLayoutEditboxCheck);
    } else if (box->document()->blockCount() > 1) {
        editbox_submit(rec, box, kSubmitNormal, 0);  // a paste: line by line
    }
}

// ---- Submission ----

int editbox_submit(WindowRecord* rec, EditBox* box, int flags, int key_flags)
{
    if (!win_is_record(rec))
        return 0;
    textsel_end_record(rec);
    if (!win_is_record(rec) || !rec->hwnd.get() || !conn_is_live(rec->conn))
        return 0;
    int index = editbox_index(rec, box);
    if (index < 0)
        return 0;

    if (flags & kSubmitAltEnter) {
        if (rec->editbox_mode == 1 || rec->editbox_mode == 2) {
            QTextCursor cursor = box->textCursor();
            bool at_end = cursor.position() >= box->document()->characterCount() - 1;
            if (!at_end) {
                cursor.insertText(QStringLiteral("\n"));
                box->setTextCursor(cursor);
            } else if (!box->document()->isEmpty()) {
                cursor.movePosition(QTextCursor::End);
                cursor.insertText(QStringLiteral("\n"));
                box->setTextCursor(cursor);
            }
            return 2;
        }
        return 1;
    }

    QWidget* hwnd = rec->hwnd.get();
    Connection* conn = rec->conn;
    QPointer<EditBox> guard(box);
    std::string text = box->textBytes();
    if (text.empty()) {
        beep_error(0);
        refill(rec, box, index);
        reset_state();
        return 1;
    }
    int single = box_is_single_line(rec, box);
    clear_box(box);

    bool hidden = win_is_minimised(hwnd) || !win_is_visible(hwnd);
    if (!(flags & kSubmitAlways)) {
        if (hidden) {
            refill(rec, box, index);
            reset_state();
            return 1;
        }
        if (editbox_locked_hook && editbox_locked_hook()) {
            reset_state();
            return 1;
        }
    }

    tabcomp_reset(conn);

    if ((flags & kSubmitFromBox) && single) {
        std::string joined;
        joined.reserve(text.size());
        for (char c : text)
            if (!is_line_break(c))
                joined += c;
        text.swap(joined);
        if (text.empty()) {
            beep_error(0);
            refill(rec, box, index);
            reset_state();
            return 1;
        }
    }

    bool ctrl = (key_flags & kKeyFlagCtrl) != 0;
    editbox_ctrl_enter = ctrl ? 1 : 0;
    editbox_in_paste = (key_flags & kKeyFlagTyped) ? 0 : 1;
    editbox_in_cmdbox = index == 1 ? 1 : 0;
    bool is_command = starts_as_command(text);

    if (!ctrl) {
        if (is_alone(text, "/")) {
            edit_history_up(rec, index);
            reset_state();
            return 1;
        }
        if (is_alone(text, "/!")) {
            if (editbox_last_line.empty()) {
                beep_error(0);
            } else {
                std::string last = editbox_last_line;
                std::size_t cut = last.find_first_of("\r\n");
                if (cut != std::string::npos)
                    last.resize(cut);
                set_box_text(box, last);
            }
            reset_state();
            return 1;
        }
    }

    const std::string command = index == 1 ? rec->editbox2_command : std::string();
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        std::string line = text.substr(start, end == std::string::npos ? std::string::npos
                                                                         : end - start);
        if (end == std::string::npos)
            start = text.size() + 1;
        else
            start = (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? end + 2
                                                                                           : end + 1;
        if (line.empty())
            continue;
        if (line.size() > kLongText)
            line.resize(kLongText);

        editbox_last_line = line;
        edit_history_add(rec, index, line);

        std::string run = line;
        int mode = ctrl ? 3 : 0;
        if (!command.empty()) {
            mode = 0;
            bool is_the_command = text_equal_nocase(line, command) || text_equal_nocase(line, command + " ");
            if ((ctrl || !is_command) && !is_the_command)
                run = command + " " + line;
            if (run.size() > kLongText)
                run.resize(kLongText);
        }

        bool quiet = is_command && has_bang_after_slashes(line) && !ctrl;
        if (opt(OPT_REMOTE_EVENTS) && !quiet) {
            int go = editbox_fire_input(conn, hwnd, line);
            if (!still_live(rec, hwnd, conn, guard)) {
                reset_state();
                return 1;
            }
            if (go == 0)
                continue;
        }
        editbox_run_typed_line(hwnd, run, mode, conn);
        if (!still_live(rec, hwnd, conn, guard)) {
            reset_state();
            return 1;
        }
    }

    refill(rec, box, index);
    reset_state();
    return 1;
}

int editbox_run_typed_line(QWidget* window, const std::string& line, int mode, Connection* conn)
{
    if (line.empty())
        return 0;
    return script_exec_line(window, line.c_str(), nullptr, mode, nullptr, nullptr, conn);
}

int editbox_fire_input(Connection* conn, QWidget* window, const std::string& line)
{
    EventSource source;
    source.text1 = line;
    return event_fire(conn, window, nullptr, "INPUT", kEvInput, 0, nullptr, &source);
}


// ---- Input histories ----

namespace {

StringNode** history_head(WindowRecord* rec, int box)
{
    if (!win_is_record(rec) || box < 0 || box > 1)
        return nullptr;
    return &rec->history[box];
}

StringNode* current_entry(StringNode* head)
{
    for (StringNode* n = head; n; n = n->next)
        if (n->number == 1)
            return n;
    return nullptr;
}

void show_entry(WindowRecord* rec, int box, StringNode* node)
{
    if (EditBox* b = editbox_of(rec, box))
        set_box_text(b, node ? node->text : std::string());
}

std::string first_line_of_box(WindowRecord* rec, int box)
{
    EditBox* b = editbox_of(rec, box);
    if (!b)
        return std::string();
    std::string text = b->textBytes();
    std::size_t cut = text.find_first_of("\r\n");
    if (cut != std::string::npos)
        text.resize(cut);
    if (text.size() > kLongText)
        text.resize(kLongText);
    return text;
}

bool browsing_allowed(WindowRecord* rec, int box)
{
    if (!history_head(rec, box) || !editbox_of(rec, box) || !conn_is_live(rec->conn))
        return false;
    if (TabState* s = tabcomp_state(rec->conn))
        s->chan_index = 0;
    return true;
}

}  // namespace

void edit_history_add(WindowRecord* rec, int box, const std::string& line)
{
    StringNode** head = history_head(rec, box);
    if (!head || line.empty())
        return;
    std::string text = line.size() > kLongText ? line.substr(0, kLongText) : line;
    StringNode* equal = nullptr;
    for (StringNode* n = *head; n; n = n->next) {
        n->number = 0;
        if (!equal && n->text == text)
            equal = n;
    }
    if (equal) {
        // Move to the newest place: take it out and append it again.
        *head = strlist_remove(*head, equal);
    } else {
        while (strlist_count(*head) >= kHistoryLines)
            *head = strlist_free_node(*head);
    }
    if (StringNode* h = strlist_append(*head, std::string_view(text), 0))
        *head = h;
}

void edit_history_keep_current(WindowRecord* rec, int box)
{
    StringNode** head = history_head(rec, box);
    if (!head || current_entry(*head))
        return;
    std::string first = first_line_of_box(rec, box);
    if (!first.empty())
        edit_history_add(rec, box, first);
    if (*head)
        (*head)->prev->number = 1;
}

void edit_history_up(WindowRecord* rec, int box)
{
    if (!browsing_allowed(rec, box))
        return;
    StringNode** head = history_head(rec, box);
    if (!*head) {
        beep_error(0);
        return;
    }
    StringNode* current = current_entry(*head);
    if (!current) {
        StringNode* newest = (*head)->prev;
        newest->number = 1;
        show_entry(rec, box, newest);
        return;
    }
    if (current == *head) {
        beep_error(0);
        return;
    }
    current->number = 0;
    current->prev->number = 1;
    show_entry(rec, box, current->prev);
}

void edit_history_down(WindowRecord* rec, int box)
{
    if (!browsing_allowed(rec, box))
        return;
    StringNode** head = history_head(rec, box);
    StringNode* current = current_entry(*head);
    if (current) {
        if (current->next) {
            current->number = 0;
            current->next->number = 1;
            show_entry(rec, box, current->next);
        } else {
            for (StringNode* n = *head; n; n = n->next)
                n->number = 0;
            show_entry(rec, box, nullptr);
        }
        return;
    }
    std::string first = first_line_of_box(rec, box);
    if (first.empty()) {
        beep_error(0);
    } else {
        edit_history_add(rec, box, first);
        for (StringNode* n = *head; n; n = n->next)
            n->number = 0;
    }
    show_entry(rec, box, nullptr);
}

// ---- Settings of the second box ----

EditboxSettings editbox_parse_settings(const std::string& value)
{
    EditboxSettings s;
    std::size_t i = 0;
    int field = 0;
    while (field < 5 && i <= value.size()) {
        std::string text;
        bool quoted = false;
        while (i < value.size() && value[i] == ' ')
            ++i;
        if ((field == 2 || field == 3) && i < value.size() && value[i] == '"') {
            quoted = true;
            std::size_t close = value.find('"', i + 1);
            if (close == std::string::npos) {
                text = value.substr(i + 1);
                i = value.size();
            } else {
                text = value.substr(i + 1, close - i - 1);
                i = close + 1;
            }
            std::size_t comma = value.find(',', i);
            i = comma == std::string::npos ? value.size() + 1 : comma + 1;
        } else {
            std::size_t comma = value.find(',', i);
            text = value.substr(i, comma == std::string::npos ? std::string::npos : comma - i);
            i = comma == std::string::npos ? value.size() + 1 : comma + 1;
        }
        if (quoted)
            text_squeeze_char(text, ' ');
        if (text.size() > kShortText)
            text.resize(kShortText);
        bool empty = text.empty();
        switch (field) {
        case 0:
            if (!empty)
                s.enabled = std::atoi(text.c_str());
            break;
        case 1:
            if (!empty)
                s.show_mode = std::atoi(text.c_str());
            break;
        case 2:
            if (!empty)
                s.mode_chars = text;
            break;
        case 3:
            if (!empty)
                s.command = text;
            break;
        case 4:
            if (!empty)
                s.show_command = std::atoi(text.c_str());
            break;
        default:
            break;
        }
        ++field;
    }
    return s;
}

std::string editbox_settings_text(const EditboxSettings& s)
{
    char head[48];
    std::snprintf(head, sizeof head, "%d,%d,", s.enabled, s.show_mode);
    char tail[24];
    std::snprintf(tail, sizeof tail, ",%d", s.show_command);
    return std::string(head) + "\"" + s.mode_chars + "\",\"" + s.command + "\"" + tail;
}

void editbox_apply_settings(WindowRecord* rec, const EditboxSettings& s)
{
    if (!win_is_record(rec))
        return;
    rec->editbox2_wanted = s.enabled;
    rec->editbox2_when_mode = s.show_mode;
    rec->editbox2_prefixes = s.mode_chars;
    rec->editbox2_command = s.command;
    rec->editbox2_show_command = s.show_command;
}

void editbox_load_settings(WindowRecord* rec)
{
    if (!win_is_record(rec))
        return;
    std::string value;
    if (!rec->name.empty())
        ini_read("editbox", rec->name.c_str(), "", value, kLongTextSize, "");
    if (value.empty())
        ini_read("editbox", "default", "", value, kLongTextSize, "");
    editbox_apply_settings(rec, editbox_parse_settings(value));
}
