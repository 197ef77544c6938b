#include "app/window_ops.h"
#include "app/frame_menu.h"

#include <QIcon>
#include <QMainWindow>
#include <QMdiArea>
#include <QMenuBar>
#include <QTextCursor>

#include <algorithm>
#include <memory>
#include <QMdiSubWindow>
#include <QWidget>

#include "app/child_window.h"
#include "app/window_open.h"
#include "model/window_record.h"
#include "display/window_queries.h"
#include "display/editbox.h"
#include "platform/platform_utils.h"
#include "irc/link/connect.h"
#include "irc/numerics/numerics.h"

namespace {

bool unset(int v)
{
    return v == kUnsetCoord || v == -1;
}

} // namespace

void win_op_place(QWidget* hwnd, int x, int y, int width, int height, int client_size)
{
    if (!hwnd)
        return;
    QWidget* frame = win_container(hwnd);
    if (client_size && !unset(width) && !unset(height)) {
        // The frame grows by what its decorations take around the client.
        const QSize extra = win_frame_extra(hwnd);
        width += extra.width();
        height += extra.height();
    }
    const bool special = frame->isMinimized() || frame->isMaximized();
    QRect r = special ? QRect(frame->normalGeometry()) : frame->geometry();
    if (!r.isValid())
        r = frame->geometry();
    if (!unset(x))
        r.moveLeft(x);
    if (!unset(y))
        r.moveTop(y);
    if (!unset(width) && width > 0)
        r.setWidth(width);
    if (!unset(height) && height > 0)
        r.setHeight(height);
    if (special) {
        frame->setGeometry(r);  // the restored placement
        return;
    }
    frame->move(r.topLeft());
    frame->resize(r.size());
}

void win_op_geometry(QWidget* hwnd, int* x, int* y, int* width, int* height)
{
    QRect r;
    if (hwnd)
        r = win_container(hwnd)->geometry();
    if (x)
        *x = r.x();
    if (y)
        *y = r.y();
    if (width)
        *width = r.width();
    if (height)
        *height = r.height();
}

void win_op_show(QWidget* hwnd, int state)
{
    if (!hwnd)
        return;
    QWidget* frame = win_container(hwnd);
    switch (state) {
    case kWinOpHide:
        frame->hide();
        break;
    case kWinOpMinimise:
        frame->showMinimized();
        break;
    case kWinOpMaximise:
        frame->showMaximized();
        break;
    case kWinOpRestore:
        frame->showNormal();
        break;
    default:
        frame->show();
        break;
    }
    hwnd->show();
}

int win_op_state(QWidget* hwnd)
{
    if (!hwnd)
        return -1;
    QWidget* frame = win_container(hwnd);
    if (frame->isHidden())
        return -1;
    if (frame->isMinimized())
        return 1;
    if (frame->isMaximized())
        return 2;
    return 0;
}

void win_op_on_top(QWidget* hwnd, int on)
{
    if (!hwnd)
        return;
    QWidget* frame = win_container(hwnd);
    if (frame != hwnd) {
        // An MDI child stays above its siblings by being raised.
        if (on)
            frame->raise();
        return;
    }
    const bool visible = frame->isVisible();
    frame->setWindowFlag(Qt::WindowStaysOnTopHint, on != 0);
    if (visible)
        frame->show();
}

void win_op_activate(QWidget* hwnd, int focus)
{
    if (!hwnd)
        return;
    QWidget* frame = win_container(hwnd);
    if (auto* sub = qobject_cast<QMdiSubWindow*>(frame)) {
        if (QMdiArea* area = sub->mdiArea())
            area->setActiveSubWindow(sub);
    } else {
        frame->raise();
        if (focus)
            frame->activateWindow();
    }
    if (focus)
        win_focus_input(hwnd);
}

std::string win_op_title(QWidget* hwnd)
{
    if (!hwnd)
        return {};
    return win_container(hwnd)->windowTitle().toStdString();
}

void win_op_set_title(QWidget* hwnd, const std::string& title)
{
    win_set_text_if_changed(hwnd, title);
}

void win_op_set_alpha(QWidget* hwnd, int alpha)
{
    if (!hwnd)
        return;
    QWidget* frame = win_container(hwnd);
    if (alpha >= 255)
        frame->setWindowOpacity(1.0);
    else
        frame->setWindowOpacity((alpha < 0 ? 0 : alpha) / 255.0);
    frame->update();
}

void win_op_set_editbox(QWidget* hwnd, const std::string& text)
{
    WindowRecord* rec = win_record_of(hwnd);
    if (rec && rec->editbox.get())
        rec->editbox->setTextBytes(text);
}

void win_op_close(QWidget* hwnd)
{
    if (hwnd)
        win_close_request(hwnd);
}

void win_op_frame_command(int id)
{
    frame_on_command(nullptr, static_cast<uintptr_t>(id), 0);
}

namespace {

EditBox* box_of(QWidget* hwnd, int second)
{
    WindowRecord* rec = win_record_of(hwnd);
    if (!rec)
        return nullptr;
    return second ? rec->editbox2.get() : rec->editbox.get();
}

QMainWindow* main_frame()
{
    return qobject_cast<QMainWindow*>(win_frame_handle());
}

} // namespace

int win_op_has_editbox(QWidget* hwnd, int second)
{
    return box_of(hwnd, second) ? 1 : 0;
}

std::string win_op_editbox_text(QWidget* hwnd, int second)
{
    EditBox* box = box_of(hwnd, second);
    return box ? box->textBytes() : std::string();
}

void win_op_editbox_set_text(QWidget* hwnd, int second, const std::string& text)
{
    EditBox* box = box_of(hwnd, second);
    if (box && box->textBytes() != text)
        box->setTextBytes(text);
}

void win_op_editbox_select(QWidget* hwnd, int second, int start, int end)
{
    EditBox* box = box_of(hwnd, second);
    if (!box)
        return;
    QTextCursor cursor = box->textCursor();
    const int length = box->document()->characterCount() - 1;
    start = std::clamp(start, 0, length);
    end = std::clamp(end, start, length);
    if (cursor.selectionStart() == start && cursor.selectionEnd() == end)
        return;
    cursor.setPosition(start);
    cursor.setPosition(end, QTextCursor::KeepAnchor);
    box->setTextCursor(cursor);
    box->ensureCursorVisible();
}

void win_op_editbox_focus(QWidget* hwnd, int second)
{
    EditBox* box = box_of(hwnd, second);
    if (!box)
        return;
    win_op_activate(hwnd, 0);
    box->setFocus();
}

void win_op_editbox_submit(QWidget* hwnd, int second)
{
    WindowRecord* rec = win_record_of(hwnd);
    EditBox* box = box_of(hwnd, second);
    if (rec && box)
        editbox_submit(rec, box, kSubmitNormal | kSubmitAlways, kKeyFlagTyped);
}

int win_op_menubar_shown()
{
    QMainWindow* frame = main_frame();
    return frame && frame->menuBar() && !frame->menuBar()->isHidden() ? 1 : 0;
}

void win_op_menubar_show(int show)
{
    if (win_op_menubar_shown() == (show ? 1 : 0))
        return;
    frame_on_command(nullptr, 110, 0);
}

int win_op_set_icon(QWidget* hwnd, const std::string& file, int index)
{
    WindowRecord* rec = win_record_of(hwnd);
    if (!rec)
        return 0;
    QIcon icon = img_load_icon(file, index, 0);
    if (icon.isNull())
        return 0;
    rec->icon = std::make_shared<QIcon>(icon);
    win_container(hwnd)->setWindowIcon(icon);
    hwnd->setWindowIcon(icon);
    return 1;
}

namespace {
int g_nick_prompt_listener = 0;
}  // namespace

void window_ops_install()
{
    irc_nick_prompt.add_once(g_nick_prompt_listener, kNickPromptEditbox, [](Connection* conn) {
        win_op_set_editbox(link_status_window(conn), "/nick ");
    });
}

void window_ops_uninstall()
{
    irc_nick_prompt.drop(g_nick_prompt_listener);
}
