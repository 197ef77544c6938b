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

// The text area: shows the window's lines. It paints its background and
// the lines (a subclass may override paintLines()).
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
    // Paints the lines. The default fills the background colour, then paints
    // the window's lines.
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
    // Activation: script timers and dialogs that follow the current connection.
    void (*follow_current_conn)() = nullptr;

    // Whether the speech character is on. Absent: off.
    int (*speech_on)() = nullptr;
    // DCC transfer windows: their layout. Absent: nothing to place.
    void (*dccwin_layout)(WindowRecord* rec) = nullptr;
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

// Whether the frame runs hidden (put away to the tray icon): a listener
// answers true. Without one it never does.
enum FrameHiddenOrder {
    kFrameHiddenTray = 50,
};
extern Signal<bool()> frame_hidden_asked;

// The text area and (unless a picture window) its scroll bar. 0 on failure.
int win_create_text_area(WindowRecord* rec);
// (Re)creates the editbox (flag 1) and the second editbox (flag 2) keeping
// their text and selection. 0 on failure.
int win_create_editbox(WindowRecord* rec, int flags);
// Creates or restyles the list box. 0 on failure.
int win_create_listbox(WindowRecord* rec, int style);
