#include "options/page_frame.h"

#include <QLineEdit>
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
    if (list->currentRow() == pagelist_index(*current) && !pages[0].strip)
        return;
    pagelist_show_page(dialog, 0, pages, current);
}
