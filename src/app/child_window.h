// The windows of the window list and their child controls: the window widget
// of every class ("Kest_Status", "Kest_Channel", ...), its MDI frame, the text
// area with its scroll bar, one or two editboxes and the list box; their
// layout, the scroll bar upkeep, the window's system menu, showing a new
// window, activation and the MDI client.
#pragma once

#include <QColor>
#include <QFrame>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPlainTextEdit>
#include <QRect>
#include <QWidget>

#include <cstdint>
#include <string>

#include "app/window_record.h"

class QMenu;
class QPainter;
class QKeyEvent;
class QMouseEvent;
class QWheelEvent;

// ---- Widgets ----

// The text area: shows the window's lines. It paints its background; the
// line painter plugs in through child_hooks.text_area_paint or a subclass
// overriding paintLines().
class TextArea : public QFrame {
    Q_OBJECT
public:
    explicit TextArea(QWidget* parent);
    // The window record this text area belongs to (looked up again each time).
    WindowRecord* record() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    // Paints the lines. The default fills the background colour, then calls
    // child_hooks.text_area_paint when it is set.
    virtual void paintLines(QPainter& painter, WindowRecord* rec);
};

// An editbox (input line). Single-line, two-line or growing by the window's
// editbox mode.
class EditBox : public QPlainTextEdit {
    Q_OBJECT
public:
    EditBox(QWidget* parent, int second);
    WindowRecord* record() const;
    int isSecond() const { return second_; }
    // The number of lines the text holds.
    int lineCount() const;
    // Text as UTF-8 bytes, and setting it (the caret goes to the end).
    std::string textBytes() const;
    void setTextBytes(const std::string& text);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    // Pastes and drops take plain text only; empty or text-less data does nothing.
    bool canInsertFromMimeData(const QMimeData* source) const override;
    void insertFromMimeData(const QMimeData* source) override;

private:
    void onChanged();
    int second_ = 0;
    int pasting_ = 0;  // a paste is being inserted: its lines are run after it
};

// The list box: a channel's nick list, a list window's lines, a custom
// window's list.
class ListBox : public QListWidget {
    Q_OBJECT
public:
    explicit ListBox(QWidget* parent);
    WindowRecord* record() const;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
};

// The window widget of every window class. Its object name is the class name.
class ChildWindow : public QWidget {
    Q_OBJECT
public:
    ChildWindow(const QString& class_name, QWidget* parent = nullptr);
    WindowRecord* record() const;
    QString className() const { return class_name_; }

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    QString class_name_;
};

// The MDI frame of a child window: paints the activity frame while minimised.
class ChildFrame : public QMdiSubWindow {
    Q_OBJECT
public:
    explicit ChildFrame(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;
};

// ---- Calls into other parts of the program ----
//
// A null entry means that part is absent; the behaviour without it is given.
struct ChildHooks {
    // Display: painting and input of the controls. Absent: background only,
    // keys go to the control's own handling.
    void (*text_area_paint)(TextArea* area, QPainter& painter, WindowRecord* rec) = nullptr;
    int (*text_area_key)(TextArea* area, QKeyEvent* event, WindowRecord* rec) = nullptr;
    int (*text_area_mouse)(TextArea* area, QMouseEvent* event, WindowRecord* rec) = nullptr;
    int (*editbox_key)(EditBox* box, QKeyEvent* event, WindowRecord* rec) = nullptr;
    int (*listbox_key)(ListBox* list, QKeyEvent* event, WindowRecord* rec) = nullptr;
    // The window's background colour. Absent: white.
    QColor (*background_colour)(WindowRecord* rec) = nullptr;
    // The RGB of a palette entry 0..15. Absent: the standard palette.
    QRgb (*palette_rgb)(int index) = nullptr;
    // The two frame colours (raised border). Absent: the style's light and dark.
    void (*frame_colours)(QColor* light, QColor* dark) = nullptr;

    // Deferred keys of the window.
    void (*tab_complete)(WindowRecord* rec, int second) = nullptr;
    // Submits an editbox: flags as the editbox submission takes them (1
    // Enter, 5 the Enter typed in the box), key flags bit 0 clear for a
    // paste, bit 1 Ctrl held. Absent: nothing.
    int (*editbox_submit)(WindowRecord* rec, EditBox* box, int flags, int key_flags) = nullptr;
    // Input history: direction 1 older, -1 newer. Absent: nothing.
    void (*history_recall)(WindowRecord* rec, int direction, int second) = nullptr;
    void (*find_dialog)(WindowRecord* rec) = nullptr;
    // Runs the function-key alias ("F%d", "sF%d", "cF%d", "aF%d"); 1 when one ran.
    // Absent: none exists.
    int (*function_key)(WindowRecord* rec, const std::string& alias) = nullptr;
    // Ends a text selection in progress.
    void (*selection_end)(WindowRecord* rec) = nullptr;
    // The editbox text changed (replaces the built-in handling when set).
    void (*editbox_changed)(EditBox* box, WindowRecord* rec) = nullptr;
    void (*tab_completion_reset)(Connection* conn) = nullptr;

    // Activation.
    // The user interface follows the activated window: colours dialog,
    // hotlink state, flashing, voice commands, toolbar connect state, menu
    // items, tray. Absent: nothing.
    void (*activation_ui_update)(WindowRecord* rec) = nullptr;
    // Script timers and dialogs that follow the current connection.
    void (*follow_current_conn)() = nullptr;
    void (*window_menu_update)() = nullptr;
    // The activity level of the window was cleared on activation.
    void (*activity_cleared)(WindowRecord* rec) = nullptr;

    // System menu commands (250..306); 1 when handled. Absent: none handled.
    int (*sys_command)(QWidget* hwnd, int id) = nullptr;
    // Whether the speech character is on. Absent: off.
    int (*speech_on)() = nullptr;
    // Whether the frame runs hidden. Absent: no.
    int (*frame_hidden)() = nullptr;

    // Frame commands (170 tile, 171 tile the other way, 172 cascade, 173
    // arrange icons) sent (send 1) or posted. Absent: nothing.
    void (*frame_command)(int id, int send) = nullptr;
    // The MDI client's background (the "@mdi" picture); 1 when painted.
    int (*mdi_paint_background)(QPainter& painter, QWidget* mdi) = nullptr;
    // Right button released over the MDI background.
    void (*mdi_background_popup)(const QPoint& global) = nullptr;

    void (*nicklist_view_refresh)(WindowRecord* rec) = nullptr;
    void (*frame_title_changed)() = nullptr;
    // DCC transfer windows: their layout. Absent: nothing to place.
    void (*dccwin_layout)(WindowRecord* rec) = nullptr;
    // Sets a status window's icon (27 idle, 28 connecting, 29 connected, 30
    // registered). Absent: the kind is kept in the property "statusIcon".
    void (*status_icon)(WindowRecord* rec, int icon) = nullptr;
    // The focus is in a dialog or window that is not the MDI client, a bar or
    // a window of the list (a new desktop window then opens inactive).
    int (*focus_elsewhere)() = nullptr;
    // Picture windows: grow the back buffer after a layout.
    void (*picture_grow)(WindowRecord* rec) = nullptr;
};
extern ChildHooks child_hooks;

// Emitted after a list box was made (owner drawing, sorting, pointer
// tracking), in this order.
enum ListboxMadeOrder {
    kListboxMadeInput = 10,
};
extern Signal<void(ListBox* list, WindowRecord* rec)> listbox_made;

// Modifier bits that a deferred key (WM_APP+64) carries above the key code.
constexpr int kKeyCtrl = 0x10000;
constexpr int kKeyShift = 0x20000;
constexpr int kKeyAlt = 0x40000;

// The kKey* bits of the keyboard modifiers that are held.
int key_modifier_bits(Qt::KeyboardModifiers mods);

// Layout reasons.
constexpr int kLayoutFull = 32879;
constexpr int kLayoutNoRepaint = 32880;
constexpr int kLayoutEditboxCheck = 32881;

// Scroll codes.
enum ScrollCode : int {
    kScrollLineUp = 0,
    kScrollLineDown = 1,
    kScrollPageUp = 2,
    kScrollPageDown = 3,
    kScrollThumbPosition = 4,
    kScrollThumbTrack = 5,
    kScrollTop = 6,
    kScrollBottom = 7,
};

// ---- Geometry ----

// What the layout of a window depends on.
struct WinLayoutInput {
    int client_width = 0;
    int client_height = 0;
    int border_style = 0;     // 0 none, 1 thin, 2 raised, 3 sunken
    int type = 0;
    int subtype = 0;
    int line_height = 0;      // of the window's font
    int editbox_extra = 1;
    int editbox_spacing = 0;
    int editbox_mode = 0;     // 0 one line, 1 two lines, 2 grows with its lines
    int editbox_lines = 1;
    int has_text_area = 0;
    int has_scroll_bar = 0;
    int has_editbox = 0;
    int has_editbox2 = 0;
    int editbox_split = 70;   // per cent of the row for the first editbox
    int has_listbox = 0;
    int list_shown = 1;       // the side list is shown (not hidden)
    int nicklist_place = 0;   // 0 right, 1 left, 2 hidden
    int side_width = 0;       // the side list's width in pixels
    int scroll_bar_width = 16;
};

// Where the controls go; an empty rectangle means "not shown". The scroll
// bar's rectangle is relative to the text area.
struct WinLayout {
    QRect text_area;
    QRect scroll_bar;
    QRect editbox;
    QRect editbox2;
    QRect listbox;
    int editbox_row = 0;      // height of the editbox row
    int editbox_lines = 1;    // editbox lines that fit (growing mode)
    int side_width = 0;       // the side list's width after shrinking
};

// The gap between the two editboxes and the splitter between text and list.
constexpr int kEditboxGap = 4;
constexpr int kSplitterWidth = 3;

// Border insets: left/top and right/bottom.
void win_border_insets(int border_style, int type, int* left_top, int* right_bottom);
// The height of the editbox row.
int win_editbox_row_height(int line_height, int extra, int spacing, int mode, int lines,
                           int client_height, int* lines_used);
// The whole layout; a pure function of its input.
WinLayout win_compute_layout(const WinLayoutInput& in);
// The layout input of a live record.
WinLayoutInput win_layout_input(WindowRecord* rec);

// ---- Windows ----

// The widget that is the window on screen: its MDI frame, or the window itself.
QWidget* win_container(QWidget* hwnd);
int win_is_minimised(const QWidget* hwnd);
int win_is_visible(const QWidget* hwnd);

// Creates the window with the prepared class, title, position and style (see
// window_open.h): an MDI child of the MDI client, or a desktop window.
// Returns the handle or null.
QWidget* win_create_frame(WindowRecord* rec, int in_mdi);
// The border style from the option; 0 for DCC transfer windows and custom
// windows with their own frame.
int win_border_style(WindowRecord* rec);
// The text area and (unless a picture window) its scroll bar. 0 on failure.
int win_create_text_area(WindowRecord* rec);
// (Re)creates the editbox (flag 1) and the second editbox (flag 2) keeping
// their text and selection. 0 on failure.
int win_create_editbox(WindowRecord* rec, int flags);
// Creates or restyles the list box. 0 on failure.
int win_create_listbox(WindowRecord* rec, int style);
// Border style, text area, editboxes and list box again, then a full layout.
int win_reload_controls(WindowRecord* rec);
// Lays the window out (reason: a size type 0..4, or 32879 full, 32880
// without repaint, 32881 editbox height check).
void win_layout(QWidget* hwnd, int reason);
// The record and the text area's client rectangle, less the scroll bar
// unless with_scroll_bar; never negative. Null without a record.
WindowRecord* win_text_rect(QWidget* hwnd, WinRect& out, int with_scroll_bar);
// Rows of lines that fit in the text area.
int win_rows_that_fit(WindowRecord* rec);
// The window's line height (double spacing doubles it for scrolling).
int win_line_height(WindowRecord* rec);
void win_update_vscroll(WindowRecord* rec);
void win_recalc_scroll(WindowRecord* rec, int mode);
// Scrolls the text (scroll codes above); `position` for the thumb codes.
// With the list box focused and the request not from the scroll bar, the
// list box's selection moves instead.
void win_on_vscroll(WindowRecord* rec, int code, int position, int from_scroll_bar);
// Shows a newly made window.
void win_show_new(WindowRecord* rec, int build_menu);
void win_build_system_menu(WindowRecord* rec);
void win_sysmenu_add_desktop_item(QMenu* menu, int position, WindowRecord* rec, int in_mdi);
void win_enable_sysmenu_items(QWidget* hwnd);
// The command id of a system-menu action (its data), 0 for others.
int win_sysmenu_action_id(const QAction* action);
void win_bring_to_front(QWidget* hwnd);
// Left, top, width and height (in the rectangle's fields) of the window.
void win_get_placement_rect(QWidget* hwnd, WinRect& out);
void win_client_with_bars(QWidget* hwnd, WinRect& out);
void win_work_area(WinRect& out);
// System metrics by their usual numbers (2 vertical scroll bar width, 3
// horizontal scroll bar height, 4 caption height, 32 frame width, 33 frame height).
int win_system_metric(int index);
void win_mdi_refresh();
// The activity frames of minimised windows (one window, or all for null).
void win_paint_iconic_highlight(WindowRecord* rec);
// The palette entry (0..15, -1 none) of the activity frame of a level.
int win_activity_frame_colour(int level);
// Paints the window's background and border.
void win_paint_frame(QWidget* hwnd, QPainter& painter, const QRect& rect);
// Status windows: icon 27 idle, 28 connecting, 29 connected, 30 registered.
void win_set_status_icon(WindowRecord* rec);
int win_status_icon_kind(Connection* conn);

// ---- Activation and the window procedure ----

// The last activated window and the one before it.
extern WidgetRef<QWidget> win_last_activated;
extern WidgetRef<QWidget> win_previous_activated;

void win_on_activate(QWidget* hwnd);
// Focus to the last focused control, else the editbox, else the list box.
// 1 when the focus already was in an editbox or the list box.
int win_focus_input(QWidget* hwnd);
// The handling of the window's private messages (WM_APP+64, +78, +110).
intptr_t mdi_child_message(QWidget* hwnd, int message, uintptr_t wparam, intptr_t lparam);
// Posts a private message to the window.
int win_post(QWidget* hwnd, int message, uintptr_t wparam, intptr_t lparam);

// ---- MDI client ----

// Takes the MDI area that the frame made (its central widget) as the MDI
// client. Returns it, or null.
QMdiArea* mdi_client_create(QMdiArea* area);
QMdiArea* mdi_client();
// The MDI client's rectangle (screen coordinates with the flag, else its own
// with origin 0,0) less one pixel on each side; never inverted.
void mdi_client_rect(WinRect& out, int screen);
// For an MDI child while no child is maximised and auto-arrange is on: the
// arrange command (170, 171 or 172 by the arrange mode) and 173 when asked.
void mdi_post_arrange_command(QWidget* hwnd, int send);

// The editbox spacing setting (pixels added to the editbox row).
extern int win_editbox_spacing;
// Auto-arrange of the MDI children (set by the frame's Window menu): on or
// off, the arrangement (0 tile, 1 tile the other way, 2 cascade), and
// whether the icons are arranged too.
extern int mdi_auto_arrange;
extern int mdi_arrange_mode;
extern int mdi_arrange_icons;
// The window-border option (section "styles", key "thin": 0 none, 1 thin,
// 2 raised, 3 sunken).
extern int win_border_option;
