#include "bars/treebar.h"

#include "app/startup.h"

#include <QApplication>
#include <QCursor>
#include <QMenu>
#include <QPainter>
#include <QPaintEvent>
#include <QPointer>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <unordered_map>

#include "app/child_window.h"
#include "model/connection.h"
#include "app/mdi_arrange.h"
#include "app/popup_menus.h"
#include "app/system_menu.h"
#include "app/window_ops.h"
#include "model/window_record.h"
#include "display/window_queries.h"
#include "app/bar_docking.h"
#include "display/bar_windows.h"
#include "bars/switchbar.h"
#include "bars/tree_view.h"
#include "core/options.h"
#include "core/numbered_texts.h"
#include "display/backgrounds.h"
#include "model/colors.h"
#include "model/transfer_progress.h"
#include "irc/dispatch/captions.h"
#include "irc/lists/notify_list.h"
#include "platform/platform_utils.h"

class TreeBarPanel;

namespace {

constexpr int kPanelControlId = 32950;
constexpr int kTreeControlId = 32951;

// What the treebar keeps on a window's record.
struct TreebarWindowState {
    int folder_base = 0;   // status windows: base of their ten folder ids
    int hidden = 0;        // the window is hidden: no item
    int was_in_view = 0;   // its item was in view when it was hidden
};
RecordSlot<TreebarWindowState> g_state_slot;

QPointer<TreeBarPanel> g_panel;
QPointer<QTreeWidget> g_tree;
std::vector<TreebarNode> g_model;
std::unordered_map<int, bool> g_expanded;   // expanded state by item id, kept across rebuilds
int g_refreshing = 0;
int g_next_base = kTreeFolderIdFirst;
int g_last_clicked = 0;

// Folder offsets from a status window's base.
enum FolderSlot : int {
    kFolderChannel = 1,
    kFolderQuery = 2,
    kFolderChat = 3,
    kFolderFserve = 4,
    kFolderSend = 5,
    kFolderGet = 6,
    kFolderNotify = 7,
    kFolderCustom = 8,
};

int option_in(OptionId id, int low, int high, int def)
{
    const int v = opt(id);
    return v >= low && v <= high ? v : def;
}

int show_counts() { return opt(OPT_N8_4); }
int use_folders() { return opt(OPT_N8_6); }
int dcc_grouping() { return option_in(OPT_N8_7, 0, 2, 2); }
int notify_folder_mode() { return option_in(OPT_N8_23, 0, 2, 1); }

int bar_side()
{
    return option_in(OPT_TREEBAR_SIDE, 0, 3, 2);
}

int conn_state_of(WindowRecord* status)
{
    return win_status_icon_kind(status->conn) - 26;   // icons 27..30 stand for 1..4
}

std::string after_first_blank(const std::string& name)
{
    const std::size_t blank = name.find(' ');
    return blank != std::string::npos && blank + 1 < name.size() ? name.substr(blank + 1) : name;
}

// Folder name, folder slot and item text of a window; false when the
// window gets no item.
bool item_of_window(WindowRecord* rec, std::string* folder, int* slot, std::string* text)
{
    const int grouping = dcc_grouping();
    folder->clear();
    *slot = 0;
    switch (rec->type) {
    case kWinChannel:
        *folder = "Channel";
        *slot = kFolderChannel;
        *text = rec->name;
        return true;
    case kWinQuery:
        if (rec->subtype == kQueryMessages) {
            *text = "Messages";
        } else if (rec->subtype == kQueryDccChat) {
            *folder = grouping == 1 ? "DCC" : "Chat";
            *slot = kFolderChat;
            *text = (grouping ? "Chat " : "") + after_first_blank(rec->name);
        } else if (rec->subtype == kQueryFserve) {
            *folder = grouping == 1 ? "DCC" : (grouping == 2 ? "Chat" : "Fserve");
            *slot = grouping ? kFolderChat : kFolderFserve;
            *text = (grouping ? "Fserve " : "") + after_first_blank(rec->name);
        } else {
            *folder = "Query";
            *slot = kFolderQuery;
            *text = rec->name;
        }
        return true;
    case kWinTransfer: {
        if (!opt(OPT_SWITCHBAR_DCC_WINDOWS))
            return false;
        const bool get = rec->subtype == 2;
        *folder = grouping == 1 ? "DCC" : (grouping == 2 ? "Transfer" : (get ? "Get" : "Send"));
        *slot = grouping == 1 ? kFolderChat : (grouping == 2 ? kFolderSend : (get ? kFolderGet : kFolderSend));
        // The progress text, the kind when the folder does not tell it, the
        // nick and the file.
        if (const TransferProgress* progress = transfer_progress_of(rec))
            *text = progress->percent_text + " " + (grouping ? (get ? "Get " : "Send ") : "") + progress->nick + " " +
                    progress->file;
        else
            *text = rec->name;
        return true;
    }
    case kWinChanList:
        *text = "Channels List";
        return true;
    case kWinFinger:
        *text = "Finger";
        return true;
    case kWinUrls:
        *text = "Urls List";
        return true;
    case kWinNotify:
        *text = "Notify List";
        return true;
    case kWinLinks:
        *text = "Links List";
        return true;
    case kWinCustom:
        *folder = "Window";
        *slot = kFolderCustom;
        *text = rec->name;
        return true;
    default:
        return false;
    }
}

TreebarNode window_node(WindowRecord* rec, const std::string& text)
{
    TreebarNode n;
    n.text = text;
    n.id = rec->number;
    n.level = rec->activity;
    n.blink = switchbar_blink_phase() == 1 && switchbar_blink_wanted(rec) ? 1 : 0;
    n.icon = (rec->type << 8) | (rec->subtype & 0xFF);
    return n;
}

// A node's level: its own, else the highest level number inside it.
int settle_levels(TreebarNode& n)
{
    int highest = 0;
    for (TreebarNode& k : n.kids)
        highest = std::max(highest, settle_levels(k));
    if (!n.level)
        n.level = highest;
    return n.level;
}

void add_to_folder(TreebarNode& parent, const std::string& name, int id, TreebarNode item)
{
    for (TreebarNode& k : parent.kids)
        if (k.folder && k.text == name) {
            k.kids.push_back(std::move(item));
            return;
        }
    TreebarNode f;
    f.text = name;
    f.id = id;
    f.folder = 1;
    f.kids.push_back(std::move(item));
    parent.kids.push_back(std::move(f));
}

void add_counts(std::vector<TreebarNode>& nodes)
{
    for (TreebarNode& n : nodes) {
        if (n.folder && n.notify == 0)
            n.text += ": " + std::to_string(n.kids.size());
        add_counts(n.kids);
    }
}

std::vector<TreebarNode> build_model()
{
    std::vector<TreebarNode> top;
    std::unordered_map<Connection*, std::size_t> conn_node;
    const int folders = use_folders();
    for (WindowRecord* rec = win_list; rec; rec = rec->next) {
        TreebarWindowState& st = rec->state_slots.get(g_state_slot);
        if (rec->type == kWinStatus) {
            if (!st.folder_base) {
                if (g_next_base + 9 > kTreeFolderIdLast)
                    g_next_base = kTreeFolderIdFirst;
                st.folder_base = g_next_base;
                g_next_base += 10;
            }
            std::string label;
            irc_status_label(rec, label, 1);
            TreebarNode n = window_node(rec, label);
            n.conn_state = conn_state_of(rec);
            conn_node[rec->conn] = top.size();
            top.push_back(std::move(n));
            continue;
        }
        if (!(rec->bar_flags & 2) || st.hidden)
            continue;
        std::string folder, text;
        int slot = 0;
        if (!item_of_window(rec, &folder, &slot, &text))
            continue;
        TreebarNode item = window_node(rec, text);
        if (switchbar_window_apart(rec)) {
            top.push_back(std::move(item));
            continue;
        }
        auto it = conn_node.find(rec->conn);
        if (it == conn_node.end())
            continue;
        TreebarNode& parent = top[it->second];
        WindowRecord* status = win_record_by_id(parent.id);
        const int base = status ? status->state_slots.get(g_state_slot).folder_base : 0;
        if (folders && !folder.empty())
            add_to_folder(parent, folder, base + slot, std::move(item));
        else
            parent.kids.push_back(std::move(item));
    }
    // Notify entries of every connected server.
    const int notify_mode = notify_folder_mode();
    if (notify_mode) {
        for (auto& [conn, index] : conn_node) {
            if (!conn || !conn_is_connected(conn))
                continue;
            TreebarNode& parent = top[index];
            WindowRecord* status = win_record_by_id(parent.id);
            const int base = status ? status->state_slots.get(g_state_slot).folder_base : 0;
            TreebarNode f;
            f.text = "Notify";
            f.id = base + kFolderNotify;
            f.folder = 1;
            f.notify = 1;
            for (int pass = 0; pass < 2; ++pass) {
                if (pass == 1 && notify_mode != 2)
                    break;
                for (NotifyEntry* e = notify_head(conn); e; e = e->next) {
                    if ((pass == 0) != (e->online != 0))
                        continue;
                    if (pass == 1 && !notify_network_applies(e, conn))
                        continue;
                    TreebarNode n;
                    notify_line_text(e, n.text, 0);
                    n.id = e->id;
                    n.level = e->activity;
                    n.notify = 1;
                    f.kids.push_back(std::move(n));
                }
            }
            if (!f.kids.empty())
                parent.kids.push_back(std::move(f));
        }
    }
    if (show_counts())
        add_counts(top);
    for (TreebarNode& n : top)
        settle_levels(n);
    return top;
}

void apply_node(QTreeWidgetItem* item, const TreebarNode& n)
{
    const QString text = QString::fromStdString(n.text);
    if (item->text(0) != text)
        item->setText(0, text);
    const std::uint32_t selected = treeview_param(item) & 0xFF00u;
    const std::uint32_t param = treeview_make_param(n.id, n.folder) | selected;
    if (treeview_param(item) != param)
        treeview_set_param(item, param);
    auto set = [item](int role, const QVariant& v) {
        if (item->data(0, role) != v)
            item->setData(0, role, v);
    };
    set(kTreeRoleLevel, n.level);
    set(kTreeRoleBlink, n.blink);
    set(kTreeRoleIcon, n.icon >= 0 ? QVariant(n.icon) : QVariant());
    set(kTreeRoleWindow, n.icon >= 0 ? QVariant(n.id) : QVariant());
    set(kTreeRoleIconNumber, n.notify && !n.folder ? QVariant(23) : QVariant());
    item->setChildIndicatorPolicy(n.folder || !n.kids.empty() ? QTreeWidgetItem::ShowIndicator
                                                              : QTreeWidgetItem::DontShowIndicatorWhenChildless);
}

// Brings the children of `parent` (top level when null) in line with the
// model, place by place; items left over go with their subtrees.
void sync_level(QTreeWidget* tree, QTreeWidgetItem* parent, const std::vector<TreebarNode>& nodes)
{
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        const TreebarNode& n = nodes[i];
        const int index = static_cast<int>(i);
        const int count = parent ? parent->childCount() : tree->topLevelItemCount();
        QTreeWidgetItem* item = index < count ? (parent ? parent->child(index) : tree->topLevelItem(index)) : nullptr;
        bool fresh = false;
        if (item && treeview_param_id(treeview_param(item)) != n.id) {
            // Another item stands here: a removed one goes, a new one comes.
            bool later = false;
            for (std::size_t j = i + 1; j < nodes.size() && !later; ++j)
                later = nodes[j].id == treeview_param_id(treeview_param(item));
            if (!later) {
                treeview_delete_item(tree, item, 0);
                --i;
                continue;
            }
            item = nullptr;
        }
        if (!item) {
            item = new QTreeWidgetItem();
            if (parent)
                parent->insertChild(index, item);
            else
                tree->insertTopLevelItem(index, item);
            fresh = true;
        }
        apply_node(item, n);
        sync_level(tree, item, n.kids);
        if (fresh) {
            auto it = g_expanded.find(n.id);
            item->setExpanded(it == g_expanded.end() ? true : it->second);
        }
    }
    for (;;) {
        const int count = parent ? parent->childCount() : tree->topLevelItemCount();
        if (count <= static_cast<int>(nodes.size()))
            break;
        treeview_delete_item(tree, parent ? parent->child(count - 1) : tree->topLevelItem(count - 1), 0);
    }
}

QTreeWidgetItem* find_window_item(QTreeWidget* tree, int number)
{
    for (QTreeWidgetItem* i = treeview_next(tree, nullptr); i; i = treeview_next(tree, i)) {
        if (i->data(0, kTreeRoleIcon).isValid() && treeview_param_id(treeview_param(i)) == number)
            return i;
    }
    return nullptr;
}

void select_active(QTreeWidget* tree)
{
    WindowRecord* rec = win_record_of(win_active.get());
    if (!rec)
        return;
    QTreeWidgetItem* item = find_window_item(tree, rec->number);
    // Only a change of the active window's item moves the selection, so a
    // folder the user closed stays closed through later refreshes.
    if (!item || (treeview_param_selected(treeview_param(item)) && tree->currentItem() == item))
        return;
    for (QTreeWidgetItem* p = item->parent(); p; p = p->parent())
        if (!p->isExpanded())
            p->setExpanded(true);
    treeview_select_item(tree, item, 0);
    treeview_scroll_to_item(tree, item);
}

// ---- Mouse and keys ----

void window_menu(WindowRecord* rec)
{
    QMenu* menu = win_system_menu(rec);
    if (!menu) {
        QApplication::beep();
        return;
    }
    menu->popup(QCursor::pos());
}

void folder_menu(QTreeWidgetItem* folder)
{
    std::vector<int> numbers;
    for (int i = 0; i < folder->childCount(); ++i)
        if (folder->child(i)->data(0, kTreeRoleIcon).isValid())
            numbers.push_back(treeview_param_id(treeview_param(folder->child(i))));
    auto* menu = new QMenu(g_tree);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    QAction* minimise = menu->addAction(QString::fromUtf8(text_load_string(6156)));
    QAction* close = menu->addAction(QString::fromUtf8(text_load_string(6155)));
    QObject::connect(minimise, &QAction::triggered, [numbers] {
        for (int n : numbers)
            if (WindowRecord* r = win_record_by_id(n); r && r->hwnd.get())
                win_minimize(r->hwnd.get(), 0);
    });
    QObject::connect(close, &QAction::triggered, [numbers] {
        for (int n : numbers)
            if (WindowRecord* r = win_record_by_id(n); r && r->hwnd.get())
                win_op_close(r->hwnd.get());
    });
    menu->popup(QCursor::pos());
}

void on_note(QTreeWidgetItem* item, int note, int key)
{
    QTreeWidget* tree = g_tree;
    if (!tree)
        return;
    if (note == kTreeNoteKey && key == Qt::Key_Space) {
        item = item ? item : tree->currentItem();
        note = kTreeNoteRightClick;
    }
    const bool is_window = item && item->data(0, kTreeRoleIcon).isValid();
    const int id = item ? treeview_param_id(treeview_param(item)) : 0;
    switch (note) {
    case kTreeNoteClick:
    case kTreeNoteDoubleClick:
    case kTreeNoteReturn: {
        if (!is_window)
            return;
        WindowRecord* rec = win_record_by_id(id);
        if (!rec || !rec->hwnd.get())
            return;
        QWidget* hwnd = rec->hwnd.get();
        const bool active = win_active.get() == hwnd && hwnd->isVisible() && win_op_state(hwnd) == 0;
        if (active && g_last_clicked != id) {
            g_last_clicked = id;
            return;
        }
        g_last_clicked = id;
        const Qt::KeyboardModifiers m = QApplication::keyboardModifiers();
        switchbar_click(rec, (m & Qt::ShiftModifier) ? 1 : 0, (m & Qt::ControlModifier) ? 1 : 0);
        return;
    }
    case kTreeNoteRightClick: {
        if (!item) {
            if (QMenu* popup = bar_popup_build(BAR_TREEBAR, tree))
                popup->popup(QCursor::pos());
            return;
        }
        treeview_select_item(tree, item, 0);
        if (is_window) {
            WindowRecord* rec = win_record_by_id(id);
            if (!rec)
                return;
            // The window's own popup or its system menu, by the option;
            // Shift gives the other one.
            const bool shift = (QApplication::keyboardModifiers() & Qt::ShiftModifier) != 0;
            if ((option_in(OPT_N8_24, 0, 1, 0) == 1) != shift) {
                if (!popup_window_rclick(rec, 2, QCursor::pos(), 0))
                    QApplication::beep();
            } else {
                window_menu(rec);
            }
        } else if (treeview_param_folder(treeview_param(item)) && !item->data(0, kTreeRoleIconNumber).isValid()) {
            folder_menu(item);
        }
        return;
    }
    case kTreeNoteExpanding:
        g_expanded[id] = key != 0;
        return;
    default:
        return;
    }
}

}  // namespace

// ---- The panel ----

class TreeBarPanel : public QWidget {
public:
    explicit TreeBarPanel(QWidget* parent) : QWidget(parent)
    {
        setObjectName("Kest_TreeBar");
        setCursor(Qt::ArrowCursor);
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        tree_ = new QTreeWidget(this);
        tree_->setObjectName("SysTreeView32");
        dlg_set_item_id(tree_, kTreeControlId);
        tree_->setFrameShape(QFrame::StyledPanel);
        layout->addWidget(tree_);
        place_margins();
    }

    QTreeWidget* tree() const { return tree_; }

    QSize sizeHint() const override
    {
        if (bar_side() >= 2)
            return QSize(option_in(OPT_TREEBAR_WIDTH, 24, 500, 168), 200);
        return QSize(200, option_in(OPT_N8_22, 30, 500, 168));
    }

    // The tree stands 4 pixels in on the side that faces the windows, and
    // below the grip while the bars are not locked.
    void place_margins()
    {
        const int side = bar_side();
        QRect grip;
        const int grip_height = dock_grip_rect(BAR_TREEBAR, side, &grip) ? grip.bottom() + 1 : 0;
        const QMargins m(side == 3 ? 4 : 0, std::max(side == 0 ? 4 : 0, grip_height), side == 2 ? 4 : 0,
                         side == 1 ? 4 : 0);
        if (layout()->contentsMargins() != m)
            layout()->setContentsMargins(m);
    }

protected:
    // The background picture around the tree, then the grip.
    void paintEvent(QPaintEvent* event) override
    {
        QPainter p(this);
        p.fillRect(event->rect(), palette().color(QPalette::Button));
        if (bar_bg_has(kBarBgTreebar)) {
            const QImage& img = bar_bg_get(kBarBgTreebar, width(), height());
            if (!img.isNull())
                p.drawImage(QPoint(0, 0), img);
        }
        dock_draw_grip(BAR_TREEBAR, p, bar_side());
    }

    void resizeEvent(QResizeEvent* e) override
    {
        QWidget::resizeEvent(e);
        place_margins();
    }

public:
private:
    QTreeWidget* tree_;
};

QWidget* treebar_create()
{
    QWidget* frame = win_frame_handle();
    if (!frame)
        return nullptr;
    if (g_panel)
        return g_panel;
    g_panel = new TreeBarPanel(frame);
    dlg_set_item_id(g_panel, kPanelControlId);
    g_tree = g_panel->tree();
    if (!treeview_reset(g_tree, kTreeNormalImages | kTreeLines | kTreeLinesAtRoot | kTreeButtons | kTreeShowSelAlways,
                        1)) {
        delete g_panel.data();
        return nullptr;
    }
    treeview_install(g_tree, on_note);
    treebar_set_background(QColor(color_rgb_red(color_rgb(kColorTreebar)), color_rgb_green(color_rgb(kColorTreebar)),
                                  color_rgb_blue(color_rgb(kColorTreebar))));
    g_panel->resize(0, 0);
    g_panel->hide();
    bar_set_window(BAR_TREEBAR, g_panel);
    g_model.clear();
    if (opt(OPT_TREEBAR_SHOWN))
        g_panel->show();
    return g_panel;
}

QWidget* treebar_window()
{
    return g_panel.data();
}

QTreeWidget* treebar_tree()
{
    return g_tree.data();
}

int treebar_is_on()
{
    return g_panel && opt(OPT_TREEBAR_SHOWN) ? 1 : 0;
}

void treebar_set_background(const QColor& colour)
{
    if (g_tree)
        treeview_set_bk_color(g_tree, colour);
}

const std::vector<TreebarNode>& treebar_model()
{
    return g_model;
}

void treebar_refresh(Connection*, int mode)
{
    QTreeWidget* tree = g_tree;
    if (!tree || g_refreshing)
        return;
    g_refreshing = 1;
    if (g_panel && g_panel->isVisibleTo(g_panel->parentWidget()) != (opt(OPT_TREEBAR_SHOWN) != 0))
        g_panel->setVisible(opt(OPT_TREEBAR_SHOWN) != 0);
    switch (mode) {
    case 3:
    case 4:
        treeview_expand_all(tree, nullptr, mode == 4 ? 1 : 0);
        break;
    case 5:
        break;
    default: {
        if (g_panel)
            g_panel->place_margins();
        std::vector<TreebarNode> model = build_model();
        if (!(model == g_model)) {
            tree->setUpdatesEnabled(false);
            sync_level(tree, nullptr, model);
            tree->setUpdatesEnabled(true);
            g_model = std::move(model);
        }
        select_active(tree);
        break;
    }
    }
    tree->viewport()->update();
    g_refreshing = 0;
}

void treebar_update_window_item(WindowRecord* rec, int visible)
{
    if (!win_is_record(rec))
        return;
    TreebarWindowState& st = rec->state_slots.get(g_state_slot);
    QTreeWidgetItem* item = g_tree ? find_window_item(g_tree, rec->number) : nullptr;
    if (!visible) {
        int in_view = item ? 1 : 0;
        for (QTreeWidgetItem* p = item ? item->parent() : nullptr; p; p = p->parent())
            if (!p->isExpanded())
                in_view = 0;
        st.was_in_view = in_view;
        st.hidden = 1;
        treebar_refresh(nullptr, 0);
        return;
    }
    st.hidden = 0;
    treebar_refresh(nullptr, 0);
    if (st.was_in_view && g_tree)
        if (QTreeWidgetItem* again = find_window_item(g_tree, rec->number))
            for (QTreeWidgetItem* p = again->parent(); p; p = p->parent())
                p->setExpanded(true);
}

int treebar_has_window(WindowRecord* rec)
{
    return win_is_record(rec) && g_tree && find_window_item(g_tree, rec->number) ? 1 : 0;
}

QTreeWidgetItem* treebar_item_of(WindowRecord* rec)
{
    return win_is_record(rec) && g_tree ? find_window_item(g_tree, rec->number) : nullptr;
}

int treebar_folder_base(WindowRecord* status)
{
    if (!win_is_record(status))
        return 0;
    return status->state_slots.get(g_state_slot).folder_base;
}

namespace {
int g_making_listener = 0;
int g_list_listener = 0;

void treebar_list_changed(const WinListChange& change)
{
    if (change.kind == kWinListTree)
        treebar_refresh(nullptr, change.mode);
    else if (change.kind == kWinListTreeItem)
        treebar_update_window_item(change.rec, change.mode);
}
}  // namespace

void treebar_install()
{
    frame_bars_making.add_once(g_making_listener, kMakeTreebar, [] { return treebar_create() == nullptr; });
    win_list_changed.add_once(g_list_listener, kWinListChangedTreebar, treebar_list_changed);
}

void treebar_uninstall()
{
    frame_bars_making.drop(g_making_listener);
    win_list_changed.drop(g_list_listener);
}
