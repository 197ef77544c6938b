// The child controls of a window of the window list: the text area with its
// scroll bar, the editboxes and the list box; making the text area and the
// list box for a window record.
#pragma once

#include <QColor>
#include <QFrame>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QWidget>

#include <string>

#include "core/signal.h"
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
    void leaveEvent(QEvent* event) override;
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

// Emitted after a list box was made (owner drawing, sorting, pointer
// tracking), in this order.
enum ListboxMadeOrder {
    kListboxMadeInput = 10,
    kListboxMadeClicks = 20,
};
extern Signal<void(ListBox* list, WindowRecord* rec)> listbox_made;

// The text area and (unless a picture window) its scroll bar. 0 on failure.
int win_create_text_area(WindowRecord* rec);
// Creates or restyles the list box. 0 on failure.
int win_create_listbox(WindowRecord* rec, int style);
// A control's frame: sunken (the border style 3), else none.
void win_set_sunken(QFrame* frame, int sunken);
