// The window widget of every class of the window list and its MDI frame,
// with the calls they make into other parts of the program, and making a
// window record's editboxes (the controls themselves are in
// display/child_controls.h).
#pragma once

#include <QColor>
#include <QFrame>
#include <QListWidget>
#include <QMdiSubWindow>
#include <QPlainTextEdit>
#include <QWidget>

#include <string>

#include "display/child_controls.h"
#include "model/window_record.h"

class QPainter;
class QKeyEvent;
class QMouseEvent;
class QWheelEvent;

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


// Whether the frame runs hidden (put away to the tray icon): a listener
// answers true. Without one it never does.
enum FrameHiddenOrder {
    kFrameHiddenTray = 50,
};
extern Signal<bool()> frame_hidden_asked;

// (Re)creates the editbox (flag 1) and the second editbox (flag 2) keeping
// their text and selection. 0 on failure.
int win_create_editbox(WindowRecord* rec, int flags);
// Re-creates the input boxes and lays the window out, keeping the focus in
// the first box when it was in the window.
void editbox_relayout(WindowRecord* rec, int flags);
// Listens to the protocol: the own prefix in a channel changed (the input
// boxes are made again).
void child_widgets_install();
void child_widgets_uninstall();
