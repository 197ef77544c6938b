#include "display/input_procs.h"
#include "display/mouse_clicks.h"
#include "script/events/event_fire.h"
#include "script/events/event_index.h"
#include "script/exec/script_types.h"
#include "display/text_marking.h"

#include <QTextCursor>

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QListWidget>
#include <QScrollBar>
#include <QWheelEvent>

#include "display/child_controls.h"
#include "display/child_layout.h"
#include "display/window_queries.h"
#include "model/connection.h"
#include "model/window_record.h"
#include "core/options.h"
#include "core/text_buffer.h"
#include "display/editbox.h"
#include "display/colour_widgets.h"
#include "display/colours_dialog.h"
#include "display/line_marker.h"
#include "display/nick_list.h"
#include "display/tab_complete.h"
#include "platform/app_messages.h"
#include "platform/platform_utils.h"

void (*input_frame_command_hook)(int, WindowRecord*) = nullptr;
int (*input_paste_confirm_hook)(WindowRecord*, const std::string&) = nullptr;

namespace {

bool list_can_show(WindowRecord* rec)
{
    ListBox* list = rec->listbox.get();
    if (!list)
        return false;
    if (list->isEnabled() && !rec->side_list_hidden)
        return true;
    return rec->type == kWinChannel && rec->nicklist_shift_tab && rec->nicklist_place != 2;
}

void focus_list(WindowRecord* rec)
{
    if (rec->side_list_hidden)
        nicklist_auto(rec, 3);
    if (ListBox* list = rec->listbox.get())
        list->setFocus(Qt::TabFocusReason);
}

void move_focus_from_box(WindowRecord* rec, int box)
{
    EditBox* first = rec->editbox.get();
    EditBox* second = rec->editbox2.get();
    if (box == 0) {
        if (second && second->isEnabled() && second->isVisible())
            second->setFocus(Qt::TabFocusReason);
        else if (list_can_show(rec))
            focus_list(rec);
        else if (first)
            first->setFocus(Qt::TabFocusReason);
    } else {
        if (list_can_show(rec))
            focus_list(rec);
        else if (first)
            first->setFocus(Qt::TabFocusReason);
    }
}

bool is_custom(WindowRecord* rec)
{
    return rec->type == kWinCustom;
}

int event_character(QKeyEvent* event)
{
    QString t = event->text();
    if (t.isEmpty())
        return 0;
    return t.at(0).unicode();
}

int key_code(QKeyEvent* event)
{
    int key = event->key();
    if (key >= Qt::Key_A && key <= Qt::Key_Z)
        return 'A' + (key - Qt::Key_A);
    if (key >= Qt::Key_0 && key <= Qt::Key_9)
        return '0' + (key - Qt::Key_0);
    if (key >= Qt::Key_F1 && key <= Qt::Key_F24)
        return 112 + (key - Qt::Key_F1);
    switch (key) {
    case Qt::Key_Backspace: return 8;
    case Qt::Key_Tab:
    case Qt::Key_Backtab: return 9;
    case Qt::Key_Return:
    case Qt::Key_Enter: return 13;
    case Qt::Key_Shift: return 16;
    case Qt::Key_Control: return 17;
    case Qt::Key_Alt: return 18;
    case Qt::Key_Escape: return 27;
    case Qt::Key_Space: return 32;
    case Qt::Key_PageUp: return 33;
    case Qt::Key_PageDown: return 34;
    case Qt::Key_End: return 35;
    case Qt::Key_Home: return 36;
    case Qt::Key_Left: return 37;
    case Qt::Key_Up: return 38;
    case Qt::Key_Right: return 39;
    case Qt::Key_Down: return 40;
    case Qt::Key_Insert: return 45;
    case Qt::Key_Delete: return 46;
    default: return 0;
    }
}

int box_index_of(WindowRecord* rec, QWidget* control)
{
    if (control && control == static_cast<QWidget*>(rec->editbox2.get()))
        return 1;
    return 0;
}

}  // namespace

// ---- The hooks of the child window ----

int input_editbox_key(EditBox* box, QKeyEvent* event, WindowRecord* rec)
{
    return keydown_handle(rec, event, kCtlKindEditbox, box) == 0 ? 1 : 0;
}

int input_listbox_key(ListBox* list, QKeyEvent* event, WindowRecord* rec)
{
    return keydown_handle(rec, event, kCtlKindList, list) == 0 ? 1 : 0;
}

int input_text_area_key(TextArea* area, QKeyEvent* event, WindowRecord* rec)
{
    return keydown_handle(rec, event, kCtlKindText, area) == 0 ? 1 : 0;
}

void input_tab_complete(WindowRecord* rec, int second)
{
    tabcomp_complete(rec, second ? 1 : 0);
}

void input_history_recall(WindowRecord* rec, int direction, int second)
{
    int box = second ? 1 : 0;
    if (direction > 0) {
        EditBox* b = editbox_of(rec, box);
        if (b && !b->textBytes().empty())
            edit_history_keep_current(rec, box);
        edit_history_up(rec, box);
    } else {
        edit_history_down(rec, box);
    }
}

namespace {

int g_listbox_listener = 0;

void listbox_setup_hook(ListBox* list, WindowRecord* rec)
{
    if (rec->type == kWinChannel || (rec->type == kWinCustom && rec->subtype == 2)) {
        list->setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
        list->setUniformItemSizes(rec->type == kWinChannel);
        // Pointer moves reveal an auto-hidden list.
        if (QWidget* w = rec->hwnd.get())
            w->setMouseTracking(true);
        if (TextArea* area = rec->text_area.get())
            area->setMouseTracking(true);
    }
}


// The record whose control the object is, with the control's kind.
WindowRecord* control_record(QObject* object, int* kind)
{
    if (auto* area = qobject_cast<TextArea*>(object)) {
        *kind = kCtlKindText;
        return area->record();
    }
    if (auto* box = qobject_cast<EditBox*>(object)) {
        *kind = kCtlKindEditbox;
        return box->record();
    }
    if (auto* list = qobject_cast<ListBox*>(object)) {
        *kind = kCtlKindList;
        return list->record();
    }
    // The viewport of an editbox or list box.
    if (QObject* parent = object->parent()) {
        if (auto* box = qobject_cast<EditBox*>(parent)) {
            if (box->viewport() == object) {
                *kind = kCtlKindEditbox;
                return box->record();
            }
        }
        if (auto* list = qobject_cast<ListBox*>(parent)) {
            if (list->viewport() == object) {
                *kind = kCtlKindList;
                return list->record();
            }
        }
    }
    return nullptr;
}

// A pointer move over a window with an auto-hiding or Shift+Tab side list.
void pointer_moved(QObject* watched)
{
    if (!watched->isWidgetType())
        return;
    int kind = -1;
    WindowRecord* rec = control_record(watched, &kind);
    if (!rec)
        rec = win_record_of(static_cast<QWidget*>(watched));
    if (!rec || !rec->listbox.get())
        return;
    if (rec->nicklist_auto_hide)
        nicklist_auto(rec, 1);
    else if (rec->nicklist_shift_tab)
        nicklist_auto(rec, 4);
}

class InputFilter : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        QEvent::Type type = event->type();
        if (type != QEvent::Wheel && type != QEvent::KeyRelease && type != QEvent::FocusIn &&
            type != QEvent::FocusOut && type != QEvent::MouseMove)
            return false;
        int kind = -1;
        if (type == QEvent::MouseMove) {
            pointer_moved(watched);
            return false;
        }
        WindowRecord* rec = control_record(watched, &kind);
        if (!rec)
            return false;
        switch (type) {
        case QEvent::Wheel: {
            auto* wheel = static_cast<QWheelEvent*>(event);
            int distance = wheel->angleDelta().y();
            if (distance == 0)
                return false;
            mouse_wheel_scroll(rec, distance, kind == kCtlKindList ? 1 : 0);
            wheel->accept();
            return true;
        }
        case QEvent::KeyRelease: {
            auto* key = static_cast<QKeyEvent*>(event);
            if (!is_custom(rec))
                return false;
            return keyup_handle(rec, key, kind, static_cast<QWidget*>(watched)) == 0;
        }
        case QEvent::FocusIn:
        case QEvent::FocusOut:
            if (kind == kCtlKindEditbox && qobject_cast<EditBox*>(watched)) {
                auto* box = static_cast<EditBox*>(watched);
                if (type == QEvent::FocusIn)
                    rec->last_focus = static_cast<QWidget*>(box);
                // The editbox colours by focus (Editbox text on Editbox or Inactive).
                color_editbox_apply(box, type == QEvent::FocusIn ? 1 : 0);
                box->viewport()->update();
            }
            return false;
        default:
            return false;
        }
    }
};

QPointer<InputFilter> the_filter;

}  // namespace

// ---- Keys ----

int key_event_fire(WindowRecord* rec, int up, int key, int character, int repeat)
{
    if (!win_is_record(rec))
        return 0;
    QWidget* hwnd = rec->hwnd.get();
    input_fire_key(rec->conn, hwnd, up, key, character, repeat);
    return win_is_record(rec) && hwnd && rec->hwnd.get() == hwnd ? 1 : 0;
}

int input_tab_completes(WindowRecord* rec, int box, int shift)
{
    if (!opt(OPT_TAB_CHANGES_EDITBOX))
        return shift ? 0 : 1;
    return (shift || tabcomp_wants_tab(rec, box)) ? 1 : 0;
}

void edit_insert_code(EditBox* box, char code, int twice)
{
    if (!box || box->isReadOnly())
        return;
    QTextCursor cursor = box->textCursor();
    const QString c(QChar(static_cast<ushort>(static_cast<unsigned char>(code))));
    if (!cursor.hasSelection()) {
        const int at = cursor.position();
        cursor.insertText(twice ? c + c : c);
        cursor.setPosition(at + 1);
        box->setTextCursor(cursor);
        if (code == 0x03 && opt(OPT_CTRL_K_COLOUR_MENU))
            color_subdlg_open(box, 1);
        return;
    }
    const int start = cursor.selectionStart();
    const int end = cursor.selectionEnd();
    QTextCursor edit(box->document());
    edit.beginEditBlock();
    edit.setPosition(end);
    edit.insertText(c);
    edit.setPosition(start);
    edit.insertText(c);
    edit.endEditBlock();
    if (code == 0x03) {
        // The caret lands after the first code, ready for the colour number.
        QTextCursor caret(box->document());
        caret.setPosition(start + 1);
        box->setTextCursor(caret);
        if (opt(OPT_CTRL_K_COLOUR_MENU))
            color_subdlg_open(box, 1);
    } else {
        QTextCursor keep(box->document());
        keep.setPosition(start + 1);
        keep.setPosition(end + 1, QTextCursor::KeepAnchor);
        box->setTextCursor(keep);
    }
}

int keydown_handle(WindowRecord* rec, QKeyEvent* event, int kind, QWidget* control)
{
    if (!win_is_record(rec) || !rec->hwnd.get())
        return 1;
    QWidget* hwnd = rec->hwnd.get();
    int key = event->key();
    Qt::KeyboardModifiers mods = event->modifiers();
    bool ctrl = mods & Qt::ControlModifier;
    bool shift = mods & Qt::ShiftModifier;
    bool alt = mods & Qt::AltModifier;

    if (is_custom(rec)) {
        if (!key_event_fire(rec, 0, key_code(event), event_character(event),
                            event->isAutoRepeat() ? 1 : 0))
            return 0;  // the script closed the window: the key is used up
    }

    if (kind == kCtlKindText) {
        if (ctrl && key == Qt::Key_C && textsel_ctrl_c(rec))
            return 0;
        return 1;  // the text area posts the rest itself
    }

    if (kind == kCtlKindList) {
        auto* list = qobject_cast<QListWidget*>(control);
        if (key == Qt::Key_Tab || key == Qt::Key_Backtab) {
            if (EditBox* first = rec->editbox.get()) {
                if (rec->type == kWinChannel)
                    nicklist_auto(rec, 3);  // stays shown
                first->setFocus(Qt::TabFocusReason);
            }
            return 0;
        }
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            clicks_list_enter(rec);
            return 0;
        }
        if (rec->type == kWinUrls && (key == Qt::Key_Insert || key == Qt::Key_Delete)) {
            if (input_frame_command_hook)
                input_frame_command_hook(key == Qt::Key_Insert ? 7000 : 7003, rec);
            return 0;
        }
        QString typed = event->text();
        if (list && !ctrl && !alt && typed.size() == 1 && typed.at(0).unicode() > 32 &&
            typed.at(0).unicode() < 256) {
            char c = static_cast<char>(typed.at(0).unicode());
            int row = list_find_by_char(rec, list->currentRow(), c);
            if (row >= 0) {
                list->clearSelection();
                list->setCurrentRow(row);
            }
            return 0;
        }
        return 1;
    }

    // Input boxes.
    auto* box = qobject_cast<EditBox*>(control);
    if (!box)
        return 1;
    // The colour-index popup stays only for digits, a comma and Ctrl+K.
    if (color_subdlg()) {
        const bool keeps = (key >= Qt::Key_0 && key <= Qt::Key_9) || key == Qt::Key_Comma ||
                           (ctrl && key == Qt::Key_K) || key == Qt::Key_Shift || key == Qt::Key_Control;
        if (!keeps)
            color_subdlg_close();
    }
    int index = box_index_of(rec, control);
    if (key == Qt::Key_Tab || key == Qt::Key_Backtab) {
        if (ctrl)
            return 1;  // a Tab character only with Ctrl
        bool with_shift = shift || key == Qt::Key_Backtab;
        if (input_tab_completes(rec, index, with_shift ? 1 : 0)) {
            win_post(hwnd, WM_APP_WINDOW_KEY, static_cast<uintptr_t>(9 | key_modifier_bits(mods)),
                     index);
        } else {
            move_focus_from_box(rec, index);
        }
        return 0;
    }
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        int key_flags = ctrl ? (kKeyFlagTyped | kKeyFlagCtrl) : kKeyFlagTyped;
        if (alt) {
            if (editbox_submit(rec, box, kSubmitAltEnter, key_flags) == 1 && win_is_record(rec))
                editbox_submit(rec, box, kSubmitNormal, key_flags);
            return 0;
        }
        editbox_submit(rec, box, kSubmitNormal | kSubmitFromBox, key_flags);
        return 0;
    }
    if (ctrl && key == Qt::Key_C && textsel_ctrl_c(rec))
        return 0;
    bool paste = (ctrl && key == Qt::Key_V) || (shift && key == Qt::Key_Insert);
    if (paste && input_paste_confirm_hook) {
        QString clip = QApplication::clipboard() ? QApplication::clipboard()->text() : QString();
        QByteArray bytes = clip.toUtf8();
        if (clip.contains(QLatin1Char('\n')) &&
            !input_paste_confirm_hook(rec, std::string(bytes.constData(),
                                                       static_cast<std::size_t>(bytes.size()))))
            return 0;  // refused
    }
    if (ctrl && key == Qt::Key_A) {
        box->selectAll();
        return 0;
    }
    // Ctrl+B, Ctrl+K, Ctrl+O, Ctrl+R, Ctrl+U: the formatting codes.
    if (ctrl && !alt) {
        char code = 0;
        switch (key) {
        case Qt::Key_B: code = 0x02; break;
        case Qt::Key_K: code = 0x03; break;
        case Qt::Key_O: code = 0x0F; break;
        case Qt::Key_R: code = 0x16; break;
        case Qt::Key_U: code = 0x1F; break;
        default: break;
        }
        if (code) {
            if (!event->isAutoRepeat())
                edit_insert_code(box, code, shift ? 1 : 0);
            return 0;
        }
    }
    // Alt+K: the colours dialog.
    if (alt && !ctrl && key == Qt::Key_K) {
        if (!event->isAutoRepeat())
            color_dialog_open(hwnd->window());
        return 0;
    }
    // Ctrl+L: the view jumps to the line marker and, pressed again, back.
    if (ctrl && !alt && key == Qt::Key_L) {
        if (!event->isAutoRepeat())
            marker_jump(rec);
        return 0;
    }
    return 1;
}

int keyup_handle(WindowRecord* rec, QKeyEvent* event, int, QWidget*)
{
    if (!win_is_record(rec) || !is_custom(rec))
        return 1;
    return key_event_fire(rec, 1, key_code(event), event_character(event),
                          event->isAutoRepeat() ? 1 : 0)
               ? 1
               : 0;
}

// ---- The wheel ----

int mouse_wheel_scroll(WindowRecord* rec, int distance, int over_list)
{
    if (!win_is_record(rec) || distance == 0)
        return 0;
    if (distance > 1000)
        distance = 120;
    else if (distance < -1000)
        distance = -120;
    int notches = distance / 120;
    if (notches == 0)
        return 0;
    int lines = sys_wheel_scroll_lines();
    if (lines == 0)
        lines = 3;
    bool pages = lines > 100 || lines < 0;
    int per_notch = pages ? 1 : lines;
    bool up = notches > 0;
    int code = pages ? (up ? kScrollPageUp : kScrollPageDown) : (up ? kScrollLineUp : kScrollLineDown);
    bool to_list = over_list && rec->listbox.get();
    int count = (notches < 0 ? -notches : notches) * per_notch;
    for (int i = 0; i < count; ++i) {
        if (!win_is_record(rec))
            break;
        input_scroll_request(rec, to_list ? 1 : 0, code);
    }
    return notches;
}

void input_fire_key(Connection* conn, QWidget* window, int up, int key, int character, int repeat)
{
    if (!opt(OPT_REMOTE_EVENTS) || !event_has_handler(up ? kEvKeyUp : kEvKeyDown))
        return;
    EventSource source;
    source.key_value = key;
    source.key_char = character;
    source.key_repeat = repeat;
    if (!conn_is_live(conn)) {
        conn = window ? conn_of_window(window) : nullptr;
        if (!conn)
            conn = conn_current();
    }
    event_fire(conn, window, nullptr, up ? "KEYUP" : "KEYDOWN", up ? kEvKeyUp : kEvKeyDown, 0, nullptr, &source);
}

void input_scroll_request(WindowRecord* rec, int to_list, int code)
{
    if (!win_is_record(rec))
        return;
    if (to_list && rec->listbox.get()) {
        QScrollBar* bar = rec->listbox->verticalScrollBar();
        switch (code) {
        case kScrollLineUp: bar->triggerAction(QAbstractSlider::SliderSingleStepSub); break;
        case kScrollLineDown: bar->triggerAction(QAbstractSlider::SliderSingleStepAdd); break;
        case kScrollPageUp: bar->triggerAction(QAbstractSlider::SliderPageStepSub); break;
        default: bar->triggerAction(QAbstractSlider::SliderPageStepAdd); break;
        }
    } else {
        win_on_vscroll(rec, code, 0, 0);
    }
}

// ---- List box selection by character ----

char list_significant_char(WindowRecord* rec, const std::string& item)
{
    std::size_t i = 0;
    switch (rec->type) {
    case kWinChanList: {
        while (i < item.size() && item[i] == ' ')
            ++i;
        std::string types = conn_is_live(rec->conn) && !rec->conn->chan_types.empty()
                                ? rec->conn->chan_types
                                : std::string("#&");
        if (i < item.size() && types.find(item[i]) != std::string::npos)
            ++i;
        break;
    }
    case kWinChannel:
    case kWinCustom: {
        std::string prefixes = nicklist_prefix_chars(rec->conn);
        while (i < item.size() && prefixes.find(item[i]) != std::string::npos)
            ++i;
        break;
    }
    case kWinUrls:
    case kWinNotify:
        while (i < item.size() && item[i] == ' ')
            ++i;
        break;
    default:
        break;
    }
    return i < item.size() ? item[i] : 0;
}

int list_find_by_char(WindowRecord* rec, int caret, char typed)
{
    if (!win_is_record(rec) || !rec->listbox.get())
        return -1;
    QListWidget* list = rec->listbox.get();
    int count = list->count();
    if (count == 0)
        return -1;
    char want = text_lower_char(typed);
    int from = caret < 0 ? 0 : caret + 1;
    for (int step = 0; step < count; ++step) {
        int row = (from + step) % count;
        QByteArray raw = list->item(row)->text().toUtf8();
        std::string text(raw.constData(), static_cast<std::size_t>(raw.size()));
        if (text_lower_char(list_significant_char(rec, text)) == want)
            return row;
    }
    return -1;
}

// ---- Installation ----

void display_input_install()
{
    listbox_made.add_once(g_listbox_listener, kListboxMadeInput, listbox_setup_hook);
    if (!the_filter && QCoreApplication::instance()) {
        the_filter = new InputFilter(QCoreApplication::instance());
        QCoreApplication::instance()->installEventFilter(the_filter);
    }
}
