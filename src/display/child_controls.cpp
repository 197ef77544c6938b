// The child controls of a window: the text area with its scroll bar, the
// editboxes and the list box, and making the text area and the list box.
#include "display/child_controls.h"
#include "display/child_layout.h"
#include "display/editbox.h"
#include "display/input_procs.h"
#include "display/mouse_clicks.h"
#include "display/text_area.h"
#include "display/window_queries.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPaintEvent>
#include <QPointer>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QWheelEvent>

#include <algorithm>
#include <cstdlib>

#include "model/colors.h"
#include "platform/app_messages.h"
#include "platform/platform_utils.h"

Signal<void(ListBox*, WindowRecord*)> listbox_made;

namespace {

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

// Sets a control's object name (its class) and control id.
void tag_control(QWidget* control, const char* class_name, int id)
{
    control->setObjectName(QLatin1String(class_name));
    control->setProperty("className", QLatin1String(class_name));
    dlg_set_item_id(control, id);
}

}  // namespace

void win_set_sunken(QFrame* frame, int sunken)
{
    if (sunken)
        frame->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    else
        frame->setFrameStyle(QFrame::NoFrame);
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
    painter.fillRect(rect(), colour_window_background(rec));
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

void TextArea::leaveEvent(QEvent* event)
{
    if (WindowRecord* rec = record())
        clicks_text_area_leave(this, rec);
    QFrame::leaveEvent(event);
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

int win_create_text_area(WindowRecord* rec)
{
    if (!win_is_record(rec) || !rec->hwnd.get())
        return 0;
    if (TextArea* area = rec->text_area.get()) {
        win_set_sunken(area, rec->border_style == 3);
        return 1;
    }
    auto* area = new TextArea(rec->hwnd.get());
    win_set_sunken(area, rec->border_style == 3);
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

int win_create_listbox(WindowRecord* rec, int style)
{
    if (!win_is_record(rec) || !rec->hwnd.get())
        return 0;
    ListBox* list = rec->listbox.get();
    if (!list) {
        list = new ListBox(rec->hwnd.get());
        rec->listbox = list;
    }
    win_set_sunken(list, rec->border_style == 3);
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

