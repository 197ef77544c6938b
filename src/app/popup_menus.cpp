#include "app/popup_menus.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QMouseEvent>
#include <QListWidget>
#include <QMenu>
#include <QScreen>

#include <string>
#include <vector>

#include "app/child_widgets.h"
#include "model/connection.h"
#include "app/file_dialogs.h"
#include "app/finger_dialog.h"
#include "app/frame_menu.h"
#include "app/frame_proc.h"
#include "app/links_window.h"
#include "model/window_record.h"
#include "display/window_queries.h"
#include "core/ini.h"
#include "core/numbered_texts.h"
#include "core/string_list.h"
#include "core/text_limits.h"
#include "display/backgrounds.h"
#include "display/hotlinks.h"
#include "display/mouse_clicks.h"
#include "irc/numerics/isupport.h"
#include "platform/frame_timers.h"
#include "platform/platform_utils.h"
#include "script/events/remote_files.h"
#include "script/exec/executor.h"
#include "script/popups.h"

PopupContext popup_context;

namespace {

constexpr std::size_t kShortBuffer = 305;   // a short text buffer (306) less its end

std::string cut(std::string text, std::size_t limit)
{
    if (text.size() > limit)
        text.resize(limit);
    return text;
}

QString qtext(const std::string& text)
{
    return QString::fromUtf8(text.data(), static_cast<int>(text.size()));
}

std::string numbered(int id)
{
    std::string out;
    text_load_string(id, &out);
    return out;
}

// The frame serves picked items as commands; posted, so that the menu is
// closed before the command runs.
void post_command(int id)
{
    QMetaObject::invokeMethod(
        qApp, [id] { frame_on_command(nullptr, static_cast<uintptr_t>(id), 0); },
        Qt::QueuedConnection);
}

void fill_menu(QMenu* target, const PopupMenu& model)
{
    for (const PopupItem& it : model.items) {
        switch (it.type) {
        case PopupItem::kSeparator:
            target->addSeparator();
            break;
        case PopupItem::kSubmenu: {
            QMenu* sub = target->addMenu(qtext(it.caption));
            if (it.sub)
                fill_menu(sub, *it.sub);
            sub->menuAction()->setEnabled(!(it.flags & (kMenuGrayed | kMenuDisabled)));
            sub->menuAction()->setData(it.data);
            break;
        }
        case PopupItem::kItem: {
            QAction* a = target->addAction(qtext(it.caption));
            a->setData(it.id);
            a->setProperty("itemData", it.data);
            if (it.flags & kMenuChecked) {
                a->setCheckable(true);
                a->setChecked(true);
            }
            a->setEnabled(!(it.flags & (kMenuGrayed | kMenuDisabled)));
            const int id = it.id;
            QObject::connect(a, &QAction::triggered, a, [id] { post_command(id); });
            break;
        }
        }
    }
}

// A fixed item of a built-in popup.
QAction* add_fixed(QMenu* menu, int text_id, int id)
{
    QAction* a = menu->addAction(qtext(numbered(text_id)));
    a->setData(id);
    QObject::connect(a, &QAction::triggered, a, [id] { post_command(id); });
    return a;
}

QMenu* new_popup()
{
    auto* menu = new QMenu;
    menu->setAttribute(Qt::WA_DeleteOnClose, false);
    return menu;
}

// The menu of a built model, made the open popup; null for an empty model.
QMenu* popup_from_model(const PopupMenu& model)
{
    if (model.empty())
        return nullptr;
    QMenu* menu = new_popup();
    fill_menu(menu, model);
    popup_context.menu = menu;
    return menu;
}

// Step 1 of every script popup: reset and note what it is opened for.
void begin_popup(QWidget* window, const std::string& kind_name, const std::string& context,
                 const PopupSaved* saved)
{
    menu_popup_reset();
    PopupContext& pc = popup_context;
    pc.kind_name = cut(kind_name, kShortBuffer);
    pc.context = cut(context, kShortBuffer);
    pc.long_text.clear();
    if (saved) {
        pc.saved.hotlink = cut(saved->hotlink, kLongText);
        pc.saved.second = cut(saved->second, kShortBuffer);
    }
    QWidget* w = window;
    pc.conn = conn_for_window_or_current(&w);
    pc.window = w;
}

QMenu* build_script_popup(QWidget* window, int file_kind, const std::string& kind_name,
                          const std::string& context, const PopupSaved* saved,
                          const std::string& target)
{
    begin_popup(window, kind_name, context, saved);
    popup_build_ctx.target = cut(target, kLongText);
    PopupMenu model = popup_build_menu(popup_lines_of_kind(file_kind), kind_name,
                                       popup_context.window, popup_context.conn, nullptr);
    popup_build_ctx.target.clear();
    return popup_from_model(model);
}

int g_text_release_served = 0;

class RightClickFilter : public QObject {
public:
    using QObject::QObject;

protected:
    // The popup opens when the right button comes up over a window's text
    // area or list box, or on the menu key (no point). The press is kept
    // from the list so that the selection follows the rules below; the
    // context event of a mouse click is left out, the release serves it.
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        const QEvent::Type type = event->type();
        if (type != QEvent::ContextMenu && type != QEvent::MouseButtonPress &&
            type != QEvent::MouseButtonRelease && type != QEvent::MouseButtonDblClick)
            return false;
        auto* widget = qobject_cast<QWidget*>(watched);
        if (!widget)
            return false;
        ListBox* list = qobject_cast<ListBox*>(widget);
        if (!list && widget->parentWidget())
            if (auto* parent = qobject_cast<ListBox*>(widget->parentWidget());
                parent && parent->viewport() == widget)
                list = parent;
        TextArea* text = list ? nullptr : qobject_cast<TextArea*>(widget);
        if (!list && !text)
            return false;
        WindowRecord* rec = list ? list->record() : text->record();
        if (!rec)
            return false;
        QPoint global;
        if (type == QEvent::ContextMenu) {
            auto* ce = static_cast<QContextMenuEvent*>(event);
            if (ce->reason() != QContextMenuEvent::Keyboard) {
                event->accept();
                return true;
            }
        } else {
            auto* me = static_cast<QMouseEvent*>(event);
            if (me->button() != Qt::RightButton)
                return false;
            if (type != QEvent::MouseButtonRelease) {
                event->accept();
                return list != nullptr;  // the text area sees its press
            }
            global = me->globalPosition().toPoint();
            if (global.isNull())
                global = QPoint(1, 1);  // a point at the screen's corner is still a point
        }
        if (text && type == QEvent::MouseButtonRelease) {
            // The text area sees its release first (it gives the typing back
            // to the input box); the popup opens when that is done, and the
            // release that goes on to the area behind the windows opens
            // nothing there.
            g_text_release_served = 1;
            QPointer<TextArea> area(text);
            QMetaObject::invokeMethod(
                qApp,
                [area, global] {
                    g_text_release_served = 0;
                    if (WindowRecord* r = area ? area->record() : nullptr)
                        popup_window_rclick(r, 0, global, 0);
                },
                Qt::QueuedConnection);
            return false;
        }
        if (list && type != QEvent::ContextMenu)
            select_under(list, global);
        popup_window_rclick(rec, 0, global, list ? 1 : 0);
        event->accept();
        return true;
    }

private:
    // The item under the pointer: an unselected one is selected alone, a
    // selected one becomes the caret and the selection stays.
    static void select_under(ListBox* list, const QPoint& global)
    {
        list->setFocus(Qt::MouseFocusReason);
        QListWidgetItem* item = list->itemAt(list->viewport()->mapFromGlobal(global));
        if (!item)
            return;
        if (!item->isSelected()) {
            list->clearSelection();
            list->setCurrentItem(item, QItemSelectionModel::ClearAndSelect);
        } else if (list->currentItem() != item) {
            list->setCurrentItem(item, QItemSelectionModel::NoUpdate);
        }
    }
};

QPointer<RightClickFilter> g_filter;

}  // namespace

// ---- Reset and showing ----

void menu_popup_reset()
{
    PopupContext& pc = popup_context;
    // Forgotten before it hides, so that its end-of-loop timer does not
    // start again for it.
    if (QMenu* m = pc.menu.data()) {
        pc.menu = nullptr;
        m->hide();
        m->deleteLater();
    }
    pc.menu = nullptr;
    frame_timer_stop(FRAME_TIMER_POPUP);
    strlist_free(&pc.collected);
    pc.kind_name.clear();
    pc.context.clear();
    pc.long_text.clear();
    pc.saved = PopupSaved{};
    pc.window = nullptr;
    pc.conn = nullptr;
    pc.script = nullptr;
    pc.kind = kPopupNone;
}

int menu_track_popup(QWidget* anchor, int kind, const QPoint& point)
{
    QMenu* menu = popup_context.menu.data();
    if (!menu || menu->isEmpty())
        return 0;
    Connection* conn = popup_context.conn;
    if (!conn_is_live(conn))
        conn = conn_current();
    if (!conn_is_live(conn) && kind != kPopupMdi)
        return 0;
    popup_context.kind = kind;
    QPoint at = point;
    if (at.isNull()) {
        QWidget* on = anchor;
        if (WindowRecord* rec = anchor ? win_record_of(anchor) : nullptr)
            if (QWidget* list = rec->listbox.get(); list && list->hasFocus())
                on = list;
        if (on) {
            QSize size = menu->sizeHint();
            at = on->mapToGlobal(QPoint(on->width() / 2 - size.width() / 2,
                                        on->height() / 2 - size.height() / 2));
        } else {
            at = QCursor::pos();
        }
    }
    if (QWidget* frame = win_frame_handle(); frame && !frame->isActiveWindow())
        frame->activateWindow();
    QPointer<QMenu> shown = menu;
    QObject::connect(menu, &QMenu::aboutToHide, menu, [shown] {
        // The end of the menu loop: without a command the popup goes a
        // second later.
        if (shown && shown == popup_context.menu)
            frame_start_timer(FRAME_TIMER_POPUP);
    });
    menu->popup(at);
    popup_context.kind = kind;
    return 1;
}

// ---- Builders ----

QMenu* menu_popup_begin_fixed(QWidget* window, const std::string& kind_name, const std::string& context)
{
    begin_popup(window, kind_name, context, nullptr);
    QMenu* menu = new_popup();
    popup_context.menu = menu;
    return menu;
}

QAction* menu_popup_add_fixed(QMenu* menu, int text_id, int id)
{
    return add_fixed(menu, text_id, id);
}

QAction* menu_popup_add_item(QMenu* menu, const std::string& caption, int id)
{
    // A caption taken from data: an ampersand is shown, not a mnemonic.
    QAction* a = menu->addAction(qtext(caption).replace(QLatin1Char('&'), QLatin1String("&&")));
    a->setData(id);
    QObject::connect(a, &QAction::triggered, a, [id] { post_command(id); });
    return a;
}

QMenu* menu_build_status_popup(QWidget* window, const std::string& context)
{
    return build_script_popup(window, kPopupFileStatus, "status", context, nullptr, std::string());
}

QMenu* menu_build_channel_popup(QWidget* window, int form, const std::string& context,
                                const PopupSaved* saved)
{
    if (form == 1) {
        begin_popup(window, "channel", context, saved);
        QMenu* menu = new_popup();
        add_fixed(menu, 3801, 7000);
        add_fixed(menu, 3802, 7001);
        add_fixed(menu, 3822, 7002);
        popup_context.menu = menu;
        return menu;
    }
    return build_script_popup(window, kPopupFileChannel, "channel", context, saved, std::string());
}

QMenu* menu_build_query_popup(QWidget* window, const std::string& context, const PopupSaved* saved)
{
    std::string target;
    if (saved)
        target = !saved->hotlink.empty() ? saved->hotlink : saved->second;
    return build_script_popup(window, kPopupFileQuery, "query", context, saved, target);
}

QMenu* menu_build_nicklist_popup(QWidget* window, const std::string& context,
                                 const PopupSaved* saved)
{
    std::string target;
    if (saved)
        target = !saved->hotlink.empty() ? saved->hotlink : saved->second;
    return build_script_popup(window, kPopupFileNicklist, "nicklist", context, saved, target);
}

namespace {

// Where a custom window's popup comes from: its popup file, else its name
// (the "menu" sections that name it).
std::string custom_popup_source(const WindowRecord* rec)
{
    return !rec->popup_file.empty() ? rec->popup_file : rec->name;
}

// The script that made the window, forgotten once it is unloaded.
ScriptFile* custom_own_script(WindowRecord* rec)
{
    ScriptFile* own = const_cast<ScriptFile*>(static_cast<const ScriptFile*>(rec->script_file));
    if (own && !remote_file_is_loaded(own)) {
        rec->script_file = nullptr;
        own = nullptr;
    }
    return own;
}

}  // namespace

QMenu* menu_build_custom_popup(WindowRecord* rec, const std::string& context)
{
    if (!rec || !rec->hwnd)
        return nullptr;
    const std::string source = custom_popup_source(rec);
    if (!source.empty() && source[0] == '@') {
        begin_popup(rec->hwnd, source, context, nullptr);
        ScriptFile* own = custom_own_script(rec);
        PopupMenu model =
            popup_build_menu(nullptr, source, popup_context.window, popup_context.conn, own);
        return popup_from_model(model);
    }
    begin_popup(rec->hwnd, "custom", context, nullptr);
    PopupFile* file = popup_file_load(source, kPopupFileCustom);
    PopupMenu model = popup_build_menu(file ? file->lines : nullptr, "custom",
                                       popup_context.window, popup_context.conn, nullptr);
    return popup_from_model(model);
}

int custom_menu_event(WindowRecord* rec, int n, int item, const std::string& context)
{
    if (!win_is_record(rec) || !rec->hwnd)
        return 1;
    PopupContext& pc = popup_context;
    const std::string saved_kind = pc.kind_name, saved_context = pc.context, saved_long = pc.long_text;
    const QPointer<QWidget> saved_window = pc.window;
    Connection* const saved_conn = pc.conn;
    ScriptFile* const saved_script = pc.script;
    const QPointer<QWidget> hwnd(rec->hwnd.get());
    const std::string param = item >= 0 ? std::to_string(item + 1) : std::string();
    for (int c = 1;; ++c) {
        // An event may close the window or unload its script.
        rec = hwnd ? win_record_of(hwnd.data()) : nullptr;
        if (!win_is_record(rec))
            break;
        const std::string source = custom_popup_source(rec);
        pc.kind_name = cut(source, kShortBuffer);
        pc.context = cut(context, kShortBuffer);
        pc.long_text.clear();
        pc.window = hwnd.data();
        pc.conn = rec->conn;
        pc.script = nullptr;
        ScriptFile* own = custom_own_script(rec);
        PopupFile* file = nullptr;
        if (source.empty() || source[0] != '@') {
            file = popup_file_load(source, kPopupFileCustom);
            if (!file || !file->lines) {
                popup_file_unload_kind(kPopupFileCustom);
                break;
            }
        }
        StringNode* line = nullptr;
        std::string commands;
        ScriptFile* script = nullptr;
        const int found =
            popup_find_event(file ? file->lines : nullptr, source, n, c, own, &line, &commands, &script);
        if (found && !commands.empty()) {
            // A "{" block runs from a copy of its lines, so that the run
            // ends with the block.
            StringNode* block = commands[0] == '{' ? popup_block_copy(line, commands) : nullptr;
            script_exec_command(hwnd.data(), block, commands.c_str(), item >= 0 ? param.c_str() : nullptr, 1,
                                script, rec->conn);
            strlist_free(&block);
        }
        if (file)
            popup_file_unload_kind(kPopupFileCustom);
        if (!found)
            break;
    }
    pc.kind_name = saved_kind;
    pc.context = saved_context;
    pc.long_text = saved_long;
    pc.window = saved_window;
    pc.conn = saved_conn;
    pc.script = saved_script;
    return 1;
}

int menu_build_bar_popup(const QPoint& global, int form)
{
    if (form != 0)
        return 0;  // the bars' popups belong to the bars
    if (g_text_release_served)
        return 0;  // a window's text area took this right-click
    menu_popup_reset();
    QMenu* menu = new_popup();
    QMenu* back = menu->addMenu(qtext(numbered(6119)));
    add_fixed(back, 6109, 7000);
    add_fixed(back, 6110, 7001);
    back->addSeparator();
    int mode = bg_mdi_file().empty() ? 2 : bg_mdi_mode();
    for (int m = 0; m < 5; ++m) {
        QAction* a = add_fixed(back, 6113 + m, 7002 + m);
        a->setCheckable(true);
        a->setChecked(m == mode);
    }
    menu->addSeparator();
    add_fixed(menu, 3836, 7020);
    popup_context.menu = menu;
    return menu_track_popup(win_mdi_handle(), kPopupMdi, global);
}

// ---- Right-click in a window ----

std::string popup_list_selection(WindowRecord* rec)
{
    std::string out;
    QListWidget* list = rec ? rec->listbox.get() : nullptr;
    if (!list)
        return out;
    for (int row = 0; row < list->count(); ++row) {
        QListWidgetItem* item = list->item(row);
        if (!item->isSelected())
            continue;
        QByteArray bytes = item->text().toUtf8();
        std::string text(bytes.constData(), static_cast<std::size_t>(bytes.size()));
        std::size_t i = 0;
        while (i < text.size() && isupport_is_nick_prefix(text.c_str() + i, rec->conn))
            ++i;
        text.erase(0, i);
        if (text.empty())
            continue;
        const std::size_t added = out.empty() ? text.size() : text.size() + 1;
        if (out.size() + added > kLongText)
            break;
        if (!out.empty())
            out += ' ';
        out += text;
    }
    return out;
}

int hotlink_popup(WindowRecord* rec, const QPoint& global, int shift)
{
    if (!win_is_record(rec) || !rec->text_area.get())
        return 0;
    if (rec->type != kWinStatus && rec->type != kWinChannel && rec->type != kWinQuery &&
        rec->type != kWinFinger && rec->type != kWinCustom)
        return 0;
    TextArea* area = rec->text_area.get();
    const QPoint p = area->mapFromGlobal(global);
    if (!area->rect().contains(p))
        return 0;
    if (!hotlink_at_point(rec->hwnd.get(), p, kHotlinkPopup, shift))
        return 0;
    QWidget* window = hotlink_window();
    if (!window)
        return 0;
    PopupSaved saved;
    saved.hotlink = hotlink_word().substr(0, kLongText);
    int shown = 0;
    switch (hotlink_popup_kind()) {
    case kHotlinkPopupScript:
        return 1;  // the script's own
    case kHotlinkPopupChannel:
        if (menu_build_channel_popup(window, 1, "channel hotlink", &saved))
            shown = menu_track_popup(window, kPopupChannelHotlink, global);
        break;
    case kHotlinkPopupNick:
        if (menu_build_nicklist_popup(window, "nicklist hotlink", &saved))
            shown = menu_track_popup(window, kPopupNicklist, global);
        break;
    case kHotlinkPopupNotify:
        if (menu_build_query_popup(window, "query hotlink", &saved))
            shown = menu_track_popup(window, kPopupNotify, global);
        break;
    case kHotlinkPopupAddress:
        if (address_popup_fn())
            shown = address_popup_fn()(window, saved.hotlink, global);
        break;
    default:
        break;
    }
    return shown;
}
namespace {
WindowPopupFn g_type_popups[kWinCustom + 1] = {};
}  // namespace

AddressPopupFn& address_popup_fn()
{
    static AddressPopupFn fn = nullptr;
    return fn;
}

void popup_address_register(AddressPopupFn fn)
{
    address_popup_fn() = fn;
}

void popup_window_register(int type, WindowPopupFn fn)
{
    if (type >= 0 && type <= kWinCustom)
        g_type_popups[type] = fn;
}

int popup_window_rclick(WindowRecord* rec, int form, const QPoint& point, int in_list)
{
    if (!rec || !rec->hwnd)
        return 0;
    // A hotlink under the point offers its own popup first.
    if (form == 0 && !in_list &&
        hotlink_popup(rec, point, (QApplication::keyboardModifiers() & Qt::ShiftModifier) ? 1 : 0))
        return 1;
    QWidget* window = rec->hwnd;
    const std::string treebar = form == 2 ? " treebar" : "";
    int shown = 0;
    switch (rec->type) {
    case kWinStatus:
        if (menu_build_status_popup(window, "status" + treebar))
            shown = menu_track_popup(window, kPopupStatus, point);
        break;
    case kWinChannel:
        if (in_list && form != 2) {
            if (menu_build_nicklist_popup(window, "nicklist", nullptr))
                shown = menu_track_popup(window, kPopupNicklist, point);
            break;
        }
        if (menu_build_channel_popup(window, 0, "channel" + treebar, nullptr))
            shown = menu_track_popup(window, kPopupChannel, point);
        if (!shown && menu_build_status_popup(window, "channel" + treebar))
            shown = menu_track_popup(window, kPopupStatus, point);
        break;
    case kWinQuery:
        if (menu_build_query_popup(window, "query" + treebar, nullptr))
            shown = menu_track_popup(window, kPopupQuery, point);
        break;
    case kWinLinks:
        if (menu_build_links_popup(window))
            shown = menu_track_popup(window, kPopupLinks, point);
        break;
    case kWinFinger:
        if (!menu_build_finger_popup(window))
            return 0;  // nothing to offer: the builder sounded the error
        shown = menu_track_popup(window, kPopupFinger, point);
        break;
    case kWinCustom:
        if (menu_build_custom_popup(rec, "custom" + treebar))
            shown = menu_track_popup(window, kPopupCustom, point);
        if (!shown) {
            // Nothing to show: the window's own right-click handler.
            menu_popup_reset();
            custom_menu_event(rec, 9, list_caret_row(rec), "custom" + treebar);
            return 1;
        }
        break;
    default:
        if (rec->type >= 0 && rec->type <= kWinCustom && g_type_popups[rec->type])
            return g_type_popups[rec->type](rec, point);
        break;
    }
    if (!shown) {
        menu_popup_reset();
        beep_error(0);
    }
    return shown;
}

std::string popup_caret_nick(WindowRecord* rec)
{
    QListWidget* list = rec ? rec->listbox.get() : nullptr;
    QListWidgetItem* item = list ? list->currentItem() : nullptr;
    if (!item)
        return std::string();
    QByteArray bytes = item->text().toUtf8();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

std::string popup_window_selection_text(QWidget* window)
{
    WindowRecord* rec = win_record_of(window);
    if (!rec)
        return std::string();
    if (rec->type == kWinQuery)
        return rec->name;
    if (rec->listbox.get())
        return popup_list_selection(rec);
    return std::string();
}

namespace {
int g_custom_click_listener = 0;
}  // namespace

void popup_menus_install()
{
    clicks_custom_event.add_once(g_custom_click_listener, kCustomClickPopups,
                                 [](WindowRecord* rec, int n, int item) { custom_menu_event(rec, n, item, "custom"); });
    frame_set_timer_handler(FRAME_TIMER_POPUP, [](int) { menu_popup_reset(); });
    if (!g_filter && qApp) {
        g_filter = new RightClickFilter(qApp);
        qApp->installEventFilter(g_filter);
    }
}

void popup_menus_uninstall()
{
    clicks_custom_event.drop(g_custom_click_listener);
}

