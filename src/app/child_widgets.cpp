// The window widget and its MDI frame, and making a window's editboxes.
#include "app/child_widgets.h"
#include "display/child_controls.h"
#include "display/window_queries.h"
#include "app/frame_look.h"
#include "display/editbox.h"
#include "display/input_procs.h"
#include "display/mouse_clicks.h"
#include "display/text_area.h"
#include "model/colors.h"
#include "app/confirm.h"
#include "app/child_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFocusEvent>
#include <QHash>
#include <QIcon>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QMimeData>
#include <QPainter>
#include <QPaintEvent>
#include <QResizeEvent>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QWheelEvent>

#include <algorithm>

#include "app/child_shared.h"
#include "app/startup.h"
#include "model/connection.h"
#include "app/system_menu.h"
#include "app/window_open.h"
#include "irc/dispatch/modes.h"
#include "model/nick_list.h"
#include "platform/app_messages.h"
#include "platform/platform_utils.h"

ChildHooks child_hooks;
Signal<bool()> frame_hidden_asked;

namespace {

// Whether our own nick holds one of the prefix characters in the channel
// (the second editbox's "when mode").
bool own_nick_has_prefix(WindowRecord* rec, const std::string& prefixes)
{
    if (!rec->conn)
        return false;
    const NickEntry* me = nicklist_find(rec, conn_own_nick(rec->conn));
    if (!me)
        return false;
    for (char c : prefixes) {
        const int bit = nicklist_prefix_bit(rec->conn, c);
        if (bit && (me->number & bit))
            return true;
    }
    return false;
}

QRgb palette_rgb(int index)
{
    return colour_palette_rgb(index);
}

void destroy_control(QWidget* control)
{
    if (!control)
        return;
    control->hide();
    control->setParent(nullptr);
    control->deleteLater();
}

}  // namespace

QColor background_of(WindowRecord* rec)
{
    return colour_window_background(rec);
}

void frame_colours(QColor* light, QColor* dark)
{
    frame_style_colours(light, dark);
}

// ---- Widgets ----

ChildWindow::ChildWindow(const QString& class_name, QWidget* parent)
    : QWidget(parent), class_name_(class_name)
{
    setObjectName(class_name);
    setProperty("className", class_name);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

WindowRecord* ChildWindow::record() const
{
    return win_record_of(this);
}

bool ChildWindow::event(QEvent* event)
{
    if (event->type() != app_message_event_type())
        return QWidget::event(event);
    AppMessageHandler handler = [this](int message, uintptr_t wparam, intptr_t lparam) -> intptr_t {
        return mdi_child_message(this, message, wparam, lparam);
    };
    if (app_message_event(event, &handler))
        return true;
    return QWidget::event(event);
}

void ChildWindow::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    win_paint_frame(this, painter, event->rect());
}

void ChildWindow::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (!record())
        return;
    QWidget* frame = win_container(this);
    int size_type = frame->isMaximized() ? 2 : (frame->isMinimized() ? 1 : 0);
    win_layout(this, size_type);
}

void ChildWindow::closeEvent(QCloseEvent* event)
{
    // A status window asks first, as the settings say.
    if (WindowRecord* rec = record(); rec && rec->type == kWinStatus && rec->closing == 0 &&
                                       !win_closing_by_program && !app_exit_under_way() &&
                                       !win_confirm_close_status(this)) {
        event->ignore();
        return;
    }
    if (!win_close(this)) {
        event->ignore();
        return;
    }
    event->accept();
    // The window goes: the MDI children are arranged again and the MDI
    // client repainted.
    mdi_post_arrange_command(this, 0);
    post_app_message(WM_APP_MDI_REFRESH, 0, 0);
}

void ChildWindow::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isWindow() && isActiveWindow() && record())
        win_on_activate(this);
    if (event->type() == QEvent::WindowStateChange && isWindow()) {
        if (WindowRecord* rec = record())
            rec->maximised = isMaximized() ? 1 : 0;
    }
}

void ChildWindow::mousePressEvent(QMouseEvent* event)
{
    if (record() && win_active.get() != this) {
        win_bring_to_front(this);
        win_on_activate(this);
    }
    QWidget::mousePressEvent(event);
}

ChildFrame::ChildFrame(QWidget* parent) : QMdiSubWindow(parent)
{
    setAttribute(Qt::WA_DeleteOnClose);
    if (QMenu* sys = systemMenu()) {
        // The style makes the icons of the frame's own entries anew for
        // every frame; all frames share one copy of each.
        static QHash<QString, QIcon> shared_icons;
        for (QAction* a : sys->actions()) {
            if (a->icon().isNull())
                continue;
            auto it = shared_icons.constFind(a->text());
            if (it == shared_icons.constEnd())
                shared_icons.insert(a->text(), a->icon());
            else
                a->setIcon(*it);
        }
        connect(sys, &QMenu::aboutToShow, this, [this] { win_sysmenu_prepare(this); });
    }
}

void ChildFrame::paintEvent(QPaintEvent* event)
{
    QMdiSubWindow::paintEvent(event);
    if (!isMinimized())
        return;
    WindowRecord* rec = win_record_of(widget());
    if (!rec)
        return;
    int colour = win_activity_frame_colour(rec->activity);
    if (colour < 0)
        return;
    QPainter painter(this);
    painter.setPen(QColor(palette_rgb(colour)));
    QRect r = rect();
    painter.drawRect(r.adjusted(1, 1, -2, -2));
    painter.drawRect(r.adjusted(2, 2, -3, -3));
}

void ChildFrame::keep_normal_rect()
{
    if (!isMinimized() && !isMaximized())
        setProperty("kestNormalRect", geometry());
}

void ChildFrame::moveEvent(QMoveEvent* event)
{
    QMdiSubWindow::moveEvent(event);
    keep_normal_rect();
}

void ChildFrame::resizeEvent(QResizeEvent* event)
{
    QMdiSubWindow::resizeEvent(event);
    keep_normal_rect();
}

void ChildFrame::changeEvent(QEvent* event)
{
    QMdiSubWindow::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange)
        return;
    if (WindowRecord* rec = win_record_of(widget())) {
        if (isMaximized())
            rec->maximised = 1;
        else if (!isMinimized())
            rec->maximised = 0;
        if (isMinimized()) {
            win_enable_sysmenu_items(widget());
            post_app_message(WM_APP_MDI_REFRESH, 0, 0);
        } else if (static_cast<QWindowStateChangeEvent*>(event)->oldState() & Qt::WindowMinimized) {
            // Restored: the sizes seen while minimised laid nothing out
            // (a window opened minimised never was), so lay it out now
            // that the restored size is in place.
            win_post(widget(), WM_APP_DEFERRED_LAYOUT, 0, kLayoutFull);
        }
    }
}

int win_create_editbox(WindowRecord* rec, int flags)
{
    if (!win_is_record(rec) || !rec->hwnd.get())
        return 0;
    QWidget* hwnd = rec->hwnd.get();
    struct Saved {
        std::string text;
        int anchor = 0;
        int position = 0;
        bool present = false;
        bool had_focus = false;
    };
    auto save = [](EditBox* box) {
        Saved s;
        if (!box)
            return s;
        s.present = true;
        s.text = box->textBytes();
        if (s.text.size() > kLongText)
            s.text.resize(kLongText);
        QTextCursor c = box->textCursor();
        s.anchor = c.anchor();
        s.position = c.position();
        s.had_focus = box->hasFocus();
        return s;
    };
    auto restore = [](EditBox* box, const Saved& s) {
        if (!box || !s.present)
            return;
        box->setTextBytes(s.text);
        QTextCursor c = box->textCursor();
        int end = box->document()->characterCount() - 1;
        c.setPosition(std::clamp(s.anchor, 0, std::max(0, end)));
        c.setPosition(std::clamp(s.position, 0, std::max(0, end)), QTextCursor::KeepAnchor);
        box->setTextCursor(c);
        if (s.had_focus)
            box->setFocus();
    };

    rec->editbox_extra = rec->border_style == 3 ? 3 : 1;
    const char* class_name = rec->editbox_kind == 2 ? "RichEdit20A" : "Edit";
    auto configure = [&](EditBox* box) {
        box->setObjectName(QLatin1String(class_name));
        box->setProperty("className", QLatin1String(class_name));
        win_set_sunken(box, rec->border_style == 3);
        // A line in the frame colour over the box sets it apart from the
        // text above, also while it is empty. Painted by the box itself: a
        // style sheet would give every box a style of its own.
        QColor light, dark;
        if (rec->border_style != 3)
            frame_colours(&light, &dark);
        box->setTopLine(dark);
        box->setLineWrapMode(rec->editbox_mode == 0 ? QPlainTextEdit::NoWrap
                                                    : QPlainTextEdit::WidgetWidth);
        if (rec->font)
            box->setFont(*rec->font);
        int lh = win_line_height(rec);
        box->setMinimumHeight(0);
        box->resize(box->width(), (rec->editbox_mode ? 2 * lh : lh) + rec->editbox_extra);
        box->show();
    };

    if (flags & 1) {
        Saved s = save(rec->editbox.get());
        if (EditBox* old = rec->editbox.get()) {
            if (rec->last_focus.get() == static_cast<QWidget*>(old))
                rec->last_focus = nullptr;
            destroy_control(old);
        }
        auto* box = new EditBox(hwnd, 0);
        configure(box);
        rec->editbox = box;
        restore(box, s);
    }

    // The second editbox of a channel.
    if ((flags & 2) || (flags & 1)) {
        bool wanted = rec->type == kWinChannel && rec->editbox2_wanted;
        if (wanted && rec->editbox2_when_mode)
            wanted = own_nick_has_prefix(rec, rec->editbox2_prefixes);
        Saved s = save(rec->editbox2.get());
        if (EditBox* old = rec->editbox2.get()) {
            if (rec->last_focus.get() == static_cast<QWidget*>(old))
                rec->last_focus = nullptr;
            destroy_control(old);
            rec->editbox2 = nullptr;
        }
        if (wanted) {
            auto* box2 = new EditBox(hwnd, 1);
            configure(box2);
            rec->editbox2 = box2;
            restore(box2, s);
        }
    }
    return 1;
}


void editbox_relayout(WindowRecord* rec, int)
{
    if (!win_is_record(rec) || !rec->hwnd.get())
        return;
    QWidget* focus = QApplication::focusWidget();
    bool focus_here = focus && rec->hwnd->isAncestorOf(focus);
    win_create_editbox(rec, 3);
    win_layout(rec->hwnd.get(), kLayoutFull);
    if (focus_here && rec->editbox.get())
        rec->editbox->setFocus();
}

namespace {
int g_prefix_listener = 0;
}  // namespace

void child_widgets_install()
{
    irc_own_prefix_changed.add_once(g_prefix_listener, kOwnPrefixEditbox,
                                    [](WindowRecord* rec) { editbox_relayout(rec, 0); });
}

void child_widgets_uninstall()
{
    irc_own_prefix_changed.drop(g_prefix_listener);
}
