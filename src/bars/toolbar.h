// The toolbar window: a dockable bar of picture buttons along one side of
// the frame. It keeps its buttons in one array, answers the button messages
// by number (toolbar_message), lays itself out at every paint, and runs a
// button's command on a click: the script line of a user button, or the
// frame menu command of a built-in slot.
#pragma once

#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <vector>

#include "bars/toolbar_buttons.h"

class ToolbarWindow : public QWidget {
    Q_OBJECT
public:
    explicit ToolbarWindow(QWidget* owner);
    ~ToolbarWindow() override;

    std::vector<ToolbarButton> buttons;
    int pressed_id = 0;  // button being pressed
    int hot_id = 0;      // button under the cursor
    int rows = 0;        // row count of the last layout
    int last_thickness = 0;
    QTimer hot_timer;    // timer 125: clears the hot button once the cursor left
    QTimer connect_timer; // timer 126: the second-click wait of the connect button

    // Lays the buttons out for the current size; 1 when the frame needs a
    // new layout (row count or thickness changed).
    int layout();
    // The button under a point (visible, not a separator, inside its
    // rectangle less one pixel), or -1.
    int hit(const QPoint& p) const;
    int index_of_id(int id) const;
    void repaint_id(int id);
    // The bar's thickness both ways: the docking takes the side it needs.
    QSize sizeHint() const override;
    // A right click: the bar's own menu on its empty part, a built-in
    // button's list beside the button.
    void right_click(const QPoint& pt, const QPoint& global);
    // A button's own popup (its popup text), shown beside it.
    void custom_popup(const ToolbarButton& b);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void draw_button(QPainter& p, ToolbarButton& b);
    void hot_timer_tick();
    void set_hot(int id);
    int painting_ = 0;
};

// The toolbar window; null while there is none.
extern QPointer<ToolbarWindow> toolbar_window;
