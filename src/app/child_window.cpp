// The child windows: widgets, geometry, controls, scrolling, showing,
// system menu, activation and the MDI client.
#include "app/child_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFocusEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QMimeData>
#include <QPainter>
#include <QPaintEvent>
#include <QResizeEvent>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QTextBlock>
#include <QTextCursor>
#include <QWheelEvent>

#include <algorithm>
#include <cstdio>

#include "app/connection.h"
#include "app/frame_proc.h"
#include "app/window_open.h"
#include "core/numbered_texts.h"
#include "core/options.h"
#include "core/text_limits.h"
#include "display/nick_list.h"
#include "platform/app_messages.h"
#include "platform/platform_utils.h"

ChildHooks child_hooks;
Signal<void(ListBox*, WindowRecord*)> listbox_made;
WidgetRef<QWidget> win_last_activated;
WidgetRef<QWidget> win_previous_activated;
int win_editbox_spacing = 0;
int mdi_auto_arrange = 0;
int mdi_arrange_mode = 0;
int mdi_arrange_icons = 0;

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

QPointer<QMdiArea> the_mdi;

QRgb default_palette(int index)
{
    static const QRgb table[16] = {
        qRgb(255, 255, 255), qRgb(0, 0, 0),     qRgb(0, 0, 127),     qRgb(0, 147, 0),
        qRgb(255, 0, 0),     qRgb(127, 0, 0),   qRgb(156, 0, 156),   qRgb(252, 127, 0),
        qRgb(255, 255, 0),   qRgb(0, 252, 0),   qRgb(0, 147, 147),   qRgb(0, 255, 255),
        qRgb(0, 0, 252),     qRgb(255, 0, 255), qRgb(127, 127, 127), qRgb(210, 210, 210),
    };
    if (index < 0 || index > 15)
        return qRgb(0, 0, 0);
    return table[index];
}

QRgb palette_rgb(int index)
{
    return child_hooks.palette_rgb ? child_hooks.palette_rgb(index) : default_palette(index);
}

QColor background_of(WindowRecord* rec)
{
    if (child_hooks.background_colour)
        return child_hooks.background_colour(rec);
    return QColor(palette_rgb(0));
}

void frame_colours(QColor* light, QColor* dark)
{
    if (child_hooks.frame_colours) {
        child_hooks.frame_colours(light, dark);
        return;
    }
    QPalette pal = qApp ? QApplication::palette() : QPalette();
    *light = pal.color(QPalette::Light);
    *dark = pal.color(QPalette::Dark);
}

QString numbered(int id)
{
    return QString::fromUtf8(text_load_string(id));
}

bool is_list_window(int type)
{
    return type == kWinChanList || type == kWinUrls || type == kWinNotify || type == kWinLinks;
}

int key_to_vk(int key)
{
    if (key >= Qt::Key_A && key <= Qt::Key_Z)
        return 'A' + (key - Qt::Key_A);
    if (key >= Qt::Key_0 && key <= Qt::Key_9)
        return '0' + (key - Qt::Key_0);
    if (key >= Qt::Key_F1 && key <= Qt::Key_F12)
        return 112 + (key - Qt::Key_F1);
    switch (key) {
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return 9;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return 13;
    case Qt::Key_Escape:
        return 27;
    case Qt::Key_PageUp:
        return 33;
    case Qt::Key_PageDown:
        return 34;
    case Qt::Key_End:
        return 35;
    case Qt::Key_Home:
        return 36;
    case Qt::Key_Left:
        return 37;
    case Qt::Key_Up:
        return 38;
    case Qt::Key_Right:
        return 39;
    case Qt::Key_Down:
        return 40;
    case Qt::Key_Insert:
        return 45;
    case Qt::Key_Delete:
        return 46;
    default:
        return 0;
    }
}

// Sets a control's object name (its class), control id and frame by the
// window's border style.
void tag_control(QWidget* control, const char* class_name, int id)
{
    control->setObjectName(QLatin1String(class_name));
    control->setProperty("className", QLatin1String(class_name));
    dlg_set_item_id(control, id);
}

void set_sunken(QFrame* frame, int sunken)
{
    if (sunken)
        frame->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    else
        frame->setFrameStyle(QFrame::NoFrame);
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

// ---- Widgets ----

TextArea::TextArea(QWidget* parent) : QFrame(parent)
{
    tag_control(this, "Static", kCtlTextArea);
    setFocusPolicy(Qt::ClickFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

WindowRecord* TextArea::record() const
{
    return win_record_of(win_owner_hwnd(const_cast<TextArea*>(this)));
}

void TextArea::paintEvent(QPaintEvent* event)
{
    {
        QPainter painter(this);
        paintLines(painter, record());
    }
    QFrame::paintEvent(event);
}

void TextArea::paintLines(QPainter& painter, WindowRecord* rec)
{
    painter.fillRect(rect(), background_of(rec));
    if (rec && child_hooks.text_area_paint)
        child_hooks.text_area_paint(this, painter, rec);
}

void TextArea::keyPressEvent(QKeyEvent* event)
{
    WindowRecord* rec = record();
    if (rec && child_hooks.text_area_key && child_hooks.text_area_key(this, event, rec))
        return;
    int key = event->key();
    if (rec && key != Qt::Key_Shift && key != Qt::Key_Control && key != Qt::Key_Alt) {
        int vk = key_to_vk(key);
        bool plain_f = vk == 'F' && !(event->modifiers() & Qt::ControlModifier);
        if (vk && !plain_f)
            win_post(rec->hwnd.get(), WM_APP_WINDOW_KEY,
                     static_cast<uintptr_t>(vk | key_modifier_bits(event->modifiers())), 0);
    }
    QFrame::keyPressEvent(event);
}

void TextArea::wheelEvent(QWheelEvent* event)
{
    WindowRecord* rec = record();
    if (!rec) {
        QFrame::wheelEvent(event);
        return;
    }
    int notches = event->angleDelta().y() / 120;
    for (int i = 0; i < std::abs(notches) * 3; ++i)
        win_on_vscroll(rec, notches > 0 ? kScrollLineUp : kScrollLineDown, 0, 0);
    event->accept();
}

void TextArea::mousePressEvent(QMouseEvent* event)
{
    WindowRecord* rec = record();
    if (rec && child_hooks.text_area_mouse && child_hooks.text_area_mouse(this, event, rec))
        return;
    QFrame::mousePressEvent(event);
}

void TextArea::mouseReleaseEvent(QMouseEvent* event)
{
    QPointer<TextArea> self(this);
    WindowRecord* rec = record();
    if (!(rec && child_hooks.text_area_mouse && child_hooks.text_area_mouse(this, event, rec)))
        QFrame::mouseReleaseEvent(event);
    // A click in the text (a marking, a word, a menu) leaves typing in the
    // window's input box: the focus goes back to the box used last.
    if (!self)
        return;
    rec = record();
    if (!rec || !hasFocus())
        return;
    QWidget* box = rec->editbox2.get() && rec->last_focus.get() == static_cast<QWidget*>(rec->editbox2.get())
                       ? static_cast<QWidget*>(rec->editbox2.get())
                       : static_cast<QWidget*>(rec->editbox.get());
    if (box && box->isVisible())
        box->setFocus(Qt::MouseFocusReason);
}

void TextArea::mouseMoveEvent(QMouseEvent* event)
{
    WindowRecord* rec = record();
    if (rec && child_hooks.text_area_mouse && child_hooks.text_area_mouse(this, event, rec))
        return;
    QFrame::mouseMoveEvent(event);
}

void TextArea::mouseDoubleClickEvent(QMouseEvent* event)
{
    WindowRecord* rec = record();
    if (rec && child_hooks.text_area_mouse && child_hooks.text_area_mouse(this, event, rec))
        return;
    QFrame::mouseDoubleClickEvent(event);
}

EditBox::EditBox(QWidget* parent, int second) : QPlainTextEdit(parent), second_(second ? 1 : 0)
{
    tag_control(this, "Edit", second ? kCtlEditBox2 : kCtlEditBox);
    setTabChangesFocus(false);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    document()->setDocumentMargin(2);
    connect(this, &QPlainTextEdit::textChanged, this, &EditBox::onChanged);
}

WindowRecord* EditBox::record() const
{
    return win_record_of(win_owner_hwnd(const_cast<EditBox*>(this)));
}

int EditBox::lineCount() const
{
    int lines = 0;
    for (QTextBlock b = document()->begin(); b.isValid(); b = b.next()) {
        int n = b.lineCount();
        lines += n > 0 ? n : 1;
    }
    return lines > 0 ? lines : 1;
}

std::string EditBox::textBytes() const
{
    QByteArray b = toPlainText().toUtf8();
    return std::string(b.constData(), static_cast<std::size_t>(b.size()));
}

void EditBox::setTextBytes(const std::string& text)
{
    QSignalBlocker block(this);
    setPlainText(QString::fromUtf8(text.data(), static_cast<int>(text.size())));
    moveCursor(QTextCursor::End);
}

void EditBox::keyPressEvent(QKeyEvent* event)
{
    WindowRecord* rec = record();
    if (rec && child_hooks.editbox_key && child_hooks.editbox_key(this, event, rec)) {
        event->accept();
        return;
    }
    if (rec) {
        int key = event->key();
        Qt::KeyboardModifiers mods = event->modifiers();
        int bits = key_modifier_bits(mods);
        QWidget* hwnd = rec->hwnd.get();
        intptr_t second = second_;
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            if ((mods & Qt::AltModifier) && rec->editbox_mode != 0) {
                insertPlainText(QStringLiteral("\n"));
                return;
            }
            if (child_hooks.editbox_submit)
                child_hooks.editbox_submit(rec, this, 5, (mods & Qt::ControlModifier) ? 3 : 1);
            event->accept();
            return;
        }
        if ((key == Qt::Key_Up || key == Qt::Key_Down) && !(mods & Qt::ShiftModifier) &&
            (rec->editbox_mode == 0 || (mods & Qt::ControlModifier))) {
            win_post(hwnd, WM_APP_WINDOW_KEY, static_cast<uintptr_t>(key_to_vk(key) | bits), second);
            return;
        }
        if ((key == Qt::Key_PageUp || key == Qt::Key_PageDown) && !(mods & Qt::ShiftModifier)) {
            win_post(hwnd, WM_APP_WINDOW_KEY, static_cast<uintptr_t>(key_to_vk(key) | bits), second);
            return;
        }
        if ((key == Qt::Key_Home || key == Qt::Key_End) && (mods & Qt::ControlModifier) &&
            !(mods & Qt::ShiftModifier) && (rec->editbox_mode == 0 || document()->isEmpty())) {
            win_post(hwnd, WM_APP_WINDOW_KEY, static_cast<uintptr_t>(key_to_vk(key) | bits), second);
            return;
        }
        if (key == Qt::Key_Escape) {
            win_post(hwnd, WM_APP_WINDOW_KEY, static_cast<uintptr_t>(27 | bits), second);
            return;
        }
        if (key == Qt::Key_Tab && !(mods & Qt::ControlModifier)) {
            win_post(hwnd, WM_APP_WINDOW_KEY, static_cast<uintptr_t>(9 | bits), second);
            return;
        }
        if (key >= Qt::Key_F1 && key <= Qt::Key_F12) {
            win_post(hwnd, WM_APP_WINDOW_KEY, static_cast<uintptr_t>(key_to_vk(key) | bits), second);
            return;
        }
        if (key == Qt::Key_F && (mods & Qt::ControlModifier)) {
            win_post(hwnd, WM_APP_WINDOW_KEY, static_cast<uintptr_t>('F' | bits), second);
            return;
        }
    }
    QPlainTextEdit::keyPressEvent(event);
}

void EditBox::focusInEvent(QFocusEvent* event)
{
    if (WindowRecord* rec = record())
        rec->last_focus = this;
    QPlainTextEdit::focusInEvent(event);
}

void EditBox::focusOutEvent(QFocusEvent* event)
{
    QPlainTextEdit::focusOutEvent(event);
}

bool EditBox::canInsertFromMimeData(const QMimeData* source) const
{
    return source && source->hasText() && !source->text().isEmpty();
}

void EditBox::insertFromMimeData(const QMimeData* source)
{
    if (!source)
        return;
    // The text is read once and kept: the clipboard's data is not read again
    // while the box changes. An empty clipboard, or data that holds no text,
    // inserts nothing.
    QPointer<EditBox> self(this);
    const QString text = source->hasText() ? source->text() : QString();
    if (!self || text.isEmpty())
        return;
    pasting_ = 1;
    textCursor().insertText(text);
    if (!self)
        return;
    pasting_ = 0;
    // Several lines in a one-line box are run line by line once the paste
    // is in, not from inside the insertion.
    if (document()->blockCount() > 1)
        QMetaObject::invokeMethod(
            this, [self] { if (self) self->onChanged(); }, Qt::QueuedConnection);
    else
        onChanged();
}

void EditBox::onChanged()
{
    WindowRecord* rec = record();
    if (!rec || pasting_)
        return;
    if (child_hooks.editbox_changed) {
        child_hooks.editbox_changed(this, rec);
        return;
    }
    if (child_hooks.tab_completion_reset && conn_is_live(rec->conn))
        child_hooks.tab_completion_reset(rec->conn);
    if (document()->characterCount() - 1 >= 400)
        beep_error(0);
    if (rec->editbox_mode == 2) {
        win_post(rec->hwnd.get(), WM_APP_DEFERRED_LAYOUT, 0, kLayoutEditboxCheck);
    } else if (document()->blockCount() > 1 && child_hooks.editbox_submit) {
        // Several lines arrived at once: a paste.
        child_hooks.editbox_submit(rec, this, 1, 0);
    }
}

ListBox::ListBox(QWidget* parent) : QListWidget(parent)
{
    tag_control(this, "ListBox", kCtlListBox);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
}

WindowRecord* ListBox::record() const
{
    return win_record_of(win_owner_hwnd(const_cast<ListBox*>(this)));
}

void ListBox::keyPressEvent(QKeyEvent* event)
{
    WindowRecord* rec = record();
    if (rec && child_hooks.listbox_key && child_hooks.listbox_key(this, event, rec)) {
        event->accept();
        return;
    }
    if (rec && event->key() == Qt::Key_Escape) {
        win_post(rec->hwnd.get(), WM_APP_WINDOW_KEY, 27, 0);
        return;
    }
    QListWidget::keyPressEvent(event);
}

void ListBox::focusInEvent(QFocusEvent* event)
{
    if (WindowRecord* rec = record()) {
        if (rec->editbox.get())
            rec->last_focus = static_cast<QWidget*>(rec->editbox.get());
        else
            rec->last_focus = this;
    }
    QListWidget::focusInEvent(event);
}

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

// ---- Geometry ----

void win_border_insets(int border_style, int type, int* left_top, int* right_bottom)
{
    int lt = 0;
    int rb = 0;
    if (border_style == 1) {
        lt = 1;
        rb = is_list_window(type) ? 2 : 1;
    } else if (border_style == 2) {
        lt = 2;
        rb = 2;
    }
    if (left_top)
        *left_top = lt;
    if (right_bottom)
        *right_bottom = rb;
}

int win_editbox_row_height(int line_height, int extra, int spacing, int mode, int lines,
                           int client_height, int* lines_used)
{
    int base = line_height + extra + spacing + 2;
    int used = 1;
    int row = base;
    if (mode == 2) {
        used = lines > 1 ? lines : 1;
        row = base + (used - 1) * (line_height - 1);
        while (used > 1 && row > client_height / 2) {
            --used;
            row = base + (used - 1) * (line_height - 1);
        }
    } else if (mode == 1) {
        row = 2 * line_height + extra + spacing + 2;
        used = 2;
    }
    if (lines_used)
        *lines_used = used;
    return row;
}

WinLayout win_compute_layout(const WinLayoutInput& in)
{
    WinLayout out;
    int lt = 0;
    int rb = 0;
    win_border_insets(in.border_style, in.type, &lt, &rb);
    int ax = lt;
    int ay = lt;
    int aw = std::max(0, in.client_width - lt - rb);
    int ah = std::max(0, in.client_height - lt - rb);

    // The editbox row.
    int row = 0;
    if (in.has_editbox) {
        row = win_editbox_row_height(in.line_height, in.editbox_extra, in.editbox_spacing,
                                     in.editbox_mode, in.editbox_lines, in.client_height,
                                     &out.editbox_lines);
        row = std::min(row, ah);
    }
    out.editbox_row = row;
    int above = ah - row;  // height above the editbox row
    int row_x = ax;
    int row_w = aw;

    auto place_text = [&](int x, int y, int w, int h) {
        if (!in.has_text_area)
            return;
        out.text_area = QRect(x, y, std::max(0, w), std::max(0, h));
        if (in.has_scroll_bar && w > 0 && h > 0) {
            int sw = std::min(in.scroll_bar_width, w);
            out.scroll_bar = QRect(w - sw, 0, sw, h);
        }
    };
    // The side list next to the text, shrinking when it would leave no room.
    auto side_width = [&]() {
        int lw = std::max(0, in.side_width);
        int room = aw - kSplitterWidth - 1;
        if (lw > room)
            lw = std::max(0, room);
        return lw;
    };

    switch (in.type) {
    case kWinChannel: {
        bool list = in.has_listbox && in.list_shown && in.nicklist_place != 2;
        if (!list) {
            place_text(ax, ay, aw, above);
            break;
        }
        int lw = side_width();
        out.side_width = lw;
        if (in.nicklist_place == 1) {
            out.listbox = QRect(ax, ay, lw, ah);
            int tx = ax + lw + kSplitterWidth;
            place_text(tx, ay, ax + aw - tx, above);
            row_x = tx;
            row_w = ax + aw - tx;
        } else {
            out.listbox = QRect(ax + aw - lw, ay, lw, above);
            place_text(ax, ay, aw - lw - kSplitterWidth, above);
        }
        break;
    }
    case kWinFinger:
        place_text(ax, ay, aw, ah);
        break;
    case kWinChanList:
    case kWinUrls:
    case kWinNotify:
    case kWinLinks:
        if (in.has_listbox)
            out.listbox = QRect(ax, ay, aw, ah);
        break;
    case kWinCustom:
        if (in.subtype == 1) {
            if (in.has_listbox)
                out.listbox = QRect(ax, ay, aw, above);
        } else if (in.subtype == 2 && in.has_listbox && in.list_shown) {
            int lw = side_width();
            out.side_width = lw;
            out.listbox = QRect(ax + aw - lw, ay, lw, above);
            place_text(ax, ay, aw - lw - kSplitterWidth, above);
        } else {
            place_text(ax, ay, aw, above);
        }
        break;
    case kWinTransfer:
        break;
    default:  // status and query windows
        place_text(ax, ay, aw, above);
        break;
    }

    if (in.has_editbox && row > 0) {
        int ry = ay + above;
        if (in.has_editbox2) {
            int first = row_w * std::clamp(in.editbox_split, 0, 100) / 100;
            out.editbox = QRect(row_x, ry, first, row);
            int second_x = row_x + first + kEditboxGap;
            out.editbox2 = QRect(second_x, ry, std::max(0, row_x + row_w - second_x), row);
        } else {
            out.editbox = QRect(row_x, ry, row_w, row);
        }
    }
    return out;
}

int win_line_height(WindowRecord* rec)
{
    if (!rec)
        return 0;
    if (rec->line_height > 0)
        return rec->line_height;
    QWidget* w = rec->text_area.get() ? static_cast<QWidget*>(rec->text_area.get()) : rec->hwnd.get();
    if (rec->font)
        return QFontMetrics(*rec->font).height();
    return w ? w->fontMetrics().height() : 0;
}

WinLayoutInput win_layout_input(WindowRecord* rec)
{
    WinLayoutInput in;
    if (!rec)
        return in;
    QWidget* hwnd = rec->hwnd.get();
    if (hwnd) {
        in.client_width = hwnd->width();
        in.client_height = hwnd->height();
    }
    in.border_style = rec->border_style;
    in.type = rec->type;
    in.subtype = rec->subtype;
    in.line_height = win_line_height(rec);
    in.editbox_extra = rec->editbox_extra;
    in.editbox_spacing = win_editbox_spacing;
    in.editbox_mode = rec->editbox_mode;
    in.editbox_lines = rec->editbox.get() ? rec->editbox->lineCount() : 1;
    in.has_text_area = rec->text_area.get() ? 1 : 0;
    in.has_scroll_bar = rec->scroll_bar.get() ? 1 : 0;
    in.has_editbox = rec->editbox.get() ? 1 : 0;
    in.has_editbox2 = rec->editbox2.get() ? 1 : 0;
    in.editbox_split = rec->editbox_split;
    in.has_listbox = rec->listbox.get() ? 1 : 0;
    in.list_shown = rec->side_list_hidden ? 0 : 1;
    in.nicklist_place = rec->nicklist_place;
    in.side_width = rec->side_list_width;
    in.scroll_bar_width = win_system_metric(2);
    return in;
}

// ---- Windows ----

QWidget* win_container(QWidget* hwnd)
{
    if (!hwnd)
        return nullptr;
    if (auto* sub = qobject_cast<QMdiSubWindow*>(hwnd->parentWidget()))
        return sub;
    return hwnd;
}

int win_is_minimised(const QWidget* hwnd)
{
    if (!hwnd)
        return 0;
    QWidget* frame = win_container(const_cast<QWidget*>(hwnd));
    return frame->isMinimized() ? 1 : 0;
}

int win_is_visible(const QWidget* hwnd)
{
    if (!hwnd)
        return 0;
    QWidget* frame = win_container(const_cast<QWidget*>(hwnd));
    return frame->isVisible() ? 1 : 0;
}

QWidget* win_create_frame(WindowRecord* rec, int in_mdi)
{
    if (!rec)
        return nullptr;
    const WinCreateParams& p = win_create_params;
    QString class_name = QString::fromUtf8(p.class_name.c_str());
    QString title = QString::fromUtf8(p.title.c_str());
    QMdiArea* mdi = the_mdi.data();
    if (in_mdi && !mdi)
        in_mdi = 0;

    auto* window = new ChildWindow(class_name);
    window->setWindowTitle(title);
    rec->hwnd = static_cast<QWidget*>(window);

    int x = p.x;
    int y = p.y;
    int w = p.width;
    int h = p.height;
    bool inactive = p.open_inactive != 0;
    if (!in_mdi && child_hooks.focus_elsewhere && child_hooks.focus_elsewhere())
        inactive = true;

    if (in_mdi) {
        auto* frame = new ChildFrame();
        frame->setWidget(window);
        frame->setWindowTitle(title);
        if (inactive)
            frame->setAttribute(Qt::WA_ShowWithoutActivating);
        mdi->addSubWindow(frame);
        QRect area = mdi->viewport()->rect();
        if (w == kUnsetCoord || h == kUnsetCoord || x == kUnsetCoord || y == kUnsetCoord) {
            if (open_hooks.default_position)
                open_hooks.default_position(&x, &y, &w, &h, 1);
        }
        if (w == kUnsetCoord || w <= 0)
            w = std::max(200, area.width() * 2 / 3);
        if (h == kUnsetCoord || h <= 0)
            h = std::max(150, area.height() * 2 / 3);
        if (p.client_size)
            frame->resize(w + frame->width() - window->width(), h + frame->height() - window->height());
        else
            frame->resize(w, h);
        if (p.centre) {
            frame->move(std::max(0, (area.width() - frame->width()) / 2),
                        std::max(0, (area.height() - frame->height()) / 2));
        } else if (x != kUnsetCoord && y != kUnsetCoord) {
            frame->move(x, y);
        } else {
            // Cascade from the top left, one caption step per window.
            int step = win_system_metric(4) + win_system_metric(33) - 2;
            int n = static_cast<int>(mdi->subWindowList().size()) - 1;
            int fit = step > 0 ? std::max(1, (area.height() - frame->height()) / step + 1) : 1;
            int k = n % std::min(fit, 10);
            frame->move(k * step, k * step);
        }
    } else {
        Qt::WindowFlags flags = Qt::Window;
        if (p.style_set) {
            int s = p.style;
            if (!(s & 1))
                flags |= Qt::FramelessWindowHint;
            if (s & (64 | 128))
                flags |= Qt::Tool;
        }
        if (p.on_top)
            flags |= Qt::WindowStaysOnTopHint;
        window->setWindowFlags(flags);
        window->setAttribute(Qt::WA_DeleteOnClose);
        if (inactive)
            window->setAttribute(Qt::WA_ShowWithoutActivating);
        QRect bounds;
        if (QScreen* screen = QGuiApplication::primaryScreen())
            bounds = screen->availableGeometry();
        if (w == kUnsetCoord || h == kUnsetCoord || x == kUnsetCoord || y == kUnsetCoord) {
            if (open_hooks.default_position)
                open_hooks.default_position(&x, &y, &w, &h, 0);
        }
        if (w == kUnsetCoord || w <= 0)
            w = std::max(200, bounds.width() / 2);
        if (h == kUnsetCoord || h <= 0)
            h = std::max(150, bounds.height() / 2);
        window->resize(w, h);
        if (p.centre)
            window->move(bounds.x() + std::max(0, (bounds.width() - w) / 2),
                         bounds.y() + std::max(0, (bounds.height() - h) / 2));
        else if (x != kUnsetCoord && y != kUnsetCoord)
            window->move(x, y);
    }
    win_enable_sysmenu_items(window);
    return window;
}

// The window-border option (section "styles", key "thin": 0 to 3).
int win_border_option = 1;

int win_border_style(WindowRecord* rec)
{
    if (!rec)
        return 0;
    if (rec->type == kWinTransfer)
        return 0;
    if (rec->type == kWinCustom && rec->custom_request.style_bits != 0)
        return 0;
    int style = win_border_option;
    if (style < 0 || style > 3)
        style = 1;
    return style;
}

int win_create_text_area(WindowRecord* rec)
{
    if (!win_is_record(rec) || !rec->hwnd.get())
        return 0;
    if (TextArea* area = rec->text_area.get()) {
        set_sunken(area, rec->border_style == 3);
        return 1;
    }
    auto* area = new TextArea(rec->hwnd.get());
    set_sunken(area, rec->border_style == 3);
    rec->text_area = area;
    if (!rec->picture) {
        auto* bar = new QScrollBar(Qt::Vertical, area);
        tag_control(bar, "ScrollBar", kCtlScrollBar);
        bar->setRange(0, 0);
        bar->setEnabled(false);
        QPointer<QWidget> owner = rec->hwnd.get();
        QObject::connect(bar, &QAbstractSlider::actionTriggered, bar, [owner, bar](int action) {
            WindowRecord* r = win_record_of(owner.data());
            if (!r)
                return;
            int code = -1;
            switch (action) {
            case QAbstractSlider::SliderSingleStepSub:
                code = kScrollLineUp;
                break;
            case QAbstractSlider::SliderSingleStepAdd:
                code = kScrollLineDown;
                break;
            case QAbstractSlider::SliderPageStepSub:
                code = kScrollPageUp;
                break;
            case QAbstractSlider::SliderPageStepAdd:
                code = kScrollPageDown;
                break;
            case QAbstractSlider::SliderToMinimum:
                code = kScrollTop;
                break;
            case QAbstractSlider::SliderToMaximum:
                code = kScrollBottom;
                break;
            case QAbstractSlider::SliderMove:
                code = kScrollThumbTrack;
                break;
            default:
                break;
            }
            if (code >= 0) {
                // The slider moves itself after this signal; the record's
                // position decides, so the bar is set back from it.
                win_on_vscroll(r, code, bar->sliderPosition(), 1);
                QMetaObject::invokeMethod(bar, [owner] {
                    if (WindowRecord* rr = win_record_of(owner.data()))
                        win_update_vscroll(rr);
                }, Qt::QueuedConnection);
            }
        });
        rec->scroll_bar = bar;
    }
    area->show();
    return 1;
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
        set_sunken(box, rec->border_style == 3);
        if (rec->border_style != 3) {
            // A line in the frame colour over the box sets it apart from the
            // text above, also while it is empty.
            QColor light, dark;
            frame_colours(&light, &dark);
            box->setStyleSheet(QStringLiteral("QPlainTextEdit { border: none; border-top: 1px solid %1; }")
                                   .arg(dark.name()));
        }
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

int win_create_listbox(WindowRecord* rec, int style)
{
    if (!win_is_record(rec) || !rec->hwnd.get())
        return 0;
    ListBox* list = rec->listbox.get();
    if (!list) {
        list = new ListBox(rec->hwnd.get());
        rec->listbox = list;
    }
    set_sunken(list, rec->border_style == 3);
    bool extended = rec->type == kWinChannel || rec->type == kWinUrls ||
                    rec->type == kWinNotify || rec->type == kWinLinks || (style & 2);
    list->setSelectionMode(extended ? QAbstractItemView::ExtendedSelection
                                    : QAbstractItemView::SingleSelection);
    list->setSortingEnabled((style & 1) != 0);
    if (rec->font)
        list->setFont(*rec->font);
    if (is_list_window(rec->type))
        rec->list_extent = 1;
    listbox_made.fire(list, rec);
    list->show();
    return 1;
}

int win_reload_controls(WindowRecord* rec)
{
    if (!win_is_record(rec))
        return 0;
    rec->border_style = win_border_style(rec);
    if (rec->text_area.get() && !win_create_text_area(rec))
        return 0;
    if (rec->editbox.get() && !win_create_editbox(rec, 3))
        return 0;
    if (rec->listbox.get() && !win_create_listbox(rec, 0))
        return 0;
    win_layout(rec->hwnd.get(), kLayoutFull);
    return 1;
}

void win_layout(QWidget* hwnd, int reason)
{
    WindowRecord* rec = win_record_of(hwnd);
    if (!rec)
        return;
    if (reason == 0 || reason == 2 || reason == 3 || reason == 4) {
        win_post(hwnd, WM_APP_DEFERRED_LAYOUT, 0, kLayoutFull);
        win_mdi_refresh();
        return;
    }
    if (reason == 1) {
        win_enable_sysmenu_items(hwnd);
        post_app_message(WM_APP_MDI_REFRESH, 0, 0);
        return;
    }
    if (reason == kLayoutEditboxCheck) {
        if (rec->editbox_mode != 2 || !rec->editbox.get())
            return;
        if (rec->editbox->lineCount() == rec->editbox_lines)
            return;
    }
    if (rec->type == kWinTransfer) {
        if (child_hooks.dccwin_layout)
            child_hooks.dccwin_layout(rec);
        return;
    }
    bool at_end = rec->scroll_pos >= rec->scroll_end;

    WinLayoutInput in = win_layout_input(rec);
    if (win_is_minimised(hwnd)) {
        in.client_width = rec->layout_rect.right - rec->layout_rect.left;
        in.client_height = rec->layout_rect.bottom - rec->layout_rect.top;
    } else {
        rec->layout_rect = WinRect{0, 0, hwnd->width(), hwnd->height()};
    }
    WinLayout out;
    for (int pass = 0; pass < 3; ++pass) {
        out = win_compute_layout(in);
        if (TextArea* area = rec->text_area.get()) {
            area->setGeometry(out.text_area);
            area->setVisible(!out.text_area.isEmpty());
        }
        if (QScrollBar* bar = rec->scroll_bar.get()) {
            bar->setGeometry(out.scroll_bar);
            bar->setVisible(!out.scroll_bar.isEmpty());
        }
        if (EditBox* box = rec->editbox.get())
            box->setGeometry(out.editbox);
        if (EditBox* box2 = rec->editbox2.get())
            box2->setGeometry(out.editbox2);
        if (ListBox* list = rec->listbox.get()) {
            bool shown = !out.listbox.isEmpty();
            list->setGeometry(out.listbox);
            list->setVisible(shown);
            list->setEnabled(shown);
        }
        rec->editbox_lines = out.editbox_lines;
        // A growing editbox is laid out again while its line count changes.
        if (rec->editbox_mode != 2 || !rec->editbox.get())
            break;
        int lines = rec->editbox->lineCount();
        if (lines == in.editbox_lines)
            break;
        in.editbox_lines = lines;
    }
    if (out.side_width > 0 && (rec->type == kWinChannel || rec->type == kWinCustom))
        rec->side_list_width = out.side_width;

    WinRect text;
    win_text_rect(hwnd, text, 0);
    if (reason == kLayoutNoRepaint)
        return;
    if (rec->picture && child_hooks.picture_grow)
        child_hooks.picture_grow(rec);
    if (TextArea* area = rec->text_area.get())
        area->update();
    if (ListBox* list = rec->listbox.get())
        list->viewport()->update();
    win_recalc_scroll(rec, at_end ? 1 : 0);
    hwnd->update();
    win_enable_sysmenu_items(hwnd);
}

WindowRecord* win_text_rect(QWidget* hwnd, WinRect& out, int with_scroll_bar)
{
    out = WinRect{};
    WindowRecord* rec = win_record_of(hwnd);
    if (!rec)
        return nullptr;
    TextArea* area = rec->text_area.get();
    if (!area)
        return rec;
    QRect r = area->contentsRect();
    int right = r.right() + 1;
    if (!with_scroll_bar) {
        if (QScrollBar* bar = rec->scroll_bar.get(); bar && bar->isVisibleTo(area))
            right -= bar->width();
    }
    out.left = std::max(0, r.left());
    out.top = std::max(0, r.top());
    out.right = std::max(out.left, right);
    out.bottom = std::max(out.top, r.bottom() + 1);
    rec->text_rect = out;
    return rec;
}

namespace {

// Pixels one line takes for scrolling by the window's spacing.
int scroll_step(WindowRecord* rec)
{
    int lh = win_line_height(rec);
    if (rec->spacing == 1)
        return 2 * lh - 1;
    if (rec->spacing == 3)
        return lh + lh / 3;
    return lh;
}

bool recalc_running = false;

}  // namespace

int win_rows_that_fit(WindowRecord* rec)
{
    if (!rec)
        return 0;
    WinRect r;
    win_text_rect(rec->hwnd.get(), r, 0);
    int lh = win_line_height(rec);
    if (rec->spacing == 1)
        lh *= 2;
    if (lh <= 0)
        return 0;
    return (r.bottom - r.top) / lh;
}

void win_update_vscroll(WindowRecord* rec)
{
    if (!win_is_record(rec))
        return;
    QScrollBar* bar = rec->scroll_bar.get();
    if (!bar)
        return;
    int max = rec->scroll_end;
    if (max <= 0) {
        rec->scroll_pos = 0;
        QSignalBlocker block(bar);
        bar->setRange(0, 0);
        bar->setValue(0);
        bar->setEnabled(false);
        return;
    }
    QSignalBlocker block(bar);
    bar->setEnabled(true);
    bar->setRange(0, max);
    bar->setPageStep(win_rows_that_fit(rec) + 1);
    bar->setSingleStep(1);
    bar->setValue(rec->scroll_pos);
}

void win_recalc_scroll(WindowRecord* rec, int mode)
{
    if (!win_is_record(rec) || recalc_running)
        return;
    if (!rec->scroll_bar.get())
        return;
    recalc_running = true;
    int max;
    if (rec->type == kWinLinks)
        max = rec->line_count - win_rows_that_fit(rec);
    else
        max = rec->line_count - 1;
    if (max < 0)
        max = 0;
    rec->scroll_end = max;
    if (mode == 1)
        rec->scroll_pos = max;
    else if (rec->scroll_pos > max)
        rec->scroll_pos = max;
    if (rec->scroll_pos < 0)
        rec->scroll_pos = 0;
    win_update_vscroll(rec);
    recalc_running = false;
}

void win_on_vscroll(WindowRecord* rec, int code, int position, int from_scroll_bar)
{
    if (!win_is_record(rec))
        return;
    ListBox* list = rec->listbox.get();
    if (list && list->hasFocus() && !from_scroll_bar) {
        int count = list->count();
        if (count <= 0)
            return;
        int row = list->currentRow();
        int page = std::max(1, list->viewport()->height() /
                                   std::max(1, list->sizeHintForRow(0)));
        switch (code) {
        case kScrollLineUp: row -= 1; break;
        case kScrollLineDown: row += 1; break;
        case kScrollPageUp: row -= page; break;
        case kScrollPageDown: row += page; break;
        case kScrollTop: row = 0; break;
        case kScrollBottom: row = count - 1; break;
        default: return;
        }
        list->setCurrentRow(std::clamp(row, 0, count - 1));
        return;
    }
    int step = scroll_step(rec);
    WinRect r;
    win_text_rect(rec->hwnd.get(), r, 0);
    int page = step > 0 ? (r.bottom - r.top) / step : 1;
    if (page < 1)
        page = 1;
    int pos = rec->scroll_pos;
    switch (code) {
    case kScrollLineUp: pos -= 1; break;
    case kScrollLineDown: pos += 1; break;
    case kScrollPageUp: pos -= page; break;
    case kScrollPageDown: pos += page; break;
    case kScrollTop: pos = 0; break;
    case kScrollBottom: pos = rec->scroll_end; break;
    case kScrollThumbPosition:
    case kScrollThumbTrack: pos = position; break;
    default: return;
    }
    pos = std::clamp(pos, 0, std::max(0, rec->scroll_end));
    if (pos == rec->scroll_pos)
        return;
    rec->scroll_pos = pos;
    win_update_vscroll(rec);
    if (TextArea* area = rec->text_area.get())
        area->update();
}

void win_show_new(WindowRecord* rec, int build_menu)
{
    if (!win_is_record(rec) || !rec->hwnd.get())
        return;
    QWidget* hwnd = rec->hwnd.get();
    QWidget* frame = win_container(hwnd);
    if (build_menu)
        win_build_system_menu(rec);
    WinRect r;
    win_text_rect(hwnd, r, 0);
    win_recalc_scroll(rec, 1);

    if (rec->type == kWinChannel || rec->type == kWinNotify ||
        (rec->type == kWinQuery && rec->subtype == kQueryPrivate)) {
        if (open_hooks.dragdrop_register)
            open_hooks.dragdrop_register(rec);
    }
    const WinCreateParams& p = win_create_params;
    if (win_switch_target == -1) {
        if (open_hooks.background_load)
            open_hooks.background_load(rec);
        hwnd->setWindowTitle(hwnd->windowTitle());
    }
    int was = sys_minimize_animation(0);
    bool in_mdi = win_is_mdi_child(hwnd);
    if (p.open_minimised || p.open_inactive) {
        if (in_mdi) {
            if (p.open_minimised)
                frame->showMinimized();
            else
                frame->show();
        } else if (p.open_minimised) {
            frame->setAttribute(Qt::WA_ShowWithoutActivating);
            frame->showMinimized();
            bool keep = rec->type == kWinQuery &&
                        (rec->subtype == kQueryPrivate || rec->subtype == kQueryMessages ||
                         rec->subtype == kQueryDccChat);
            if (opt(OPT_HIDE_MINIMISED_DESKTOP_WINDOWS) && !keep)
                frame->hide();
        } else {
            frame->show();
        }
    } else if (rec->shown) {
        if (p.open_maximised)
            frame->showMaximized();
        else
            frame->show();
        win_bring_to_front(hwnd);
    }
    hwnd->update();
    if (was == 1)
        sys_minimize_animation(1);
}

namespace {

struct MenuEntry {
    int text_id;
    int command;
};

QAction* add_command(QMenu* menu, int text_id, int command, bool checked = false,
                     bool checkable = false)
{
    QAction* a = menu->addAction(numbered(text_id));
    a->setData(command);
    a->setProperty("sysCommand", command);
    if (checkable || checked) {
        a->setCheckable(true);
        a->setChecked(checked);
    }
    return a;
}

// A three-way submenu (default, on, off) that ticks the current choice.
void add_tristate(QMenu* parent, int title_id, const MenuEntry (&items)[3], int value)
{
    QMenu* sub = parent->addMenu(numbered(title_id));
    sub->setProperty("titleId", title_id);
    int tick = value == 1 ? 1 : (value == 0 ? 2 : 0);
    for (int i = 0; i < 3; ++i)
        add_command(sub, items[i].text_id, items[i].command, i == tick, true);
}

}  // namespace

void win_sysmenu_add_desktop_item(QMenu* menu, int position, WindowRecord* rec, int in_mdi)
{
    if (!menu || !win_is_record(rec))
        return;
    for (QAction* a : menu->actions()) {
        if (win_sysmenu_action_id(a) == 265)
            return;
    }
    auto* action = new QAction(numbered(6132), menu);
    action->setData(265);
    action->setProperty("sysCommand", 265);
    action->setCheckable(true);
    action->setChecked(!in_mdi);
    if (rec->type == kWinCustom && (rec->custom_request.style_bits & 512) != 0 &&
        rec->custom_request.desktop)
        action->setEnabled(false);
    QList<QAction*> actions = menu->actions();
    if (position >= 0 && position < actions.size())
        menu->insertAction(actions[position], action);
    else
        menu->addAction(action);
}

int win_sysmenu_action_id(const QAction* action)
{
    if (!action)
        return 0;
    QVariant v = action->property("sysCommand");
    return v.isValid() ? v.toInt() : 0;
}

void win_build_system_menu(WindowRecord* rec)
{
    if (!win_is_record(rec) || !rec->hwnd.get())
        return;
    QWidget* hwnd = rec->hwnd.get();
    auto menu = std::shared_ptr<QMenu>(new QMenu());
    menu->setObjectName("systemMenu");
    const int t = rec->type;
    const int st = rec->subtype;
    const bool chan = t == kWinChannel;
    const bool type2 = t == kWinQuery;
    const bool chan_or_2 = chan || type2;
    const bool custom = t == kWinCustom;
    const bool pic = rec->picture != 0;
    const bool in_mdi = win_is_mdi_child(hwnd) != 0;

    bool frame_hidden = child_hooks.frame_hidden && child_hooks.frame_hidden();
    if (!frame_hidden)
        win_sysmenu_add_desktop_item(menu.get(), -1, rec, in_mdi);
    bool on_top = win_container(hwnd)->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
    QAction* top = add_command(menu.get(), 6131, 261, on_top, true);
    top->setEnabled(!in_mdi);
    menu->addSeparator();

    if (chan_or_2 && child_hooks.speech_on && child_hooks.speech_on()) {
        static const MenuEntry speech[3] = {{6143, 286}, {6144, 287}, {6145, 288}};
        add_tristate(menu.get(), 6142, speech, rec->speech);
    }
    bool background = t == kWinStatus || chan_or_2 || t == kWinFinger || (custom && st != 1);
    if (background) {
        QMenu* sub = menu->addMenu(numbered(6119));
        sub->setProperty("titleId", 6119);
        if (pic) {
            add_command(sub, 6123, 276);
        } else {
            add_command(sub, 6111, 277);
            if (chan_or_2 && !(type2 && st == kQueryMessages))
                add_command(sub, 6112, 278);
            sub->addSeparator();
            add_command(sub, 6109, 266);
            add_command(sub, 6110, 267);
            sub->addSeparator();
            add_command(sub, 6113, 268);
            add_command(sub, 6114, 269);
            add_command(sub, 6115, 270);
            add_command(sub, 6116, 271);
            add_command(sub, 6117, 272);
            add_command(sub, 6118, 273);
        }
    }
    if (chan_or_2) {
        static const MenuEntry beep[3] = {{6157, 297}, {6158, 298}, {6159, 299}};
        add_tristate(menu.get(), 6125, beep, rec->beep);
    }
    if (t == kWinLinks) {
        add_command(menu.get(), 6106, 253);
    } else if ((t == kWinStatus || chan_or_2 || t == kWinFinger || custom) && !pic) {
        QMenu* sub = menu->addMenu(numbered(6108));
        sub->setProperty("titleId", 6108);
        add_command(sub, 6106, 253);
        add_command(sub, 6107, 254);
        add_command(sub, 6105, 251);
    }
    if (chan_or_2) {
        static const MenuEntry flash[3] = {{6160, 300}, {6161, 301}, {6162, 302}};
        add_tristate(menu.get(), 6126, flash, rec->flash);
    }
    if ((t == kWinStatus || chan_or_2 || custom) && !pic) {
        QMenu* sub = menu->addMenu(numbered(6124));
        sub->setProperty("titleId", 6124);
        if (chan_or_2)
            add_command(sub, 6163, 303);
        add_command(sub, 6151, 294, rec->logging != 0, true);
        add_command(sub, 6152, 295, rec->logging == 0, true);
        add_command(sub, 6153, 296);
    }
    {
        QMenu* sub = menu->addMenu(numbered(6104));
        sub->setProperty("titleId", 6104);
        if (chan_or_2) {
            add_command(sub, 6150, 293);
            add_command(sub, 6149, 292);
            sub->addSeparator();
        }
        add_command(sub, 6101, 256);
        add_command(sub, 6102, 257);
        add_command(sub, 6103, 250);
        sub->addSeparator();
        add_command(sub, 6146, 289);
        add_command(sub, 6147, 290);
        add_command(sub, 6148, 291);
    }
    if (t != kWinTransfer && !custom) {
        QMenu* sub = menu->addMenu(numbered(6135));
        sub->setProperty("titleId", 6135);
        add_command(sub, 6138, 282, rec->spacing == 2 || rec->spacing < 0 || rec->spacing > 3, true);
        add_command(sub, 6136, 280, rec->spacing == 0, true);
        add_command(sub, 6137, 281, rec->spacing == 1, true);
        add_command(sub, 6139, 283, rec->spacing == 3, true);
    }
    if (t == kWinStatus || chan_or_2) {
        static const MenuEntry stamp[3] = {{6128, 262}, {6129, 263}, {6130, 264}};
        add_tristate(menu.get(), 6127, stamp, rec->timestamp);
    }
    if (chan_or_2) {
        static const MenuEntry tips[3] = {{6165, 304}, {6166, 305}, {6167, 306}};
        add_tristate(menu.get(), 6164, tips, rec->tips);
    }
    if (chan) {
        add_command(menu.get(), 6121, 275);
        add_command(menu.get(), 6141, 285);
    }
    add_command(menu.get(), 6122, 258);
    if (chan)
        add_command(menu.get(), 6120, 274);
    if (chan_or_2)
        add_command(menu.get(), 6134, 279, rec->track_urls != 0, true);
    menu->addSeparator();

    // Every entry reaches the system-menu command handler, from whichever
    // menu it is chosen.
    QPointer<QWidget> owner = hwnd;
    for (QAction* a : menu->findChildren<QAction*>()) {
        int id = win_sysmenu_action_id(a);
        if (!id)
            continue;
        QObject::connect(a, &QAction::triggered, a, [owner, id] {
            if (owner && child_hooks.sys_command)
                child_hooks.sys_command(owner.data(), id);
        });
    }

    // An MDI child shows them at the top of its frame's system menu.
    if (auto* frame = qobject_cast<QMdiSubWindow*>(win_container(hwnd))) {
        if (QMenu* sys = frame->systemMenu()) {
            QAction* first = sys->actions().isEmpty() ? nullptr : sys->actions().first();
            for (QAction* a : menu->actions())
                sys->insertAction(first, a);
        }
    }
    rec->system_menu = menu;
    win_enable_sysmenu_items(hwnd);
}

void win_enable_sysmenu_items(QWidget* hwnd)
{
    WindowRecord* rec = win_record_of(hwnd);
    if (!rec || !rec->system_menu)
        return;
    bool in_mdi = win_is_mdi_child(hwnd) != 0;
    for (QAction* a : rec->system_menu->actions()) {
        if (win_sysmenu_action_id(a) == 261)
            a->setEnabled(!in_mdi);
    }
}

void win_bring_to_front(QWidget* hwnd)
{
    WindowRecord* rec = win_record_of(hwnd);
    if (!rec)
        return;
    QWidget* frame = win_container(hwnd);
    if (!frame->isVisible() || frame->isMinimized())
        return;
    frame->raise();
    bool mdi_child = win_is_mdi_child(hwnd) != 0;
    QWidget* active = win_active.get();
    bool desktop_active = active && active != hwnd && !win_is_mdi_child(active) &&
                          win_record_of(active);
    if (mdi_child && (desktop_active || !frame_app_active()))
        return;
    if (mdi_child) {
        if (QMdiArea* mdi = the_mdi.data())
            mdi->setActiveSubWindow(static_cast<QMdiSubWindow*>(frame));
    } else {
        frame->activateWindow();
    }
    if (EditBox* box = rec->editbox.get())
        box->setFocus();
    else if (ListBox* list = rec->listbox.get(); list && list->isVisible())
        list->setFocus();
}

void win_get_placement_rect(QWidget* hwnd, WinRect& out)
{
    out = WinRect{};
    if (!hwnd)
        return;
    QWidget* frame = win_container(hwnd);
    QRect r = (frame->isMinimized() || !frame->isVisible()) ? frame->normalGeometry()
                                                            : frame->geometry();
    if (!r.isValid())
        r = frame->geometry();
    out.left = r.x();
    out.top = r.y();
    out.right = r.width();
    out.bottom = r.height();
}

void win_client_with_bars(QWidget* hwnd, WinRect& out)
{
    out = WinRect{};
    if (!hwnd)
        return;
    out.right = hwnd->width();
    out.bottom = hwnd->height();
}

void win_work_area(WinRect& out)
{
    out = WinRect{};
    QScreen* screen = qApp ? QGuiApplication::primaryScreen() : nullptr;
    if (!screen)
        return;
    QRect r = screen->availableGeometry();
    if (r.isEmpty())
        r = screen->geometry();
    out = WinRect{r.left(), r.top(), r.right() + 1, r.bottom() + 1};
}

int win_system_metric(int index)
{
    QStyle* style = qApp ? QApplication::style() : nullptr;
    QScreen* screen = qApp ? QGuiApplication::primaryScreen() : nullptr;
    switch (index) {
    case 0:
        return screen ? screen->geometry().width() : 0;
    case 1:
        return screen ? screen->geometry().height() : 0;
    case 2:
    case 3:
        return style ? style->pixelMetric(QStyle::PM_ScrollBarExtent) : 16;
    case 4:
        return style ? style->pixelMetric(QStyle::PM_TitleBarHeight) : 20;
    case 32:
    case 33:
        return style ? style->pixelMetric(QStyle::PM_MdiSubWindowFrameWidth) : 4;
    default:
        return 0;
    }
}

void win_mdi_refresh()
{
    QMdiArea* mdi = the_mdi.data();
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

int win_activity_frame_colour(int level)
{
    int value = 0;
    switch (level) {
    case kActivityMessage:
        value = opt(OPT_ACTIVITY_COLOUR_MESSAGE);
        if (value < 0 || value > 16)
            value = 5;
        break;
    case kActivityHighlight:
        value = opt(OPT_ACTIVITY_COLOUR_HIGHLIGHT);
        if (value < 0 || value > 16)
            value = 4;
        break;
    case kActivityText:
        value = opt(OPT_ACTIVITY_COLOUR_EVENT);
        if (value < 0 || value > 16)
            value = 3;
        break;
    default:
        return -1;
    }
    return value == 0 ? -1 : value - 1;
}

void win_paint_iconic_highlight(WindowRecord* rec)
{
    for (WindowRecord* r = win_list; r; r = r->next) {
        if (rec && r != rec)
            continue;
        QWidget* hwnd = r->hwnd.get();
        if (!hwnd)
            continue;
        QWidget* frame = win_container(hwnd);
        if (frame->isVisible() && frame->isMinimized())
            frame->update();
    }
}

void win_paint_frame(QWidget* hwnd, QPainter& painter, const QRect& rect)
{
    WindowRecord* rec = win_record_of(hwnd);
    QColor light;
    QColor dark;
    frame_colours(&light, &dark);
    if (rec && (rec->border_style == 3 || rec->type == kWinTransfer))
        painter.fillRect(rect, qApp ? QApplication::palette().color(QPalette::Button) : light);
    else
        painter.fillRect(rect, background_of(rec));
    if (!rec || !hwnd)
        return;
    QRect all = hwnd->rect();
    if (rec->border_style == 1 || rec->border_style == 2) {
        painter.setPen(dark);
        painter.drawRect(all.adjusted(0, 0, -1, -1));
    }
    if (rec->border_style == 2) {
        QRect in = all.adjusted(1, 1, -2, -2);
        painter.setPen(light);
        painter.drawLine(in.topLeft(), in.topRight());
        painter.drawLine(in.topLeft(), in.bottomLeft());
        painter.setPen(dark);
        painter.drawLine(in.bottomLeft(), in.bottomRight());
        painter.drawLine(in.topRight(), in.bottomRight());
    }
}

int win_status_icon_kind(Connection* conn)
{
    if (!conn_is_live(conn))
        return 27;
    if (conn_is_connected(conn))
        return conn->registered ? 30 : 29;
    if (conn_is_connecting(conn))
        return 28;
    return 27;
}

void win_set_status_icon(WindowRecord* rec)
{
    if (!win_is_record(rec) || rec->type != kWinStatus || !rec->hwnd.get())
        return;
    int kind = win_status_icon_kind(rec->conn);
    if (child_hooks.status_icon)
        child_hooks.status_icon(rec, kind);
    else
        rec->hwnd->setProperty("statusIcon", kind);
}

// ---- Activation and the window procedure ----

int win_focus_input(QWidget* hwnd)
{
    WindowRecord* rec = win_record_of(hwnd);
    if (!rec)
        return 0;
    QWidget* focus = qApp ? QApplication::focusWidget() : nullptr;
    QWidget* e1 = rec->editbox.get();
    QWidget* e2 = rec->editbox2.get();
    QWidget* lb = rec->listbox.get();
    if (focus && (focus == e1 || focus == e2 || focus == lb))
        return 1;
    QWidget* target = rec->last_focus.get();
    if (!target || !target->isVisible())
        target = e1 ? e1 : (lb && lb->isVisible() ? lb : nullptr);
    if (target)
        target->setFocus();
    else
        hwnd->setFocus();
    return 0;
}

void win_on_activate(QWidget* hwnd)
{
    WindowRecord* rec = win_record_of(hwnd);
    if (!rec)
        return;
    if (win_active.get() == hwnd && win_last_activated.get() == hwnd && rec->activation_guard) {
        win_focus_input(hwnd);
        return;
    }
    rec->activation_guard = 1;
    if (win_last_activated.get() != hwnd && child_hooks.tab_completion_reset &&
        conn_is_live(rec->conn))
        child_hooks.tab_completion_reset(rec->conn);
    QWidget* previous = win_last_activated.get();
    win_last_activated = hwnd;
    if (child_hooks.selection_end)
        child_hooks.selection_end(rec);

    win_active = hwnd;
    conn_current();
    if (child_hooks.activation_ui_update)
        child_hooks.activation_ui_update(rec);

    // Windows that follow the active connection take this window's.
    bool changed = false;
    if (conn_is_live(rec->conn)) {
        for (WindowRecord* r = win_list; r; r = r->next) {
            if (r == rec || r->type == kWinStatus || !r->follows_active)
                continue;
            if (r->conn != rec->conn) {
                r->conn = rec->conn;
                changed = true;
                if (win_hooks.treebar_update_window_item)
                    win_hooks.treebar_update_window_item(r, 1);
            }
        }
    }
    if (changed && win_hooks.winlist_sort)
        win_hooks.winlist_sort();
    if (child_hooks.follow_current_conn)
        child_hooks.follow_current_conn();
    if (child_hooks.window_menu_update)
        child_hooks.window_menu_update();

    if (win_clear_activity(rec)) {
        if (child_hooks.activity_cleared)
            child_hooks.activity_cleared(rec);
        win_paint_iconic_highlight(rec);
    }
    if (!win_is_record(rec))
        return;

    win_focus_input(hwnd);
    if (win_hooks.switchbar_repaint)
        win_hooks.switchbar_repaint();
    if (win_hooks.treebar_refresh)
        win_hooks.treebar_refresh(hwnd, 0);
    hwnd->update();
    if (rec->maximised && mdi_auto_arrange)
        post_app_message(WM_APP_BARS_REPAINT, 0, 0);

    win_previous_activated = previous;
    win_last_activated = hwnd;
    win_post(hwnd, WM_APP_CHILD_ACTIVATED, 0, 0);
}

int win_post(QWidget* hwnd, int message, uintptr_t wparam, intptr_t lparam)
{
    if (!hwnd)
        return 0;
    return post_app_message_to(hwnd, message, wparam, lparam);
}

namespace {

void deferred_key(WindowRecord* rec, QWidget* hwnd, uintptr_t wparam, intptr_t lparam)
{
    int vk = static_cast<int>(wparam & 0xFFFF);
    int mods = static_cast<int>(wparam & (kKeyCtrl | kKeyShift | kKeyAlt));
    bool second = lparam == 1;
    if (child_hooks.selection_end)
        child_hooks.selection_end(rec);
    switch (vk) {
    case 9:
        if (child_hooks.tab_complete)
            child_hooks.tab_complete(rec, second ? 1 : 0);
        break;
    case 13: {
        EditBox* box = (second && rec->editbox2.get()) ? rec->editbox2.get() : rec->editbox.get();
        if (box && child_hooks.editbox_submit)
            child_hooks.editbox_submit(rec, box, 1, (mods & kKeyCtrl) ? 3 : 1);
        break;
    }
    case 27: {
        QWidget* frame = win_container(hwnd);
        if (opt(OPT_ESCAPE_CLOSES_WINDOWS) && frame->isVisible() && !frame->isMinimized())
            frame->showMinimized();
        break;
    }
    case 33:
        win_on_vscroll(rec, (mods & kKeyCtrl) ? kScrollLineUp : kScrollPageUp, 0, 0);
        break;
    case 34:
        win_on_vscroll(rec, (mods & kKeyCtrl) ? kScrollLineDown : kScrollPageDown, 0, 0);
        break;
    case 35:
        win_on_vscroll(rec, kScrollBottom, 0, 0);
        break;
    case 36:
        win_on_vscroll(rec, kScrollTop, 0, 0);
        break;
    case 38:
        if (child_hooks.history_recall)
            child_hooks.history_recall(rec, 1, second ? 1 : 0);
        break;
    case 40:
        if (child_hooks.history_recall)
            child_hooks.history_recall(rec, -1, second ? 1 : 0);
        break;
    case 45: {
        EditBox* box = rec->editbox.get();
        if (box && rec->editbox_mode == 0 && box->hasFocus() && box->document()->blockCount() > 1 &&
            child_hooks.editbox_submit)
            child_hooks.editbox_submit(rec, box, 1, 0);
        break;
    }
    case 'F':
        if (mods & kKeyCtrl) {
            if (rec->line_count > 0 && child_hooks.find_dialog)
                child_hooks.find_dialog(rec);
            else
                beep_error(0);
        }
        break;
    default:
        if (vk >= 112 && vk <= 123) {
            char alias[16];
            const char* prefix = (mods & kKeyShift) ? "s" : (mods & kKeyCtrl) ? "c"
                                 : (mods & kKeyAlt) ? "a" : "";
            std::snprintf(alias, sizeof alias, "%sF%d ", prefix, vk - 111);
            int ran = child_hooks.function_key ? child_hooks.function_key(rec, alias) : 0;
            if (!ran)
                beep_error(0);
        }
        break;
    }
}

}  // namespace

intptr_t mdi_child_message(QWidget* hwnd, int message, uintptr_t wparam, intptr_t lparam)
{
    WindowRecord* rec = win_record_of(hwnd);
    if (!rec)
        return 0;
    switch (message) {
    case WM_APP_WINDOW_KEY:
        deferred_key(rec, hwnd, wparam, lparam);
        return 0;
    case WM_APP_CHILD_ACTIVATED:
        rec->activation_guard = 0;
        frame_update_activation(hwnd, 4);
        return 0;
    case WM_APP_DEFERRED_LAYOUT:
        win_layout(hwnd, static_cast<int>(lparam));
        return 0;
    default:
        return 0;
    }
}

// ---- MDI client ----

namespace {

class MdiFilter : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        QMdiArea* mdi = the_mdi.data();
        if (!mdi || watched != mdi->viewport())
            return false;
        if (event->type() == QEvent::Paint && child_hooks.mdi_paint_background) {
            QPainter painter(mdi->viewport());
            return child_hooks.mdi_paint_background(painter, mdi) != 0;
        }
        if (event->type() == QEvent::MouseButtonRelease) {
            auto* me = static_cast<QMouseEvent*>(event);
            if (me->button() == Qt::RightButton && child_hooks.mdi_background_popup) {
                child_hooks.mdi_background_popup(me->globalPosition().toPoint());
                return true;
            }
        }
        return false;
    }
};

}  // namespace

QMdiArea* mdi_client_create(QMdiArea* area)
{
    if (!area)
        return nullptr;
    the_mdi = area;
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
    auto* filter = new MdiFilter(area);
    area->viewport()->installEventFilter(filter);
    QObject::connect(area, &QMdiArea::subWindowActivated, area, [](QMdiSubWindow* sub) {
        if (sub && sub->widget() && win_record_of(sub->widget()))
            win_on_activate(sub->widget());
    });
    return area;
}

QMdiArea* mdi_client()
{
    return the_mdi.data();
}

QWidget* win_mdi_handle()
{
    return the_mdi.data();
}

void mdi_client_rect(WinRect& out, int screen)
{
    out = WinRect{};
    QMdiArea* mdi = the_mdi.data();
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

void mdi_post_arrange_command(QWidget* hwnd, int send)
{
    if (!win_is_mdi_child(hwnd))
        return;
    QMdiArea* mdi = the_mdi.data();
    if (!mdi)
        return;
    for (QMdiSubWindow* sub : mdi->subWindowList()) {
        if (sub->isMaximized())
            return;
    }
    if (!mdi_auto_arrange || !child_hooks.frame_command)
        return;
    int command = mdi_arrange_mode == 1 ? 171 : (mdi_arrange_mode == 2 ? 172 : 170);
    child_hooks.frame_command(command, send);
    if (mdi_arrange_icons)
        child_hooks.frame_command(173, send);
}

int key_modifier_bits(Qt::KeyboardModifiers mods)
{
    int bits = 0;
    if (mods & Qt::ControlModifier)
        bits |= kKeyCtrl;
    if (mods & Qt::ShiftModifier)
        bits |= kKeyShift;
    if (mods & Qt::AltModifier)
        bits |= kKeyAlt;
    return bits;
}
