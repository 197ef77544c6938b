#include "bars/tree_view.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QProxyStyle>
#include <QPointer>
#include <QStyledItemDelegate>
#include <QTreeWidget>

#include <algorithm>

#include "model/window_record.h"
#include "bars/switchbar.h"
#include "model/colors.h"

namespace {

int g_folder_counter = kTreeFolderIdFirst;
int g_deleting = 0;
int g_expanding = 0;
QPointer<QTreeWidget> g_anchor_tree;
QTreeWidgetItem* g_anchor = nullptr;

constexpr int kTextMax = 4150;

// Blanks around a part removed and inner runs of blanks made one.
std::string clean_part(const std::string& s)
{
    std::string out;
    bool blank = false;
    for (char c : s) {
        if (c == ' ') {
            blank = true;
            continue;
        }
        if (blank && !out.empty())
            out.push_back(' ');
        blank = false;
        out.push_back(c);
    }
    return out;
}

QString qtext(const std::string& s)
{
    return QString::fromStdString(s);
}

int next_folder_id(QTreeWidget* tree)
{
    if (tree->topLevelItemCount() == 0 || g_folder_counter < kTreeFolderIdFirst ||
        g_folder_counter > kTreeFolderIdLast)
        g_folder_counter = kTreeFolderIdFirst;
    return g_folder_counter++;
}

void make_folder(QTreeWidgetItem* item)
{
    treeview_set_param(item, treeview_param(item) | 1u);
    item->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
}

void set_selected_byte(QTreeWidgetItem* item, int on)
{
    std::uint32_t p = treeview_param(item) & ~0xFF00u;
    if (on)
        p |= 0x0100u;
    treeview_set_param(item, p);
    item->setSelected(on != 0);
}

// The item still belongs to the tree.
bool item_in_tree(QTreeWidget* tree, QTreeWidgetItem* item)
{
    for (QTreeWidgetItem* i = treeview_next(tree, nullptr); i; i = treeview_next(tree, i))
        if (i == item)
            return true;
    return false;
}

// Index of the item in walking order, -1 when absent.
int walk_index(QTreeWidget* tree, QTreeWidgetItem* item)
{
    int k = 0;
    for (QTreeWidgetItem* i = treeview_next(tree, nullptr); i; i = treeview_next(tree, i), ++k)
        if (i == item)
            return k;
    return -1;
}

QColor rgb_of(ColorRgb c)
{
    return QColor(color_rgb_red(c), color_rgb_green(c), color_rgb_blue(c));
}

// The shared look: the selection byte decides the highlight; in the
// treebar the window's icon and the activity colour of the item's level.
class TreeItemDelegate : public QStyledItemDelegate {
public:
    explicit TreeItemDelegate(QTreeWidget* tree) : QStyledItemDelegate(tree), tree_(tree) {}

    void paint(QPainter* p, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        const int kind = treeview_kind(tree_);
        const std::uint32_t param = index.data(kTreeRoleParam).toUInt();
        const bool selected = treeview_param_selected(param) != 0;
        QColor bg = option.palette.color(QPalette::Base);
        QColor fg = option.palette.color(QPalette::Text);
        if (kind == 1) {
            bg = rgb_of(color_rgb(kColorTreebar));
            fg = rgb_of(color_rgb(kColorTreebarText));
            QColor activity;
            if (switchbar_activity_colour(index.data(kTreeRoleLevel).toInt(), &activity))
                fg = activity;
        }
        p->save();
        const QRect r = option.rect;
        int x = r.left();
        const QVariant icon = index.data(kTreeRoleIcon);
        const QVariant icon_number = index.data(kTreeRoleIconNumber);
        if (icon.isValid()) {
            const int v = icon.toInt();
            WindowRecord* rec = win_record_by_id(index.data(kTreeRoleWindow).toInt());
            QColor wash = option.palette.color(QPalette::Button);
            const bool blink = index.data(kTreeRoleBlink).toInt() != 0;
            switchbar_draw_window_icon(*p, rec, v >> 8, v & 0xFF, x + 1, r.top() + (r.height() - 16) / 2,
                                       blink ? &wash : nullptr);
            x += 18;
        } else if (icon_number.isValid()) {
            x += 18;
        }
        const QString text = index.data(Qt::DisplayRole).toString();
        const QFontMetrics fm(option.font);
        const QRect box(x + 2, r.top(), fm.horizontalAdvance(text) + 5, r.height());
        if (selected) {
            p->fillRect(box, option.palette.color(QPalette::Highlight));
            fg = option.palette.color(QPalette::HighlightedText);
        } else {
            p->fillRect(box, bg);
        }
        p->setPen(fg);
        p->setFont(option.font);
        p->drawText(box.adjusted(2, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text);
        if (option.state & QStyle::State_HasFocus) {
            p->setPen(QPen(option.palette.color(QPalette::Text), 1, Qt::DotLine));
            p->drawRect(box.adjusted(0, 0, -1, -1));
        }
        p->restore();
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QSize s = QStyledItemDelegate::sizeHint(option, index);
        s.setHeight(std::max(s.height(), 18));
        s.setWidth(s.width() + 24);
        return s;
    }

private:
    QTreeWidget* tree_;
};

// The tree's own style: the selection is the text box the delegate fills,
// so the indentation and the branch lines beside a selected item keep the
// tree's background.
class TreeSelectionStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* ret) const override
    {
        if (hint == QStyle::SH_ItemView_ShowDecorationSelected)
            return 0;
        return QProxyStyle::styleHint(hint, option, widget, ret);
    }
};

// Turns the control's notifications into the owner's, after the control
// has finished.
class TreeNoteHandler : public QObject {
public:
    TreeNoteHandler(QTreeWidget* tree, TreeNoteFn owner) : QObject(tree), tree_(tree), owner_(std::move(owner)) {}

    void post(QTreeWidgetItem* item, int note, int key)
    {
        QPointer<QTreeWidget> tree = tree_;
        QMetaObject::invokeMethod(
            this,
            [this, tree, item, note, key] {
                if (!tree || !owner_)
                    return;
                QTreeWidgetItem* live = item && item_in_tree(tree, item) ? item : nullptr;
                if (item && !live)
                    return;
                owner_(live, note, key);
            },
            Qt::QueuedConnection);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* e) override
    {
        if (watched == tree_ && e->type() == QEvent::KeyPress) {
            auto* k = static_cast<QKeyEvent*>(e);
            QTreeWidgetItem* current = tree_->currentItem();
            if (k->key() == Qt::Key_Space) {
                post(current, kTreeNoteKey, k->key());
                return true;
            }
            if ((k->key() == Qt::Key_Return || k->key() == Qt::Key_Enter) && treeview_kind(tree_) == 1) {
                if (current && treeview_param_selected(treeview_param(current)))
                    post(current, kTreeNoteReturn, k->key());
                return true;
            }
            post(current, kTreeNoteKey, k->key());
        }
        return QObject::eventFilter(watched, e);
    }

private:
    QTreeWidget* tree_;
    TreeNoteFn owner_;
};

}  // namespace

// ---- Parameters ----

std::uint32_t treeview_param(const QTreeWidgetItem* item)
{
    return item ? item->data(0, kTreeRoleParam).toUInt() : 0;
}

void treeview_set_param(QTreeWidgetItem* item, std::uint32_t param)
{
    if (item)
        item->setData(0, kTreeRoleParam, param);
}

int treeview_kind(const QTreeWidget* tree)
{
    return tree ? tree->property("treeKind").toInt() : 0;
}

// ---- Set-up ----

int treeview_reset(QTreeWidget* tree, int style_flags, int kind)
{
    if (!tree)
        return 0;
    tree->setProperty("treeKind", kind);
    ++g_deleting;
    tree->clear();
    --g_deleting;
    tree->setHeaderHidden(true);
    tree->setColumnCount(1);
    tree->setRootIsDecorated((style_flags & (kTreeLinesAtRoot | kTreeButtons)) != 0);
    tree->setDragDropMode(QAbstractItemView::NoDragDrop);
    tree->setSelectionMode(kind == 0 ? QAbstractItemView::ExtendedSelection : QAbstractItemView::SingleSelection);
    tree->setItemDelegate(new TreeItemDelegate(tree));
    static QPointer<TreeSelectionStyle> tree_style;
    if (!tree_style) {
        tree_style = new TreeSelectionStyle;
        tree_style->setParent(QCoreApplication::instance());  // lives as long as the trees
    }
    tree->setStyle(tree_style);
    tree->setMouseTracking((style_flags & kTreeTrackSel) != 0);
    return 1;
}

void treeview_free_imagelists(QTreeWidget* tree)
{
    if (tree)
        tree->setItemDelegate(nullptr);
}

void treeview_set_bk_color(QTreeWidget* tree, const QColor& colour)
{
    if (!tree)
        return;
    QPalette pal = tree->palette();
    pal.setColor(QPalette::Base, colour);
    tree->setPalette(pal);
    tree->viewport()->update();
}

// ---- Insertion ----

QTreeWidgetItem* treeview_insert_node(QTreeWidget* tree, QTreeWidgetItem* parent, const std::string& text,
                                      int folder, int id, int sort, QTreeWidgetItem* after)
{
    if (!tree)
        return nullptr;
    auto* item = new QTreeWidgetItem();
    item->setText(0, qtext(text.size() > kTextMax ? text.substr(0, kTextMax) : text));
    treeview_set_param(item, treeview_make_param(id, folder));
    if (folder)
        item->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
    const int count = parent ? parent->childCount() : tree->topLevelItemCount();
    auto child = [&](int i) { return parent ? parent->child(i) : tree->topLevelItem(i); };
    int at = count;
    if (sort) {
        const int kind = treeview_kind(tree);
        for (int i = 0; i < count; ++i)
            if (treeview_compare(kind, item, child(i)) < 0) {
                at = i;
                break;
            }
    } else if (after) {
        for (int i = 0; i < count; ++i)
            if (child(i) == after) {
                at = i + 1;
                break;
            }
    }
    if (parent)
        parent->insertChild(at, item);
    else
        tree->insertTopLevelItem(at, item);
    return item;
}

QTreeWidgetItem* treeview_insert_item(QTreeWidget* tree, const std::string& path, const std::string& text, int id,
                                      int sort, QTreeWidgetItem* after)
{
    if (!tree || id < 1 || id > kTreeLeafIdMax)
        return nullptr;
    const std::string leaf = clean_part(text);
    if (leaf.empty())
        return nullptr;
    QTreeWidgetItem* parent = nullptr;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find('\\', start);
        if (end == std::string::npos)
            end = path.size();
        const std::string part = clean_part(path.substr(start, end - start));
        start = end + 1;
        if (part.empty())
            continue;
        const QString name = qtext(part);
        QTreeWidgetItem* found = nullptr;
        const int count = parent ? parent->childCount() : tree->topLevelItemCount();
        for (int i = 0; i < count && !found; ++i) {
            QTreeWidgetItem* c = parent ? parent->child(i) : tree->topLevelItem(i);
            if (c->text(0).compare(name, Qt::CaseInsensitive) == 0)
                found = c;
        }
        if (found) {
            if (!treeview_param_folder(treeview_param(found)))
                make_folder(found);
        } else {
            found = treeview_insert_node(tree, parent, part, 1, next_folder_id(tree), sort, nullptr);
            if (!found)
                return nullptr;
        }
        parent = found;
    }
    return treeview_insert_node(tree, parent, leaf, 0, id, sort, after);
}

// ---- Walking and finding ----

QTreeWidgetItem* treeview_next(QTreeWidget* tree, QTreeWidgetItem* item)
{
    if (!tree)
        return nullptr;
    if (!item)
        return tree->topLevelItemCount() ? tree->topLevelItem(0) : nullptr;
    if (item->childCount())
        return item->child(0);
    for (QTreeWidgetItem* i = item; i; i = i->parent()) {
        QTreeWidgetItem* parent = i->parent();
        const int index = parent ? parent->indexOfChild(i) : tree->indexOfTopLevelItem(i);
        const int count = parent ? parent->childCount() : tree->topLevelItemCount();
        if (index + 1 < count)
            return parent ? parent->child(index + 1) : tree->topLevelItem(index + 1);
    }
    return nullptr;
}

QTreeWidgetItem* treeview_find(QTreeWidget* tree, int flags, const std::string& text, std::uint32_t param,
                               QTreeWidgetItem* start)
{
    if (!tree)
        return nullptr;
    if (!(flags & (kTreeFindText | kTreeFindParam)))
        return treeview_next(tree, start);
    const QString wanted = qtext(text);
    const bool want_folder = treeview_param_folder(param) != 0;
    const int want_id = treeview_param_id(param);
    for (QTreeWidgetItem* i = treeview_next(tree, start); i; i = treeview_next(tree, i)) {
        if ((flags & kTreeFindText) && i->text(0).compare(wanted, Qt::CaseInsensitive) != 0)
            continue;
        if (flags & kTreeFindParam) {
            const std::uint32_t p = treeview_param(i);
            const bool is_folder = treeview_param_folder(p) != 0;
            if (want_folder != is_folder)
                continue;
            if (want_folder) {
                if ((want_id != 0 || (flags & kTreeFindText)) && treeview_param_id(p) != want_id)
                    continue;
            } else if (treeview_param_id(p) != want_id) {
                continue;
            }
        }
        return i;
    }
    return nullptr;
}

QTreeWidgetItem* treeview_find_by_text(QTreeWidget* tree, const std::string* text, const std::uint32_t* param)
{
    const int flags = (text ? kTreeFindText : 0) | (param ? kTreeFindParam : 0);
    return treeview_find(tree, flags, text ? *text : std::string(), param ? *param : 0, nullptr);
}

// ---- Selection ----

QTreeWidgetItem* treeview_select_item(QTreeWidget* tree, QTreeWidgetItem* item, int n)
{
    if (!tree)
        return nullptr;
    if (n > 0) {
        item = treeview_next(tree, nullptr);
        for (int k = 1; item && k < n; ++k)
            item = treeview_next(tree, item);
    }
    if (!item)
        return nullptr;
    for (QTreeWidgetItem* i = treeview_next(tree, nullptr); i; i = treeview_next(tree, i))
        if (i != item && treeview_param_selected(treeview_param(i)))
            set_selected_byte(i, 0);
    if (tree->currentItem() != item) {
        ++g_deleting;  // the control's own change is not a user's choice
        tree->setCurrentItem(item);
        --g_deleting;
    }
    set_selected_byte(item, 1);
    return item;
}

int treeview_get_item_info(QTreeWidget* tree, QTreeWidgetItem* item, int n, std::string* text,
                           std::uint32_t* param, int* expanded, int* children)
{
    if (!tree)
        return 0;
    if (n > 0) {
        item = treeview_next(tree, nullptr);
        for (int k = 1; item && k < n; ++k)
            item = treeview_next(tree, item);
    }
    if (!item)
        return 0;
    if (text) {
        *text = item->text(0).toStdString();
        if (text->size() > static_cast<std::size_t>(kTextMax))
            text->resize(kTextMax);
    }
    if (param)
        *param = treeview_param(item);
    if (expanded)
        *expanded = item->isExpanded() ? 1 : 0;
    if (children)
        *children = item->childCount();
    return 1;
}

void treeview_select_range(QTreeWidget* tree, QTreeWidgetItem* a, QTreeWidgetItem* b, int mode, int value)
{
    if (!tree)
        return;
    int ia = walk_index(tree, a);
    int ib = walk_index(tree, b);
    if (ia < 0 || ib < 0)
        return;
    if (ia > ib)
        std::swap(ia, ib);
    int k = 0;
    for (QTreeWidgetItem* i = treeview_next(tree, nullptr); i; i = treeview_next(tree, i), ++k) {
        const bool inside = k >= ia && k <= ib;
        if (inside == (mode == 1))
            set_selected_byte(i, value);
    }
}

int treeview_count_selected(QTreeWidget* tree)
{
    int n = 0;
    for (QTreeWidgetItem* i = treeview_next(tree, nullptr); i; i = treeview_next(tree, i))
        if (treeview_param_selected(treeview_param(i)))
            ++n;
    return n;
}

QTreeWidgetItem* treeview_nth_selected(QTreeWidget* tree, int n)
{
    int k = 0;
    for (QTreeWidgetItem* i = treeview_next(tree, nullptr); i; i = treeview_next(tree, i))
        if (treeview_param_selected(treeview_param(i)) && ++k == n)
            return i;
    return nullptr;
}

void treeview_on_click(QTreeWidget* tree, QTreeWidgetItem* item, int ctrl, int shift)
{
    if (!tree || !item)
        return;
    if (g_anchor_tree != tree) {
        g_anchor_tree = tree;
        g_anchor = nullptr;
    }
    if (g_anchor && !item_in_tree(tree, g_anchor))
        g_anchor = nullptr;
    const int kind = treeview_kind(tree);
    if (kind != 0 || (!ctrl && !shift)) {
        if (kind == 0)
            g_anchor = nullptr;
        treeview_select_item(tree, item, 0);
        return;
    }
    if (shift) {
        if (!g_anchor)
            g_anchor = tree->currentItem() ? tree->currentItem() : item;
        treeview_select_range(tree, g_anchor, item, 1, 1);
        treeview_select_range(tree, g_anchor, item, 0, 0);
        return;
    }
    if (!g_anchor)
        g_anchor = item;
    set_selected_byte(item, treeview_param_selected(treeview_param(item)) ? 0 : 1);
}

// ---- Deleting and expanding ----

int treeview_delete_item(QTreeWidget* tree, QTreeWidgetItem* item, int reselect)
{
    if (!tree)
        return 0;
    ++g_deleting;
    if (!item) {
        tree->clear();
        g_anchor = nullptr;
        --g_deleting;
        return 1;
    }
    QTreeWidgetItem* parent = item->parent();
    const int index = parent ? parent->indexOfChild(item) : tree->indexOfTopLevelItem(item);
    const int count = parent ? parent->childCount() : tree->topLevelItemCount();
    auto sibling = [&](int i) { return parent ? parent->child(i) : tree->topLevelItem(i); };
    QTreeWidgetItem* next = index >= 0 && index + 1 < count ? sibling(index + 1) : nullptr;
    QTreeWidgetItem* prev = index > 0 ? sibling(index - 1) : nullptr;
    if (g_anchor == item)
        g_anchor = nullptr;
    delete item;
    --g_deleting;
    if (reselect) {
        QTreeWidgetItem* pick = next ? next : (prev ? prev : parent);
        if (pick)
            treeview_select_item(tree, pick, 0);
    }
    return 1;
}

namespace {
void prune_under(QTreeWidget* tree, QTreeWidgetItem* parent)
{
    const int count = parent ? parent->childCount() : tree->topLevelItemCount();
    for (int i = count - 1; i >= 0; --i) {
        QTreeWidgetItem* c = parent ? parent->child(i) : tree->topLevelItem(i);
        prune_under(tree, c);
        if (treeview_param_folder(treeview_param(c)) && c->childCount() == 0)
            treeview_delete_item(tree, c, treeview_param_selected(treeview_param(c)));
    }
}

void expand_under(QTreeWidgetItem* item, bool expand)
{
    if (item->childCount())
        item->setExpanded(expand);
    for (int i = 0; i < item->childCount(); ++i)
        expand_under(item->child(i), expand);
}
}  // namespace

void treeview_prune_empty_folders(QTreeWidget* tree)
{
    if (tree)
        prune_under(tree, nullptr);
}

void treeview_expand_all(QTreeWidget* tree, QTreeWidgetItem* first, int collapse)
{
    if (!tree)
        return;
    QTreeWidgetItem* parent = first ? first->parent() : nullptr;
    const int count = parent ? parent->childCount() : tree->topLevelItemCount();
    int from = 0;
    if (first)
        from = parent ? parent->indexOfChild(first) : tree->indexOfTopLevelItem(first);
    for (int i = std::max(0, from); i < count; ++i)
        expand_under(parent ? parent->child(i) : tree->topLevelItem(i), collapse == 0);
}

void treeview_scroll_to_item(QTreeWidget* tree, QTreeWidgetItem* item)
{
    if (!tree)
        return;
    if (!item)
        item = tree->currentItem();
    if (!item)
        return;
    const QRect r = tree->visualItemRect(item);
    if (r.isEmpty() || r.top() < 0 || r.bottom() > tree->viewport()->height())
        tree->scrollToItem(item, QAbstractItemView::PositionAtCenter);
}

// ---- Saved state ----

std::vector<TreeSavedNode> treeview_save_state(QTreeWidget* tree)
{
    std::vector<TreeSavedNode> out;
    for (QTreeWidgetItem* i = treeview_next(tree, nullptr); i; i = treeview_next(tree, i)) {
        TreeSavedNode n;
        n.text = i->text(0).toStdString();
        n.param = treeview_param(i);
        n.children = i->childCount();
        n.folder = treeview_param_folder(n.param) ? 1 : 0;
        n.expanded = i->isExpanded() ? 1 : 0;
        n.selected = tree->currentItem() == i ? 1 : 0;
        out.push_back(std::move(n));
    }
    return out;
}

void treeview_restore_state(QTreeWidget* tree, const std::vector<TreeSavedNode>& saved, int mode)
{
    if (!tree)
        return;
    if (mode == 1) {
        for (QTreeWidgetItem* i = treeview_next(tree, nullptr); i; i = treeview_next(tree, i)) {
            const std::uint32_t p = treeview_param(i);
            if (!treeview_param_folder(p))
                continue;
            for (const TreeSavedNode& n : saved)
                if (n.folder && n.expanded && treeview_param_id(n.param) == treeview_param_id(p)) {
                    i->setExpanded(true);
                    break;
                }
        }
        return;
    }
    QTreeWidgetItem* selected = nullptr;
    std::size_t k = 0;
    for (QTreeWidgetItem* i = treeview_next(tree, nullptr); i && k < saved.size();
         i = treeview_next(tree, i), ++k) {
        const TreeSavedNode& n = saved[k];
        const int folder = treeview_param_folder(treeview_param(i)) ? 1 : 0;
        if (n.text != i->text(0).toStdString() || n.folder != folder)
            continue;
        if (n.expanded)
            i->setExpanded(true);
        if (n.selected)
            selected = i;
    }
    treeview_select_item(tree, selected ? selected : treeview_next(tree, nullptr), 0);
}

// ---- Sorting ----

int treeview_compare(int kind, const QTreeWidgetItem* a, const QTreeWidgetItem* b)
{
    const bool fa = treeview_param_folder(treeview_param(a)) != 0;
    const bool fb = treeview_param_folder(treeview_param(b)) != 0;
    if (fa != fb)
        return fa ? -1 : 1;
    const QString ta = a->text(0);
    const QString tb = b->text(0);
    if (kind == 2) {
        auto rank = [](const QString& t) {
            if (t.contains("Random Server"))
                return 3;
            if (t.contains("Random", Qt::CaseInsensitive) && t.contains("server", Qt::CaseInsensitive))
                return 2;
            return 0;
        };
        const int ra = rank(ta);
        const int rb = rank(tb);
        if (ra != rb)
            return ra > rb ? -1 : 1;
    }
    const int c = ta.compare(tb, Qt::CaseInsensitive);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

void treeview_sort_children(QTreeWidget* tree, QTreeWidgetItem* parent)
{
    if (!tree)
        return;
    QList<QTreeWidgetItem*> kids = parent ? parent->takeChildren() : QList<QTreeWidgetItem*>();
    if (!parent)
        while (tree->topLevelItemCount())
            kids.append(tree->takeTopLevelItem(0));
    const int kind = treeview_kind(tree);
    std::stable_sort(kids.begin(), kids.end(),
                     [kind](QTreeWidgetItem* x, QTreeWidgetItem* y) { return treeview_compare(kind, x, y) < 0; });
    if (parent)
        parent->addChildren(kids);
    else
        tree->addTopLevelItems(kids);
}

// ---- Notifications ----

void treeview_install(QTreeWidget* tree, TreeNoteFn owner)
{
    if (!tree)
        return;
    auto* h = new TreeNoteHandler(tree, std::move(owner));
    tree->installEventFilter(h);
    tree->setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(tree, &QTreeWidget::itemExpanded, h, [h](QTreeWidgetItem* item) {
        g_expanding = 0;
        h->post(item, kTreeNoteExpanding, 1);
    });
    QObject::connect(tree, &QTreeWidget::itemCollapsed, h, [h](QTreeWidgetItem* item) {
        h->post(item, kTreeNoteExpanding, 0);
    });
    QObject::connect(tree, &QTreeWidget::currentItemChanged, h, [tree, h](QTreeWidgetItem* now, QTreeWidgetItem*) {
        if (g_deleting || !now)
            return;
        if (treeview_kind(tree) != 0)
            treeview_select_item(tree, now, 0);
        h->post(now, kTreeNoteSelChanged, 0);
    });
    QObject::connect(tree, &QTreeWidget::itemClicked, h, [tree, h](QTreeWidgetItem* item, int) {
        const Qt::KeyboardModifiers m = QApplication::keyboardModifiers();
        treeview_on_click(tree, item, (m & Qt::ControlModifier) ? 1 : 0, (m & Qt::ShiftModifier) ? 1 : 0);
        h->post(item, kTreeNoteClick, 0);
    });
    QObject::connect(tree, &QTreeWidget::itemDoubleClicked, h,
                     [h](QTreeWidgetItem* item, int) { h->post(item, kTreeNoteDoubleClick, 0); });
    QObject::connect(tree, &QTreeWidget::customContextMenuRequested, h, [tree, h](const QPoint& pos) {
        h->post(tree->itemAt(pos), kTreeNoteRightClick, 0);
    });
}
