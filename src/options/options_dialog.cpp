#include "options/options_dialog.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMainWindow>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QStyledItemDelegate>

#include <algorithm>
#include <iterator>
#include <map>
#include <set>
#include <vector>

#include "app/frame_menu.h"
#include "app/startup.h"
#include "core/ini.h"
#include "core/main_settings.h"
#include "core/numbered_texts.h"
#include "core/options.h"
#include "display/dialog_units.h"
#include "irc/link/connect.h"
#include "irc/link/connections.h"
#include "irc/link/identity_settings.h"
#include "irc/lists/servers.h"
#include "model/connection.h"
#include "options/options_page.h"
#include "options/page_frame.h"
#include "platform/platform_utils.h"

namespace {

// Tree flags of a row.
constexpr int kRowLast = 2;
constexpr int kRowOpen = 4;
constexpr int kRowClosed = 8;
constexpr int kRowChild = 16;

// The row of the speech agent's page: listed only while the agent is there.
constexpr int kAgentCategory = 14;

const OptionsCategory kCategories[kOptionsCategoryRows] = {
    {4305, 1, 190, 120, 170, 1, OPT_OPTIONS_GROUP_CONNECTION},
    {4330, 0, 760, 140, 170, 8, 0},
    {4306, 0, 200, 175, 160, 0, 0},
    {4307, 0, 580, 160, 590, 2, 0},
    {4308, 0, 540, 195, 470, 3, 0},
    {4309, 0, 450, 210, 390, 0, 0},
    {4310, 1, 550, 230, 520, 0, OPT_OPTIONS_GROUP_IRC},
    {4361, 0, 551, 260, 540, 0, 0},
    {4313, 0, 630, 480, 630, 0, 0},
    {4315, 0, 90, 350, 100, 4, 0},
    {4316, 0, 610, 395, 610, 0, 0},
    {4317, 0, 460, 310, 400, 0, 0},
    {4318, 1, 770, 280, 1250, 0, OPT_OPTIONS_GROUP_SOUNDS},
    {4319, 0, 730, 335, 1240, 0, 0},
    {4360, 0, 80, 623, 50, 0, 0},
    {4320, 1, 645, 375, 660, 0, OPT_OPTIONS_GROUP_MOUSE},
    {4321, 0, 300, 300, 330, 0, 0},
    {4322, 1, 240, 500, 240, 5, OPT_OPTIONS_GROUP_DCC},
    {4323, 0, 260, 533, 240, 0, 0},
    {4324, 0, 261, 563, 240, 0, 0},
    {4329, 0, 263, 573, 240, 7, 0},
    {4325, 0, 262, 518, 240, 0, 0},
    {4326, 0, 264, 588, 240, 0, 0},
    {4327, 1, 275, 460, 300, 6, OPT_OPTIONS_GROUP_DISPLAY},
    {4328, 0, 280, 420, 310, 0, 0},
    {4331, 1, 500, 440, 1070, 0, OPT_OPTIONS_GROUP_OTHER},
    {4343, 0, 590, 598, 600, 0, 0},
};

// The order OK reads the pages back in (by first control); pages not named
// here follow in table order.
const int kApplyOrder[] = {160, 120, 175, 195, 210, 230, 260, 480, 375, 280, 300, 335,
                           350, 310, 395, 460, 598, 420, 440};

// The dialog's own template: the category list, the page area, the buttons.
const DlgControl k670[] = {
    {101, kDlgList, "", 5, 5, 92, 204},
    {102, kDlgFrame, "", 102, 5, 258, 204},
    {1, kDlgDefButton, "Tamam", 200, 214, 50, 14},
    {2, kDlgButton, "İptal", 255, 214, 50, 14},
    {9, kDlgButton, "&Yardım", 310, 214, 50, 14},
};
const DlgTemplate kTemplate670 = {kOptionsDialogTemplate, "Seçenekler", 365, 233, k670, std::size(k670)};

// A page no part has built yet: one line in the page area says so.
const char* const kPageNotBuilt = "Bu sayfa henüz yok.";

std::map<int, OptionsPageDef>& pages_registered()
{
    static std::map<int, OptionsPageDef> p;
    return p;
}

// The open dialog.
struct OpenDialog {
    QPointer<QDialog> dialog;
    OptionsEdit edit;
    OptionsPage pages[kPagesMax + 1];
    int current = 0;
    std::vector<int> rows;          // list row -> category index
    std::set<int> changed;          // controls the user changed
    std::map<int, int> page_ranges; // first control -> one past its last
    bool filling = false;
    int toggled_by_press = -1;      // a group row the mouse press just toggled
    bool closing = false;           // OK or Cancel ends the dialog
};
OpenDialog* g_open = nullptr;
int g_open_at = 0;

bool agent_available()
{
    // The speech page is there when speech is (its part registers it).
    return options_page_find(623) != nullptr;
}

int category_of_code(int code)
{
    for (int i = 0; i < kOptionsCategoryRows; ++i)
        if (kCategories[i].code == code && code != 0)
            return i;
    return -1;
}

// The group a code opens whatever its stored state (category index), -1 none.
int group_forced_by(int code)
{
    switch (code) {
    case kOpenAtLocalInfo:
    case kOpenAtIdentd:
    case kOpenAtServers:
        return 0;
    case kOpenAtCatcher:
        return 6;
    case kOpenAtDccIgnore:
        return 17;
    default:
        return -1;
    }
}

int group_of(int category)
{
    for (int i = category; i >= 0; --i)
        if (kCategories[i].group)
            return i;
    return 0;
}

QString caption_of(int category)
{
    return QString::fromUtf8(text_load_string(kCategories[category].caption_id));
}

QListWidget* category_list()
{
    return g_open ? qobject_cast<QListWidget*>(dlg_item(g_open->dialog, 101)) : nullptr;
}

// Lays out the rows: mode 1 from the stored group states (and the
// open-at code), mode 2 after toggling the group at `toggled` (category).
void build_categories(int mode, int toggled_category)
{
    OpenDialog& o = *g_open;
    QListWidget* list = category_list();
    const int code = g_open_at;
    int previous_category = -1;
    if (mode == 2 && list && list->currentRow() >= 0 && list->currentRow() < static_cast<int>(o.rows.size()))
        previous_category = o.rows[static_cast<std::size_t>(list->currentRow())];
    const int stored_row = opt(OPT_OPTIONS_CATEGORY);

    o.rows.clear();
    std::vector<int> flags;
    bool open = false;
    for (int i = 0; i < kOptionsCategoryRows; ++i) {
        const OptionsCategory& c = kCategories[i];
        if (i == kAgentCategory && !agent_available())
            continue;
        if (c.group) {
            const OptionId flag = static_cast<OptionId>(c.open_flag);
            if (mode == 1)
                open = opt(flag) != 0 || group_forced_by(code) == i;
            else
                open = (i == toggled_category) ? opt(flag) == 0 : opt(flag) != 0;
            opt_set(flag, open ? 1 : 0);
            o.rows.push_back(i);
            flags.push_back(open ? kRowOpen : kRowClosed);
        } else if (open) {
            o.rows.push_back(i);
            flags.push_back(kRowChild);
        }
    }
    if (!flags.empty())
        flags.back() |= kRowLast;

    auto row_of = [&](int category) {
        auto it = std::find(o.rows.begin(), o.rows.end(), category);
        return it == o.rows.end() ? -1 : static_cast<int>(it - o.rows.begin());
    };
    int wanted = 0;
    if (mode == 1) {
        wanted = stored_row;
        if (code == kOpenAtConnection)
            wanted = 0;
        else if (code != 0) {
            const bool keep_dcc = code == kOpenAtDcc && stored_row > 0 && stored_row < static_cast<int>(o.rows.size()) &&
                                  group_of(o.rows[static_cast<std::size_t>(stored_row)]) == 17 &&
                                  o.rows[static_cast<std::size_t>(stored_row)] != 17;
            if (!keep_dcc) {
                const int r = row_of(category_of_code(code));
                wanted = r >= 0 ? r : row_of(group_of(category_of_code(code)));
            }
        }
        if (wanted < 0 || wanted >= static_cast<int>(o.rows.size()))
            wanted = 0;
    } else {
        wanted = row_of(previous_category);
        if (wanted < 0)
            wanted = row_of(group_of(previous_category));
        if (wanted < 0)
            wanted = 0;
    }

    // The page array follows the rows.
    for (int r = 0; r <= kPagesMax; ++r)
        o.pages[r] = OptionsPage();
    for (std::size_t r = 0; r < o.rows.size() && r < static_cast<std::size_t>(kPagesMax); ++r) {
        const OptionsCategory& c = kCategories[o.rows[r]];
        OptionsPage& p = o.pages[r];
        p.caption = text_load_string(c.caption_id);
        p.tab = o.dialog;
        p.first_control = c.first_control;
        p.style_flags = flags[r];
        p.help_topic = c.help_topic;
        p.switch_controls = 1;
    }

    if (list) {
        const QSignalBlocker block(list);
        const int top = mode == 1 ? opt(OPT_OPTIONS_LIST_TOP) : list->indexAt(QPoint(1, 1)).row();
        list->clear();
        for (std::size_t r = 0; r < o.rows.size(); ++r) {
            auto* item = new QListWidgetItem(caption_of(o.rows[r]), list);
            item->setData(Qt::UserRole, flags[r]);
        }
        list->setCurrentRow(wanted);
        if (top > 0 && top < list->count())
            list->scrollToItem(list->item(top), QAbstractItemView::PositionAtTop);
        // An opened group comes into view whole.
        if (mode == 1 && code != 0 && (flags[static_cast<std::size_t>(wanted)] & kRowOpen)) {
            int last = wanted;
            while (last + 1 < static_cast<int>(flags.size()) && (flags[static_cast<std::size_t>(last + 1)] & kRowChild))
                ++last;
            list->scrollToItem(list->item(last));
            list->scrollToItem(list->item(wanted));
        }
        if (mode == 2 && toggled_category >= 0) {
            const int r = row_of(toggled_category);
            if (r >= 0 && (flags[static_cast<std::size_t>(r)] & kRowOpen)) {
                int last = r;
                while (last + 1 < static_cast<int>(flags.size()) && (flags[static_cast<std::size_t>(last + 1)] & kRowChild))
                    ++last;
                list->scrollToItem(list->item(last));
            }
        }
    }
    g_open_at = 0;
}

void remember_selection()
{
    if (QListWidget* list = category_list()) {
        if (list->currentRow() >= 0)
            opt_set(OPT_OPTIONS_CATEGORY, list->currentRow());
        const int top = list->indexAt(QPoint(1, 1)).row();
        opt_set(OPT_OPTIONS_LIST_TOP, top > 0 ? top : 0);
    }
}

// Shows the page of the selected row.
void show_selected()
{
    if (!g_open)
        return;
    pagelist_notify(g_open->dialog, g_open->pages, &g_open->current);
    remember_selection();
}

void toggle_row(int row)
{
    OpenDialog& o = *g_open;
    if (row < 0 || row >= static_cast<int>(o.rows.size()) || !kCategories[o.rows[static_cast<std::size_t>(row)]].group)
        return;
    pagelist_switch_controls(o.dialog, 0, o.pages, o.current);
    build_categories(2, o.rows[static_cast<std::size_t>(row)]);
    QListWidget* list = category_list();
    o.current = list ? std::max(0, list->currentRow()) : 0;
    pagelist_show_page(o.dialog, 1, o.pages, &o.current);
    remember_selection();
}

// The category list drawn as a tree: a group row with its expander box, a
// child row indented with its connector.
class CategoryDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* p, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        const int flags = index.data(Qt::UserRole).toInt();
        const QRect r = option.rect;
        const QPalette& pal = option.palette;
        p->save();
        p->fillRect(r, pal.base());
        QPen dotted(pal.color(QPalette::Mid));
        dotted.setStyle(Qt::DotLine);
        const int mid = r.center().y();
        int text_x = 30;
        if (flags & (kRowOpen | kRowClosed)) {
            text_x = 18;
            const QRect box(r.left() + 3, mid - 4, 9, 9);
            p->setPen(dotted);
            if (index.row() > 0)
                p->drawLine(r.left() + 7, r.top(), r.left() + 7, box.top());
            if (!(flags & kRowLast))
                p->drawLine(r.left() + 7, box.bottom(), r.left() + 7, r.bottom());
            p->setPen(pal.color(QPalette::Mid));
            p->drawRect(box.adjusted(0, 0, -1, -1));
            p->setPen(pal.color(QPalette::Text));
            p->drawLine(box.left() + 2, mid, box.right() - 2, mid);
            if (flags & kRowClosed)
                p->drawLine(box.left() + 4, box.top() + 2, box.left() + 4, box.bottom() - 2);
        } else {
            p->setPen(dotted);
            p->drawLine(r.left() + 21, mid, r.left() + 28, mid);
            p->drawLine(r.left() + 21, r.top(), r.left() + 21, (flags & kRowLast) ? mid : r.bottom());
        }
        const QString text = index.data(Qt::DisplayRole).toString();
        const int width = option.fontMetrics.horizontalAdvance(text) + 5;
        const QRect text_rect(r.left() + text_x, r.top(), std::min(width, r.right() - r.left() - text_x), r.height());
        const bool selected = option.state & QStyle::State_Selected;
        p->fillRect(text_rect, selected ? pal.highlight() : pal.base());
        p->setPen(selected ? pal.color(QPalette::HighlightedText) : pal.color(QPalette::Text));
        p->drawText(text_rect.adjusted(2, 0, 0, 0), Qt::AlignVCenter | Qt::AlignLeft, text);
        if ((option.state & QStyle::State_HasFocus) && selected) {
            p->setPen(QPen(pal.color(QPalette::HighlightedText), 1, Qt::DotLine));
            p->drawRect(text_rect.adjusted(0, 0, -1, -1));
        }
        p->restore();
    }
};

// Keys and clicks of the category list: Left and Right as in a tree, a
// letter for the next row that begins with it, the expander and a
// double-click toggling a group.
class CategoryFilter : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        const QEvent::Type type = event->type();
        if (type != QEvent::KeyPress && type != QEvent::MouseButtonPress && type != QEvent::MouseButtonDblClick)
            return false;
        if (!g_open || g_open->closing)
            return false;
        QListWidget* list = category_list();
        if (!g_open || !list)
            return false;
        if (watched == list && event->type() == QEvent::KeyPress) {
            auto* key = static_cast<QKeyEvent*>(event);
            const int row = list->currentRow();
            if (row < 0)
                return false;
            const int flags = g_open->pages[pagelist_index(row)].style_flags;
            if (key->key() == Qt::Key_Left && key->modifiers() == Qt::NoModifier) {
                if (flags & kRowOpen)
                    toggle_row(row);
                else if (flags & kRowChild) {
                    int group = row;
                    while (group > 0 && (g_open->pages[group].style_flags & kRowChild))
                        --group;
                    list->setCurrentRow(group);
                }
                return true;
            }
            if (key->key() == Qt::Key_Right && key->modifiers() == Qt::NoModifier) {
                if (flags & kRowClosed)
                    toggle_row(row);
                return true;
            }
            const QString text = key->text().toLower();
            if (text.size() == 1 && text[0] >= QLatin1Char('a') && text[0] <= QLatin1Char('z') &&
                !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
                const int n = list->count();
                for (int k = 1; k <= n; ++k) {
                    const int r = (row + k) % n;
                    if (list->item(r)->text().startsWith(text[0], Qt::CaseInsensitive)) {
                        list->setCurrentRow(r);
                        break;
                    }
                }
                return true;
            }
            return false;
        }
        if (watched == list->viewport() && event->type() == QEvent::MouseButtonPress) {
            auto* mouse = static_cast<QMouseEvent*>(event);
            const QModelIndex at = list->indexAt(mouse->position().toPoint());
            g_open->toggled_by_press = -1;
            if (at.isValid() && mouse->position().x() <= 13 && mouse->button() == Qt::LeftButton &&
                (at.data(Qt::UserRole).toInt() & (kRowOpen | kRowClosed))) {
                list->setCurrentRow(at.row());
                g_open->toggled_by_press = at.row();
                toggle_row(at.row());
                return true;
            }
            return false;
        }
        if (watched == list->viewport() && event->type() == QEvent::MouseButtonDblClick) {
            auto* mouse = static_cast<QMouseEvent*>(event);
            const QModelIndex at = list->indexAt(mouse->position().toPoint());
            // The press of this double-click toggled the group already.
            if (at.isValid() && g_open->toggled_by_press == at.row()) {
                g_open->toggled_by_press = -1;
                return true;
            }
            if (at.isValid() && (at.data(Qt::UserRole).toInt() & (kRowOpen | kRowClosed))) {
                list->setCurrentRow(at.row());
                toggle_row(at.row());
                return true;
            }
        }
        return false;
    }
};

// The first empty of full name, e-mail and nick (120, 121, 122), 0 when
// all are filled.
int first_empty_identity(QDialog* dialog)
{
    for (int id : {120, 121, 122})
        if (QString::fromStdString(dlg_text(dialog, id)).trimmed().isEmpty())
            return id;
    return 0;
}

void focus_first_empty()
{
    QListWidget* list = category_list();
    const int empty = first_empty_identity(g_open->dialog);
    if (list && list->currentRow() == 0 && conn_is_live(g_open->edit.conn) && empty) {
        if (QWidget* w = dlg_item(g_open->dialog, empty)) {
            w->setFocus();
            return;
        }
    }
    if (list)
        list->setFocus();
}

// The server a Connect would use: the chosen entry, else the connection's.
bool server_chosen(const OptionsEdit& edit)
{
    if (!edit.chosen_server.empty())
        return !servers_parse_entry(edit.chosen_server).host.empty();
    return conn_is_live(edit.conn) && !edit.conn->stored_identity[5].empty();
}

void select_row_of(int first_control)
{
    QListWidget* list = category_list();
    if (!list)
        return;
    const int category = [&] {
        for (int i = 0; i < kOptionsCategoryRows; ++i)
            if (kCategories[i].first_control == first_control)
                return i;
        return 0;
    }();
    auto it = std::find(g_open->rows.begin(), g_open->rows.end(), category);
    if (it == g_open->rows.end()) {
        const int group = group_of(category);
        auto g = std::find(g_open->rows.begin(), g_open->rows.end(), group);
        if (g != g_open->rows.end())
            toggle_row(static_cast<int>(g - g_open->rows.begin()));
        it = std::find(g_open->rows.begin(), g_open->rows.end(), category);
    }
    if (it != g_open->rows.end())
        pagelist_select(list, static_cast<int>(it - g_open->rows.begin()));
}

std::vector<int> apply_order()
{
    std::vector<int> order(std::begin(kApplyOrder), std::end(kApplyOrder));
    for (const OptionsCategory& c : kCategories)
        if (std::find(order.begin(), order.end(), c.first_control) == order.end())
            order.push_back(c.first_control);
    return order;
}

void run_savers(Connection* conn)
{
    ini_save_local_host(conn);
    ini_save_identity(0, conn);
    ini_save_dirs();
    ini_save_text_settings();
    ini_save_options();
}

void close_dialog(int code)
{
    remember_selection();
    g_open->closing = true;
    QPointer<QDialog> dialog = g_open->dialog;
    if (dialog)
        dialog->done(code);
}

void on_command(int id);

// Wires the copied controls of a page: buttons and boxes give the page
// their command, and every change of the user marks the control changed.
void wire_controls(QDialog* dialog, int first, int end)
{
    for (int id = first; id < end; ++id) {
        QWidget* w = dlg_item(dialog, id);
        if (!w)
            continue;
        auto mark = [id] {
            if (g_open && !g_open->filling)
                g_open->changed.insert(id);
        };
        if (auto* button = qobject_cast<QAbstractButton*>(w)) {
            QObject::connect(button, &QAbstractButton::clicked, dialog, [id, mark] {
                mark();
                on_command(id);
            });
        } else if (auto* edit = qobject_cast<QLineEdit*>(w)) {
            QObject::connect(edit, &QLineEdit::textChanged, dialog, mark);
        } else if (auto* edit = qobject_cast<QPlainTextEdit*>(w)) {
            QObject::connect(edit, &QPlainTextEdit::textChanged, dialog, mark);
        } else if (auto* combo = qobject_cast<QComboBox*>(w)) {
            QObject::connect(combo, &QComboBox::activated, dialog, [id, mark] {
                mark();
                on_command(id);
            });
            if (combo->lineEdit())
                QObject::connect(combo->lineEdit(), &QLineEdit::textEdited, dialog, mark);
        }
    }
}

const OptionsPageDef* page_of_control(int id)
{
    if (!g_open)
        return nullptr;
    for (auto& [first, end] : g_open->page_ranges)
        if (id >= first && id < end)
            return options_page_find(first);
    return nullptr;
}

// The Select button of the Connection page: the Servers page.
void select_servers_page()
{
    select_row_of(140);
    if (QListWidget* list = category_list())
        list->setFocus();
}

void on_command(int id)
{
    if (!g_open)
        return;
    switch (id) {
    case 126:
        options_dialog_end(126);
        return;
    case 127:
        select_servers_page();
        return;
    default:
        break;
    }
    if (const OptionsPageDef* page = page_of_control(id); page && page->command)
        page->command(g_open->edit, id);
}

void init_dialog(QDialog& dialog)
{
    OpenDialog& o = *g_open;
    o.dialog = &dialog;
    o.edit.dialog = &dialog;
    pagelist_mark_options_dialog(&dialog);
    dialog.setObjectName(QStringLiteral("optionsDialog"));

    // Every page's controls, in the template order of the table.
    const DialogBaseUnits base = dialog_base_units(dialog.font());
    for (int i = 0; i < kOptionsCategoryRows; ++i) {
        const OptionsCategory& c = kCategories[i];
        if (i == kAgentCategory && !agent_available())
            continue;
        const OptionsPageDef* page = options_page_find(c.first_control);
        if (page && page->page_template) {
            dlg_template_register(*page->page_template);
            dlg_clone_page(dialog, page->page_template->id);
        } else {
            const DlgControl note = {c.first_control, kDlgLabel, kPageNotBuilt, 0, 0, 200, 10};
            dlg_build_control(&dialog, note, base)->hide();
        }
        int end = c.first_control;
        while (dlg_item(&dialog, end))
            ++end;
        o.page_ranges[c.first_control] = end;
        wire_controls(&dialog, c.first_control, end);
    }

    auto* list = qobject_cast<QListWidget*>(dlg_item(&dialog, 101));
    list->setItemDelegate(new CategoryDelegate(list));
    auto* filter = new CategoryFilter(list);
    list->installEventFilter(filter);
    list->viewport()->installEventFilter(filter);
    build_categories(1, -1);
    QObject::connect(list, &QListWidget::currentRowChanged, &dialog, [] { show_selected(); });

    // Fill the pages from the settings.
    o.filling = true;
    for (const OptionsCategory& c : kCategories)
        if (const OptionsPageDef* page = options_page_find(c.first_control); page && page->fill)
            page->fill(o.edit);
    o.filling = false;
    o.changed.clear();

    o.current = std::max(0, list->currentRow());
    pagelist_show_page(&dialog, 1, o.pages, &o.current);

    for (int id : {1, 2, 9}) {
        if (auto* button = qobject_cast<QAbstractButton*>(dlg_item(&dialog, id)))
            QObject::connect(button, &QAbstractButton::clicked, &dialog, [id] {
                if (id == 9) {
                    if (g_open) {
                        const int row = pagelist_index(category_list() ? category_list()->currentRow() : 0);
                        help_open(std::string(), std::string(), g_open->pages[row].help_topic);
                    }
                } else {
                    options_dialog_end(id);
                }
            });
    }
    // The close box and Escape cancel.
    QObject::connect(&dialog, &QDialog::rejected, &dialog, [] {
        if (g_open && g_open->dialog && !g_open->closing)
            options_dialog_end(2);
    });
    focus_first_empty();
}

int menu_command(int id, intptr_t)
{
    switch (id) {
    case 104:
        return options_dialog_open(kOpenAtServers);
    case 130:
        return options_dialog_open(kOpenAtDisplay);
    case 153:
        return options_dialog_open(kOpenAtDcc);
    default:
        return options_dialog_open(kOpenAtLast);
    }
}

}  // namespace

const OptionsCategory* options_categories()
{
    return kCategories;
}

void options_page_register(const OptionsPageDef& page)
{
    pages_registered()[page.first_control] = page;
}

void options_page_unregister(int first_control)
{
    pages_registered().erase(first_control);
}

const OptionsPageDef* options_page_find(int first_control)
{
    auto it = pages_registered().find(first_control);
    return it != pages_registered().end() ? &it->second : nullptr;
}

bool options_control_changed(const OptionsEdit&, int control_id)
{
    return g_open && g_open->changed.count(control_id) != 0;
}

bool options_page_changed(const OptionsEdit&, int first_control)
{
    if (!g_open)
        return false;
    auto range = g_open->page_ranges.find(first_control);
    if (range == g_open->page_ranges.end())
        return false;
    for (int id = first_control; id < range->second; ++id)
        if (g_open->changed.count(id))
            return true;
    return false;
}

void options_mark_changed(OptionsEdit&, int control_id)
{
    if (g_open)
        g_open->changed.insert(control_id);
}

void options_choose_server(OptionsEdit& edit, const std::string& entry)
{
    edit.chosen_server = entry;
    const ServerEntry e = servers_parse_entry(entry);
    if (edit.dialog)
        dlg_set_text(edit.dialog, 129, e.description.empty() ? e.host : e.description);
}

QDialog* options_dialog_window()
{
    return g_open ? g_open->dialog.data() : nullptr;
}

int options_category_count()
{
    return g_open ? static_cast<int>(g_open->rows.size()) : 0;
}

int options_category_row_of(int first_control)
{
    if (!g_open)
        return -1;
    for (std::size_t r = 0; r < g_open->rows.size(); ++r)
        if (kCategories[g_open->rows[r]].first_control == first_control)
            return static_cast<int>(r);
    return -1;
}

int options_category_selected()
{
    QListWidget* list = category_list();
    return list ? list->currentRow() : -1;
}

void options_toggle_group(int row)
{
    if (g_open)
        toggle_row(row);
}

int options_dialog_end(int command)
{
    if (!g_open || !g_open->dialog)
        return 0;
    OpenDialog& o = *g_open;
    if (!conn_is_live(o.edit.conn))
        o.edit.conn = nullptr;
    if (command == 2) {
        for (const OptionsCategory& c : kCategories)
            if (const OptionsPageDef* page = options_page_find(c.first_control); page && page->cancel)
                page->cancel(o.edit);
        close_dialog(0);
        return 1;
    }

    // Connect needs the whole identity and a server: nothing is read back
    // before both are there, so that a refusal leaves every setting as it
    // was and Cancel still drops every change.
    if (command == 126) {
        const int empty = first_empty_identity(o.dialog);
        if (empty || !server_chosen(o.edit) || !o.edit.conn) {
            beep_error(0);
            dlg_set_checked(o.dialog, 125, 0);
            if (empty) {
                select_row_of(120);
                if (QWidget* w = dlg_item(o.dialog, empty))
                    w->setFocus();
            } else {
                select_servers_page();
            }
            return 0;
        }
    }

    // A new server window: a new connection copied from the edited one.
    if (dlg_checked(o.dialog, 125) && o.edit.conn) {
        Connection* fresh = conn_new_with_status(o.edit.conn);
        if (!fresh) {
            beep_error(0);
            return 0;
        }
        for (int i = 0; i < 10; ++i)
            fresh->stored_identity[i] = o.edit.conn->stored_identity[i];
        o.edit.conn = fresh;
    }

    o.edit.command = command;
    for (int first : apply_order())
        if (const OptionsPageDef* page = options_page_find(first); page && page->apply)
            page->apply(o.edit);
    if (o.edit.server_list_changed)
        servers_save();

    Connection* conn = o.edit.conn;
    if (conn && !o.edit.chosen_server.empty() && (command == 126 || !conn_is_connected(conn)))
        conn_apply_server_entry(o.edit.chosen_server, conn);
    // A connection that is not linked takes the identity as it is now.
    if (conn && command == 1 && !conn_is_connected(conn))
        conn_identity_copy(0, conn);
    if (conn) {
        const std::string network = conn->stored_identity[7];
        ini_write("text", "network", network.empty() ? nullptr : network.c_str(), main_ini_path);
    }
    run_savers(conn);
    close_dialog(0);
    if (command == 126 && conn_is_live(conn))
        conn_begin_connect(conn);
    return 1;
}

int options_dialog_open(int open_at)
{
    if (g_open) {
        if (g_open->dialog) {
            g_open->dialog->raise();
            g_open->dialog->activateWindow();
        }
        return 0;
    }
    Connection* conn = conn_current();
    if (!conn_is_live(conn)) {
        beep_error(0);
        return 1;
    }
    OpenDialog open;
    open.edit.conn = conn;
    g_open = &open;
    g_open_at = open_at;
    QWidget* owner = frame_window.data();
    if (owner && !owner->isVisible())
        owner = nullptr;
    dlg_template_register(kTemplate670);
    dlg_show_modal(owner, kOptionsDialogTemplate, init_dialog);
    g_open = nullptr;
    g_open_at = 0;
    return 1;
}

void options_dialog_post(int open_at)
{
    QMetaObject::invokeMethod(qApp, [open_at] { options_dialog_open(open_at); }, Qt::QueuedConnection);
}

void options_open_at_start()
{
    options_dialog_post(kOpenAtConnection);
}

void options_open_for_identity()
{
    options_dialog_post(kOpenAtConnection);
}

void options_dialog_install()
{
    dlg_template_register(kTemplate670);
    for (int id : {104, 130, 153, 159})
        frame_menu_command_register(id, menu_command);
}

void options_dialog_uninstall()
{
    for (int id : {104, 130, 153, 159})
        frame_menu_command_register(id, nullptr);
    dlg_template_unregister(kOptionsDialogTemplate);
}
