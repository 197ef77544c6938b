// The child controls of a window: the widgets and making them.
#include "app/child_widgets.h"
#include "app/window_queries.h"
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
#include "model/nick_list.h"
#include "platform/app_messages.h"
#include "platform/platform_utils.h"

ChildHooks child_hooks;
Signal<void(ListBox*, WindowRecord*)> listbox_made;
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

QColor background_of(WindowRecord* rec)
{
    return colour_window_background(rec);
}

void frame_colours(QColor* light, QColor* dark)
{
    frame_style_colours(light, dark);
}

bool is_list_window(int type)
{
    return type == kWinChanList || type == kWinUrls || type == kWinNotify || type == kWinLinks;
}

// ---- Widgets ----

TextArea::TextArea(QWidget* parent) : QFrame(parent)
{
    tag_control(this, "Static", kCtlTextArea);
    setFocusPolicy(Qt::ClickFocus);
    // Moves without a button reach the mouse hook too (the hotlink hover).
    setMouseTracking(true);
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
    if (rec)
        text_area_paint_window(this, painter, rec);
}

void TextArea::keyPressEvent(QKeyEvent* event)
{
    WindowRecord* rec = record();
    if (rec && input_text_area_key(this, event, rec))
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
    if (rec && clicks_text_area_mouse(this, event, rec))
        return;
    QFrame::mousePressEvent(event);
}

void TextArea::mouseReleaseEvent(QMouseEvent* event)
{
    QPointer<TextArea> self(this);
    WindowRecord* rec = record();
    if (!(rec && clicks_text_area_mouse(this, event, rec)))
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
    if (rec && clicks_text_area_mouse(this, event, rec))
        return;
    QFrame::mouseMoveEvent(event);
}

void TextArea::mouseDoubleClickEvent(QMouseEvent* event)
{
    WindowRecord* rec = record();
    if (rec && clicks_text_area_mouse(this, event, rec))
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

void EditBox::setTopLine(const QColor& colour)
{
    top_line_ = colour;
    setViewportMargins(0, colour.isValid() ? 1 : 0, 0, 0);
    update();
}

bool EditBox::event(QEvent* event)
{
    const bool done = QPlainTextEdit::event(event);
    // The box's own paint (its frame); the text is painted on the viewport.
    if (event->type() == QEvent::Paint && top_line_.isValid()) {
        QPainter painter(this);
        painter.setPen(top_line_);
        painter.drawLine(0, 0, width() - 1, 0);
    }
    return done;
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
    {
        QSignalBlocker block(this);
        setPlainText(QString::fromUtf8(text.data(), static_cast<int>(text.size())));
        moveCursor(QTextCursor::End);
    }
    // A growing box follows its new line count (emptied after a submission
    // it shrinks back at once).
    WindowRecord* rec = record();
    if (rec && rec->editbox_mode == 2 && rec->hwnd.get())
        win_post(rec->hwnd.get(), WM_APP_DEFERRED_LAYOUT, 0, kLayoutEditboxCheck);
}

void EditBox::keyPressEvent(QKeyEvent* event)
{
    WindowRecord* rec = record();
    if (rec && input_editbox_key(this, event, rec)) {
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
            editbox_submit(rec, this, 5, (mods & Qt::ControlModifier) ? 3 : 1);
            event->accept();
            return;
        }
        // The history takes Up and Down in a box that shows one line (a
        // single-line box, or a growing one that holds one line), and with
        // Ctrl in any box; otherwise they move the caret between lines.
        const bool one_line = rec->editbox_mode == 0 || (rec->editbox_mode == 2 && lineCount() <= 1);
        if ((key == Qt::Key_Up || key == Qt::Key_Down) && !(mods & Qt::ShiftModifier) &&
            (one_line || (mods & Qt::ControlModifier))) {
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
    editbox_on_changed(this, rec);
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
    if (rec && input_listbox_key(this, event, rec)) {
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

