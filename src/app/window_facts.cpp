#include "app/window_facts.h"
#include "display/window_queries.h"

#include <QApplication>
#include <QCursor>
#include <QMdiArea>
#include <QScreen>
#include <QMdiSubWindow>
#include <QTextCursor>
#include <QWidget>

#include "display/child_layout.h"
#include "display/mouse_clicks.h"
#include "app/child_widgets.h"
#include "app/child_window.h"
#include "app/mdi_client.h"

bool win_facts(QWidget* hwnd, WindowFacts& out)
{
    out = WindowFacts{};
    if (!hwnd)
        return false;
    QWidget* frame = win_container(hwnd);
    win_get_placement_rect(hwnd, out.place);
    out.visible = frame->isVisible();
    out.minimised = frame->isMinimized();
    out.maximised = frame->isMaximized();
    out.full_screen = frame->isFullScreen();
    out.mdi_child = win_is_mdi_child(hwnd) != 0;
    out.on_top = (frame->windowFlags() & Qt::WindowStaysOnTopHint) != 0;
    const QPoint at = frame->mapToGlobal(QPoint(0, 0));
    out.screen.left = at.x();
    out.screen.top = at.y();
    out.screen.right = hwnd->width();
    out.screen.bottom = hwnd->height();
    out.title = frame->windowTitle().toStdString();
    return true;
}

bool win_editbox_facts(WindowRecord* rec, int box, std::string& text, int& sel_start, int& sel_end)
{
    EditBox* e = rec ? (box >= 1 ? rec->editbox2.get() : rec->editbox.get()) : nullptr;
    if (!e)
        return false;
    text = e->textBytes();
    const QTextCursor c = e->textCursor();
    sel_start = c.selectionStart() + 1;
    sel_end = c.selectionEnd() + 1;
    return true;
}

bool win_listbox_facts(WindowRecord* rec, std::vector<std::string>* texts, std::vector<int>& selected)
{
    selected.clear();
    ListBox* list = rec ? rec->listbox.get() : nullptr;
    if (!list)
        return false;
    const int count = list->count();
    if (texts) {
        texts->clear();
        texts->reserve(static_cast<std::size_t>(count));
    }
    for (int i = 0; i < count; ++i) {
        QListWidgetItem* item = list->item(i);
        if (texts)
            texts->push_back(item->text().toStdString());
        if (item->isSelected())
            selected.push_back(i);
    }
    return true;
}

void win_mouse_facts(MouseFacts& out)
{
    out = MouseFacts{};
    // Without the widget application there is no cursor to ask.
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
        return;
    // While a window's mouse event runs, its point and window; else the
    // cursor and the window under it.
    const bool recorded = mouse_state.x != -1;
    const QPoint at = recorded ? QPoint(mouse_state.x, mouse_state.y) : QCursor::pos();
    QWidget* under = recorded && win_is_record(mouse_state.rec) ? mouse_state.rec->hwnd.get()
                                                                 : QApplication::widgetAt(at);
    if (under) {
        QWidget* hwnd = win_owner_hwnd(under);
        out.rec = hwnd ? win_record_of(hwnd) : nullptr;
        if (out.rec) {
            const QPoint local = hwnd->mapFromGlobal(at);
            out.x = local.x();
            out.y = local.y();
            ListBox* list = out.rec->listbox.get();
            out.over_list = list && list->isVisible() && list->rect().contains(list->mapFromGlobal(at));
        }
    }
    if (QMdiArea* area = mdi_client()) {
        const QPoint m = area->viewport()->mapFromGlobal(at);
        out.mx = m.x();
        out.my = m.y();
    }
    QScreen* screen = QGuiApplication::screenAt(at);
    const QPoint origin = screen ? screen->geometry().topLeft() : QPoint();
    out.dx = at.x() - origin.x();
    out.dy = at.y() - origin.y();
    if (recorded) {
        out.keys = mouse_state.keys;
        return;
    }
    const Qt::MouseButtons b = QGuiApplication::mouseButtons();
    const Qt::KeyboardModifiers k = QGuiApplication::keyboardModifiers();
    out.keys = (b & Qt::LeftButton ? 1 : 0) | (k & Qt::ControlModifier ? 2 : 0) | (k & Qt::ShiftModifier ? 4 : 0) |
               (k & Qt::AltModifier ? 8 : 0) | (b & Qt::RightButton ? 16 : 0) | (b & Qt::MiddleButton ? 32 : 0);
}

QWidget* win_last_active_child()
{
    QMdiArea* area = mdi_client();
    if (!area)
        return nullptr;
    QMdiSubWindow* sub = area->activeSubWindow();
    if (!sub) {
        const auto list = area->subWindowList(QMdiArea::ActivationHistoryOrder);
        if (!list.isEmpty())
            sub = list.last();
    }
    return sub ? sub->widget() : nullptr;
}
