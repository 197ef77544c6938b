// The MDI client of the child windows.
#include "app/mdi_client.h"
#include "display/window_queries.h"
#include "app/frame_menu.h"
#include "app/child_window.h"
#include "app/popup_menus.h"
#include "display/backgrounds.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>


int mdi_auto_arrange = 0;
int mdi_arrange_mode = 0;
int mdi_auto_arrange_icons = 0;

void win_mdi_refresh()
{
    QMdiArea* mdi = mdi_client();
    if (!mdi)
        return;
    QMdiSubWindow* top = mdi->activeSubWindow();
    bool no_frame = false;
    if (top && top->isMaximized() && top->isVisible()) {
        WindowRecord* rec = win_record_of(top->widget());
        no_frame = rec && rec->border_style != 0;
    }
    if (no_frame)
        mdi->setFrameStyle(QFrame::NoFrame);
    else
        mdi->setFrameStyle(QFrame::Box | QFrame::Plain);
    mdi->viewport()->update();
}

// ---- MDI client ----

namespace {

// Paints the area's background and opens its background menu. It works
// from the viewport it was given and never from the area while no event of
// its own comes: when the area is destroyed, its viewport still receives
// events after the area's own part is gone, and the filter must not touch
// it then. The filter goes with the viewport.
class MdiFilter : public QObject {
public:
    explicit MdiFilter(QWidget* viewport) : QObject(viewport), viewport_(viewport) {}
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        QEvent::Type type = event->type();
        if (watched != viewport_ || (type != QEvent::Paint && type != QEvent::MouseButtonRelease))
            return false;
        // A checked cast: it fails on an area that is being destroyed.
        auto* mdi = qobject_cast<QMdiArea*>(viewport_->parent());
        if (!mdi || mdi->viewport() != viewport_)
            return false;
        if (type == QEvent::Paint) {
            QPainter painter(viewport_);
            return bg_mdi_paint(painter, mdi) != 0;
        }
        if (type == QEvent::MouseButtonRelease) {
            auto* me = static_cast<QMouseEvent*>(event);
            if (me->button() == Qt::RightButton) {
                menu_build_bar_popup(me->globalPosition().toPoint(), 0);
                return true;
            }
        }
        return false;
    }

private:
    QWidget* viewport_;
};

}  // namespace

QMdiArea* mdi_client_create(QMdiArea* area)
{
    if (!area)
        return nullptr;
    win_set_mdi_handle(area);
    if (area->property("kestMdiClient").toBool())
        return area;  // taken before: its filter and signal are in place
    area->setProperty("kestMdiClient", true);
    area->setObjectName("mdiclient");
    area->setProperty("className", QStringLiteral("mdiclient"));
    area->setFrameStyle(QFrame::Box | QFrame::Plain);
    area->setLineWidth(1);
    area->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    area->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    if (qApp)
        area->setBackground(QApplication::palette().brush(QPalette::Dark));
    auto* filter = new MdiFilter(area->viewport());
    area->viewport()->installEventFilter(filter);
    QObject::connect(area, &QMdiArea::subWindowActivated, area, [](QMdiSubWindow* sub) {
        if (sub && sub->widget() && win_record_of(sub->widget()))
            win_on_activate(sub->widget());
    });
    return area;
}

QMdiArea* mdi_client()
{
    return qobject_cast<QMdiArea*>(win_mdi_handle());
}

void mdi_client_rect(WinRect& out, int screen)
{
    out = WinRect{};
    QMdiArea* mdi = mdi_client();
    if (!mdi)
        return;
    QRect r = mdi->rect();
    if (screen)
        r.moveTopLeft(mdi->mapToGlobal(QPoint(0, 0)));
    out.left = r.left() + 1;
    out.top = r.top() + 1;
    out.right = std::max(out.left, r.left() + r.width() - 1);
    out.bottom = std::max(out.top, r.top() + r.height() - 1);
}

void mdi_post_arrange_command(QWidget* hwnd, int)
{
    if (!win_is_mdi_child(hwnd))
        return;
    QMdiArea* mdi = mdi_client();
    if (!mdi)
        return;
    for (QMdiSubWindow* sub : mdi->subWindowList()) {
        if (sub->isMaximized())
            return;
    }
    if (!mdi_auto_arrange)
        return;
    int command = mdi_arrange_mode == 1 ? 171 : (mdi_arrange_mode == 2 ? 172 : 170);
    frame_on_command(nullptr, static_cast<uintptr_t>(command), 0);
    if (mdi_auto_arrange_icons)
        frame_on_command(nullptr, 173, 0);
}
