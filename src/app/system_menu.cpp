// The system menu of the child windows.
#include "app/system_menu.h"
#include "display/window_queries.h"
#include "app/child_window.h"
#include "app/events_dialog.h"
#include "app/window_options.h"

#include <QAction>
#include <QMenu>


#include "core/numbered_texts.h"
#include "display/backgrounds.h"

namespace {

QString numbered(int id)
{
    return QString::fromUtf8(text_load_string(id));
}

}  // namespace

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

    bool frame_hidden = frame_hidden_asked.any();
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
    // One connection per menu, not one per entry: a window that is never
    // asked for its menu stays cheap.
    QPointer<QWidget> owner = hwnd;
    auto route = [owner](QAction* a) {
        int id = win_sysmenu_action_id(a);
        // The channel's events dialog.
        if (id == 285 && owner) {
            WindowRecord* rec = win_record_of(owner.data());
            if (events_display_dialog(owner.data(), rec) && win_is_record(rec))
                win_events_save(rec);
            return;
        }
        if (id && owner)
            menu_sys_command(owner.data(), id);
    };
    QObject::connect(menu.get(), &QMenu::triggered, menu.get(), route);
    for (QMenu* sub : menu->findChildren<QMenu*>())
        QObject::connect(sub, &QMenu::triggered, sub, route);

    // An MDI child shows them at the top of its frame's system menu.
    if (auto* frame = qobject_cast<QMdiSubWindow*>(win_container(hwnd))) {
        if (QMenu* sys = frame->systemMenu()) {
            QAction* first = sys->actions().isEmpty() ? nullptr : sys->actions().first();
            for (QAction* a : menu->actions())
                sys->insertAction(first, a);
        }
    }
    rec->system_menu = menu;
    bg_tick_system_menu(rec);
    win_enable_sysmenu_items(hwnd);
}

QMenu* win_system_menu(WindowRecord* rec)
{
    if (!win_is_record(rec) || !rec->hwnd.get())
        return nullptr;
    if (!rec->system_menu)
        win_build_system_menu(rec);
    return rec->system_menu.get();
}

void win_sysmenu_prepare(QMdiSubWindow* frame)
{
    WindowRecord* rec = frame ? win_record_of(frame->widget()) : nullptr;
    if (!rec)
        return;
    if (!rec->system_menu) {
        win_build_system_menu(rec);
        return;
    }
    QMenu* sys = frame->systemMenu();
    const QList<QAction*> ours = rec->system_menu->actions();
    if (!sys || ours.isEmpty() || sys->actions().contains(ours.first()))
        return;
    QAction* first = sys->actions().isEmpty() ? nullptr : sys->actions().first();
    for (QAction* a : ours)
        sys->insertAction(first, a);
    win_enable_sysmenu_items(rec->hwnd.get());
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
