#include "options/page_frame.h"

#include <QApplication>
#include <QFontMetrics>
#include <QLineEdit>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPointer>
#include <QSslSocket>
#include <QTextBlock>
#include <QTextDocument>
#include <QWidget>

#include <vector>

#include "options/dialog_opener.h"
#include "platform/platform_utils.h"

namespace {

const char* const kOptionsDialogProperty = "kestOptionsDialog";

// The controls of the page last shown, for the dialog last served.
QPointer<QWidget> g_last_dialog;
std::vector<std::pair<QPointer<QWidget>, int>> g_shown;

bool is_options_dialog(QWidget* dialog)
{
    return dialog && dialog->property(kOptionsDialogProperty).toBool();
}

QListWidget* page_list(QWidget* dialog)
{
    return qobject_cast<QListWidget*>(dlg_item(dialog, 101));
}

std::vector<std::pair<QPointer<QWidget>, int>> collect(QWidget* dialog, int first, int most)
{
    std::vector<std::pair<QPointer<QWidget>, int>> out;
    for (int id = first; static_cast<int>(out.size()) < most; ++id) {
        QWidget* w = dlg_item(dialog, id);
        if (!w)
            break;
        out.emplace_back(w, id);
    }
    return out;
}

}  // namespace

int pagelist_index(int index)
{
    return index < 0 || index >= kPagesMax ? 0 : index;
}

void pagelist_mark_options_dialog(QWidget* dialog)
{
    if (dialog)
        dialog->setProperty(kOptionsDialogProperty, true);
}

bool pagelist_keeps_text(QWidget* control)
{
    if (!control)
        return true;
    if (is_options_dialog(control->parentWidget())) {
        const int id = control->property("controlId").toInt();
        if (id == 283 || id == 342 || id == 408 || id == 523 || id == 525)
            return true;
    }
    if (auto* edit = qobject_cast<QLineEdit*>(control))
        return !edit->text().isEmpty();
    if (auto* edit = qobject_cast<QPlainTextEdit*>(control))
        return !edit->document()->firstBlock().text().isEmpty();
    return false;
}

int pagelist_toggle_mnemonic(QWidget* control, int direction)
{
    if (!control)
        return 0;
    QString text = dlg_widget_text(control);
    const QChar from = direction ? QChar(kDlgHiddenMnemonic) : QLatin1Char('&');
    const QChar to = direction ? QLatin1Char('&') : QChar(kDlgHiddenMnemonic);
    const int at = text.indexOf(from);
    if (at < 0)
        return 0;
    text[at] = to;
    dlg_widget_set_text(control, text);
    return 1;
}

void pagelist_switch_controls(QWidget* dialog, int show, OptionsPage* pages, int index)
{
    if (!dialog || !pages || !pages[0].switch_controls)
        return;
    const OptionsPage& page = pages[pagelist_index(index)];
    if (show) {
        auto controls = collect(dialog, page.first_control, kPageShowControlsMax);
        for (auto& [w, id] : controls)
            if (!pagelist_keeps_text(w))
                pagelist_toggle_mnemonic(w, 1);
        QRect group;
        for (auto& [w, id] : controls)
            group = group.isNull() ? w->geometry() : group.united(w->geometry());
        QRect area;
        if (QWidget* a = dlg_item(dialog, 102))
            area = a->geometry();
        const bool options = is_options_dialog(dialog);
        for (auto& [w, id] : controls) {
            const int left = area.left() + page.x_offset + (area.width() - group.width()) / 2 + (w->x() - group.left());
            const int top = area.top() + page.y_offset + (area.height() - group.height()) / 2 + (w->y() - group.top());
            w->move(left, top);
            if (options && id == 127)
                continue;
            w->setAttribute(Qt::WA_ShowWithoutActivating);
            w->show();
            w->raise();
            if (options && id == 186)
                w->setEnabled(QSslSocket::supportsSsl());
        }
        g_last_dialog = dialog;
        g_shown = std::move(controls);
        dialog->update();
        return;
    }
    std::vector<std::pair<QPointer<QWidget>, int>> controls;
    if (g_last_dialog != dialog)
        controls = collect(dialog, page.first_control, kPageHideControlsMax);
    else
        controls = g_shown;
    for (auto& [w, id] : controls) {
        if (!w)
            continue;
        w->hide();
        dialog->update(w->geometry().adjusted(-2, -2, 4, 2));
        if (!pagelist_keeps_text(w))
            pagelist_toggle_mnemonic(w, 0);
    }
}

void pagelist_show_page(QWidget* dialog, int already_selected, OptionsPage* pages, int* current)
{
    if (!dialog || !pages || !current || dialog->isMinimized())
        return;
    *current = pagelist_index(*current);
    if (!already_selected) {
        QListWidget* list = page_list(dialog);
        const int row = list ? list->currentRow() : -1;
        if (row < 0 || row >= kPagesMax || !pages[row].tab) {
            beep_error(0);
            return;
        }
        pagelist_switch_controls(dialog, 0, pages, *current);
        *current = row;
    }
    pagelist_switch_controls(dialog, 1, pages, *current);
    dialog->update();
}

void pagelist_select(QListWidget* list, int index)
{
    if (!list)
        return;
    if (list->window()->isActiveWindow())
        list->setFocus();
    // The list's own signal tells the dialog, as a choice of the user does.
    list->setCurrentRow(index);
}

void pagelist_notify(QWidget* dialog, OptionsPage* pages, int* current)
{
    QListWidget* list = page_list(dialog);
    if (!list || !current)
        return;
    if (pages[0].strip)
        pagelist_layout(dialog, pages, 1);
    else if (list->currentRow() == pagelist_index(*current))
        return;
    pagelist_show_page(dialog, 0, pages, current);
}

namespace {

int page_count(OptionsPage* pages)
{
    int n = 0;
    while (n < kPagesMax && pages[n].tab)
        ++n;
    return n;
}

int tab_width(QWidget* dialog, const OptionsPage& page)
{
    const QFontMetrics fm(dialog->font());
    return std::max(0, fm.horizontalAdvance(QString::fromStdString(page.caption))) +
           std::max(0, fm.horizontalAdvance(QStringLiteral("WW")));
}

QScrollBar* strip_scroll_bar(QWidget* dialog)
{
    return qobject_cast<QScrollBar*>(dlg_item(dialog, 103));
}

QRect page_area(QWidget* dialog)
{
    QWidget* area = dlg_item(dialog, 102);
    return area ? area->geometry() : QRect();
}

}  // namespace

void pagelist_layout(QWidget* dialog, OptionsPage* pages, int keep_selected_visible)
{
    if (!dialog || !pages)
        return;
    const int n = page_count(pages);
    if (n == 0)
        return;
    const QRect area = page_area(dialog);
    int offset = 0;
    for (int pass = 0; pass < 2; ++pass) {
        // Tabs left to right, shifted left by the scroll offset.
        int x = area.left() + 3 - offset;
        bool overflow = false;
        for (int i = 0; i < n; ++i) {
            QWidget* tab = pages[i].tab;
            const int w = tab_width(dialog, pages[i]);
            tab->setGeometry(x, tab->y(), w, tab->height());
            if (tab->geometry().right() + 2 >= area.right())
                overflow = true;
            x = tab->geometry().right() + 1 + 3;
        }
        QScrollBar* bar = strip_scroll_bar(dialog);
        const QWidget* first_tab = pages[0].tab;
        if (overflow) {
            if (!bar) {
                bar = new QScrollBar(Qt::Horizontal, dialog);
                dlg_set_item_id(bar, 103);
                bar->setRange(0, n - 1);
                QObject::connect(bar, &QScrollBar::valueChanged, dialog, [dialog, pages](int value) {
                    pages[0].first_visible_tab = value;
                    pagelist_layout(dialog, pages, 0);
                    dialog->update();
                });
                bar->show();
            }
            const int cx = dialog->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
            bar->setGeometry(area.right() + 1 - 2 * cx, first_tab->y() - 4, 2 * cx, first_tab->height() + 3);
        } else if (bar) {
            delete bar;
            bar = nullptr;
        }
        if (pass == 1)
            break;
        const int limit = bar ? bar->geometry().left() : area.right();
        int& first_visible = pages[0].first_visible_tab;
        first_visible = std::clamp(first_visible, 0, n - 1);
        if (keep_selected_visible || first_visible > 0) {
            // The first tab from which all the rest fit.
            int width = 0;
            int from = n;
            for (int i = n - 1; i >= 0; --i) {
                width += tab_width(dialog, pages[i]) + 3;
                if (area.left() + 3 + width > limit)
                    break;
                from = i;
            }
            if (from > 0 && from < first_visible)
                first_visible = from;
        }
        QListWidget* list = page_list(dialog);
        const int selected = list ? list->currentRow() : -1;
        if (keep_selected_visible && selected >= 0 && selected < n) {
            auto right_end = [&] {
                int x_end = area.left() + 3;
                for (int i = first_visible; i <= selected; ++i)
                    x_end += tab_width(dialog, pages[i]) + 3;
                return x_end - 3;
            };
            while (first_visible < selected && !(right_end() + 2 < limit))
                ++first_visible;
            if (first_visible > selected)
                first_visible = selected;
        }
        for (int i = 1; i < kPagesMax; ++i)
            pages[i].first_visible_tab = first_visible;
        if (bar) {
            const QSignalBlocker block(bar);
            bar->setValue(first_visible);
        }
        offset = pages[first_visible].tab->x() - pages[0].tab->x();
        if (offset <= 0)
            break;
    }
}

int pagelist_click_page(QWidget* dialog, QPoint pos, OptionsPage* pages, int* current)
{
    if (!dialog || !pages || !current)
        return 0;
    const QRect area = page_area(dialog);
    if (pos.x() < area.left() || pos.x() > area.right())
        return 0;
    int hit = -1;
    for (int i = 0; i < kPagesMax && pages[i].tab; ++i) {
        if (pages[i].tab->geometry().adjusted(0, -2, 0, 0).contains(pos)) {
            hit = i;
            break;
        }
    }
    if (hit < 0)
        return 0;
    QListWidget* list = page_list(dialog);
    const bool active = dialog->isActiveWindow();
    if (list && list->currentRow() != hit) {
        if (active && !list->hasFocus())
            list->setFocus();
        {
            const QSignalBlocker block(list);
            list->setCurrentRow(hit);
        }
        pagelist_show_page(dialog, 0, pages, current);
    } else if (list && active) {
        list->setFocus();
    }
    pagelist_repaint(dialog, pages, current);
    return 1;
}

void pagelist_paint(QWidget* dialog, QPainter& p, OptionsPage* pages, int current)
{
    if (!dialog || !pages || !pages[0].strip)
        return;
    QListWidget* list = page_list(dialog);
    if (list && list->isHidden())
        return;
    current = pagelist_index(current);
    const QRect area = page_area(dialog);
    const QScrollBar* bar = strip_scroll_bar(dialog);
    const QPalette& pal = dialog->palette();
    const QColor face = pal.color(QPalette::Button);
    const QColor shadow = pal.color(QPalette::Dark);
    const QColor light = pal.color(QPalette::Light);
    const QColor black = pal.color(QPalette::Shadow);
    const QColor text = pal.color(QPalette::ButtonText);
    const int n = page_count(pages);
    p.save();
    p.fillRect(QRect(0, 0, bar ? bar->x() : dialog->width(), area.top() + 5), face);
    QRect selected_rect;
    auto draw_tab = [&](int i, bool selected) {
        const QRect tab = pages[i].tab->geometry();
        if (tab.left() < area.left() || (bar && tab.left() >= bar->x()))
            return;
        QRect r = tab.adjusted(-2, -4, 1, -2);
        if (selected) {
            r.adjust(-1, 0, 3, 0);
            selected_rect = r;
            p.fillRect(r, face);
        }
        p.setPen(light);
        p.drawLine(r.bottomLeft(), r.topLeft());
        p.drawLine(r.topLeft(), r.topRight());
        p.setPen(shadow);
        p.drawLine(r.topRight() + QPoint(-1, 1), r.bottomRight() + QPoint(-1, 0));
        p.setPen(black);
        p.drawLine(r.topRight() + QPoint(0, 1), r.bottomRight());
        const int style = selected ? pages[i].style_flags : 0;
        if (style == 1) {
            p.setPen(light);
            p.drawLine(r.bottomLeft(), r.bottomLeft() + QPoint(0, 4));
        } else if (style == 2) {
            p.setPen(black);
            p.drawLine(r.bottomRight(), r.bottomRight() + QPoint(0, 4));
        }
        p.setPen(text);
        const QString caption = QString::fromStdString(pages[i].caption);
        p.drawText(r.adjusted(2, selected ? 1 : 3, 0, 0), Qt::AlignHCenter | Qt::AlignTop | Qt::TextSingleLine,
                   selected ? caption : QStringLiteral("   ") + caption + QStringLiteral("   "));
        if (selected && list && list->hasFocus()) {
            p.setPen(QPen(text, 1, Qt::DotLine));
            p.drawRect(r.adjusted(3, 3, -4, -3));
        }
    };
    for (int i = 0; i < n; ++i)
        if (i != current)
            draw_tab(i, false);
    if (current < n)
        draw_tab(current, true);
    // The page area's border, open under the selected tab.
    const QRect b = area;
    p.setPen(light);
    p.drawLine(b.topLeft(), b.bottomLeft());
    p.drawLine(b.topLeft(), b.topRight());
    p.setPen(black);
    p.drawLine(b.topRight(), b.bottomRight());
    p.drawLine(b.bottomLeft(), b.bottomRight());
    p.setPen(shadow);
    p.drawLine(b.topRight() + QPoint(-1, 1), b.bottomRight() + QPoint(-1, -1));
    p.drawLine(b.bottomLeft() + QPoint(1, -1), b.bottomRight() + QPoint(-1, -1));
    if (selected_rect.isValid()) {
        p.setPen(face);
        p.drawLine(selected_rect.left() + 1, b.top(), selected_rect.right() - 1, b.top());
    }
    p.restore();
}

void pagelist_repaint(QWidget* dialog, OptionsPage*, int* current)
{
    if (current)
        *current = pagelist_index(*current);
    if (dialog)
        dialog->update();
}
