// The child controls of a window of the window list: the window widget of
// every class, its MDI frame, the text area, the editboxes and the list box,
// with the calls they make into other parts of the program; and making them
// for a window record.
#pragma once

#include <QColor>
#include <QFrame>
#include <QListWidget>
#include <QMdiSubWindow>
#include <QPlainTextEdit>
#include <QWidget>

#include <string>

#include "model/window_record.h"

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
    // A line of that colour across the top sets the box apart from the text
    // above it; an invalid colour takes it away.
    void setTopLine(const QColor& colour);

protected:
    bool event(QEvent* event) override;
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
    QColor top_line_;
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
    // The restored place is kept while the window is minimised or maximised.
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void keep_normal_rect();
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
    kListboxMadeClicks = 20,
};
extern Signal<void(ListBox* list, WindowRecord* rec)> listbox_made;

// The text area and (unless a picture window) its scroll bar. 0 on failure.
int win_create_text_area(WindowRecord* rec);
// (Re)creates the editbox (flag 1) and the second editbox (flag 2) keeping
// their text and selection. 0 on failure.
int win_create_editbox(WindowRecord* rec, int flags);
// Creates or restyles the list box. 0 on failure.
int win_create_listbox(WindowRecord* rec, int style);
