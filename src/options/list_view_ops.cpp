#include "options/list_view_ops.h"

#include <QHeaderView>
#include <QTreeWidget>

#include <algorithm>
#include <vector>

#include "core/file_type_rules.h"
#include "core/text_buffer.h"

namespace {

int g_serial = 0;

QString qs(const std::string& s)
{
    return QString::fromUtf8(s.data(), static_cast<int>(s.size()));
}

std::string cut(const QString& text, int most)
{
    return text.left(most).toStdString();
}

QTreeWidgetItem* row_item(QTreeWidget* view, int row)
{
    return view && row >= 0 && row < view->topLevelItemCount() ? view->topLevelItem(row) : nullptr;
}

std::string trimmed_collapsed(std::string text)
{
    text_collapse_char(text, ' ');
    return text;
}

// A notify entry's parts: the nick before the first tag, the network and the
// note after their tags.
void notify_parts(const std::string& entry, std::string& nick, std::string& network, std::string& note)
{
    std::string text = entry;
    if (!text.empty() && text[0] == '+')
        text.erase(0, 1);
    std::size_t first = text.size();
    for (const char* tag : {"NETWORK:", "DEFSNDS:", "WAVE2:", "WAVE:", "NOTE:"}) {
        const std::size_t at = text.find(tag);
        if (at != std::string::npos)
            first = std::min(first, at);
    }
    nick = trimmed_collapsed(text.substr(0, first));
    const std::size_t net = text.find("NETWORK:");
    network = net == std::string::npos ? std::string() : trimmed_collapsed(text.substr(net + 8));
    const std::size_t n = text.find("NOTE:");
    note = n == std::string::npos ? std::string() : trimmed_collapsed(text.substr(n + 5));
    // The network runs to the end of the entry: a note after it is its own.
    if (net != std::string::npos && n != std::string::npos && n > net)
        network = trimmed_collapsed(text.substr(net + 8, n - net - 8));
}

}  // namespace

void lv_clear(QTreeWidget* view)
{
    if (!view)
        return;
    view->clear();
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
}

void lv_disable_header(QTreeWidget* view)
{
    if (view) {
        view->header()->setSectionsClickable(false);
        view->header()->setEnabled(false);
    }
}

void lv_add_column(QTreeWidget* view, int width, int index, const std::string& caption)
{
    if (!view)
        return;
    const int count = lv_column_count(view);
    const int at = std::clamp(index, 0, count);
    QStringList captions;
    std::vector<int> widths;
    for (int i = 0; i < count; ++i) {
        captions << view->headerItem()->text(i);
        widths.push_back(view->columnWidth(i));
    }
    captions.insert(at, qs(caption));
    widths.insert(widths.begin() + at, width);
    view->setColumnCount(static_cast<int>(captions.size()));
    view->setHeaderLabels(captions);
    for (int i = 0; i < captions.size(); ++i) {
        view->headerItem()->setTextAlignment(i, Qt::AlignLeft | Qt::AlignVCenter);
        view->setColumnWidth(i, widths[static_cast<std::size_t>(i)]);
    }
    view->setProperty("kestColumns", static_cast<int>(captions.size()));
}

int lv_column_count(QTreeWidget* view)
{
    return view ? view->property("kestColumns").toInt() : 0;
}

void lv_setup_columns(QTreeWidget* view, int kind, int show)
{
    if (!view)
        return;
    const bool was_hidden = !view->isVisible();
    if (show && was_hidden) {
        view->setAttribute(Qt::WA_ShowWithoutActivating);
        view->show();
    }
    const int w = view->viewport()->width();
    const int n = lv_column_count(view);
    std::vector<int> widths;
    if (kind == kListViewFileRule)
        widths = {w / 3, w - w / 3, 0};
    else if (kind == kListViewNotify)
        widths = {w / 3, w - static_cast<int>(w / 1.5), w - w / 3, 0};
    else
        widths.assign(static_cast<std::size_t>(std::max(n, 1)), n > 0 ? w / n : w);
    for (int i = 0; i < n && i < static_cast<int>(widths.size()); ++i) {
        view->setColumnWidth(i, widths[static_cast<std::size_t>(i)]);
        view->setColumnHidden(i, widths[static_cast<std::size_t>(i)] == 0);
    }
    if (show && was_hidden)
        view->hide();
}

int lv_set_cell(QTreeWidget* view, const std::string& text, int row, int column)
{
    if (!view)
        return -1;
    if (row < 0) {
        auto* item = new QTreeWidgetItem(view);
        item->setText(0, qs(text));
        item->setData(0, Qt::UserRole, ++g_serial);
        return view->indexOfTopLevelItem(item);
    }
    QTreeWidgetItem* item = row_item(view, row);
    if (!item || column < 0 || column >= std::max(1, lv_column_count(view)))
        return -1;
    item->setText(column, qs(text));
    return row;
}

int lv_add_row(QTreeWidget* view, const std::string& entry, int* is_default, int row, int kind)
{
    if (!view)
        return -1;
    if (kind == kListViewFileRule) {
        const std::string types = dcc_ext_rule_part(entry, 0);
        const std::string folder = dcc_ext_rule_part(entry, 1);
        if (types.empty() || folder.empty())
            return -1;
        const std::string first = types.substr(0, types.find(' '));
        if (is_default)
            *is_default = dcc_ext_is_default_name(first) ? 1 : 0;
        const int r = lv_set_cell(view, first, row < 0 ? -1 : row, 0);
        if (r < 0)
            return -1;
        lv_set_cell(view, folder, r, 1);
        lv_set_cell(view, entry, r, 2);
        return r;
    }
    if (kind == kListViewNotify) {
        std::string nick, network, note;
        notify_parts(entry, nick, network, note);
        const int r = lv_set_cell(view, nick, row < 0 ? -1 : row, 0);
        if (r < 0)
            return -1;
        lv_set_cell(view, network, r, 1);
        lv_set_cell(view, note, r, 2);
        lv_set_cell(view, entry, r, 3);
        return r;
    }
    return lv_set_cell(view, entry, row < 0 ? -1 : row, 0);
}

int lv_select(QTreeWidget* view, int row)
{
    QTreeWidgetItem* item = row_item(view, row);
    if (!item)
        return 0;
    view->setCurrentItem(item);
    item->setSelected(true);
    view->scrollToItem(item);
    return 1;
}

int lv_selected_index(QTreeWidget* view)
{
    if (!view)
        return -1;
    for (int i = 0; i < view->topLevelItemCount(); ++i)
        if (view->topLevelItem(i)->isSelected())
            return i;
    return -1;
}

int lv_count(QTreeWidget* view)
{
    return view ? view->topLevelItemCount() : 0;
}

std::string lv_item_text(QTreeWidget* view, int row, int kind)
{
    QTreeWidgetItem* item = row_item(view, row);
    if (!item)
        return std::string();
    const int column = kind == kListViewFileRule ? 2 : kind == kListViewNotify ? 3 : 0;
    return cut(item->text(column), kListViewTextMax);
}

void lv_delete_item(QTreeWidget* view, int row, int reselect)
{
    QTreeWidgetItem* item = row_item(view, row);
    if (!item)
        return;
    const int selected = lv_selected_index(view);
    delete item;
    // The view would move the selection on by itself: only the flag does.
    view->clearSelection();
    if (reselect) {
        if (!lv_select(view, row))
            lv_select(view, row - 1);
    } else if (selected >= 0 && selected != row) {
        lv_select(view, selected > row ? selected - 1 : selected);
    }
}

int lv_find_text(QTreeWidget* view, const std::string& text)
{
    if (!view)
        return -1;
    const QString wanted = qs(text);
    for (int i = 0; i < view->topLevelItemCount(); ++i)
        if (view->topLevelItem(i)->text(0).compare(wanted, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

void lv_sort(QTreeWidget* view, int)
{
    if (!view)
        return;
    QList<QTreeWidgetItem*> items;
    while (view->topLevelItemCount() > 0)
        items << view->takeTopLevelItem(0);
    std::stable_sort(items.begin(), items.end(), [](QTreeWidgetItem* a, QTreeWidgetItem* b) {
        return a->text(0).left(kListViewTextMax).compare(b->text(0).left(kListViewTextMax), Qt::CaseInsensitive) < 0;
    });
    view->addTopLevelItems(items);
}

void lv_swap_items(QTreeWidget* view, int a, int b)
{
    QTreeWidgetItem* x = row_item(view, a);
    QTreeWidgetItem* y = row_item(view, b);
    if (!x || !y || x == y)
        return;
    const int columns = std::max(1, lv_column_count(view));
    for (int c = 0; c < columns; ++c) {
        const QString tx = x->text(c).left(kListViewSwapTextMax);
        x->setText(c, y->text(c).left(kListViewSwapTextMax));
        y->setText(c, tx);
    }
    const QVariant data = x->data(0, Qt::UserRole);
    x->setData(0, Qt::UserRole, y->data(0, Qt::UserRole));
    y->setData(0, Qt::UserRole, data);
    const QIcon icon = x->icon(0);
    x->setIcon(0, y->icon(0));
    y->setIcon(0, icon);
    const bool selected = x->isSelected();
    x->setSelected(y->isSelected());
    y->setSelected(selected);
}

int lv_show_selected(QTreeWidget* view)
{
    const int row = lv_selected_index(view);
    if (row < 0)
        return -1;
    view->scrollToItem(view->topLevelItem(row));
    return row;
}
