#include "app/popup_menubar.h"

#include <QAction>
#include <QApplication>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>

#include <string>

#include "model/connection.h"
#include "app/frame_menu.h"
#include "app/popup_menus.h"
#include "app/startup.h"
#include "model/window_record.h"
#include "display/window_queries.h"
#include "core/main_settings.h"
#include "core/numbered_texts.h"
#include "script/popups.h"

namespace {

constexpr std::size_t kTitleLimit = 256;

QPointer<QMenu> g_menu;

QString qtext(const std::string& text)
{
    return QString::fromUtf8(text.data(), static_cast<int>(text.size()));
}

// The popup record of the menu: kind 11, for the active window.
void set_context()
{
    menu_popup_reset();
    QWidget* w = win_active_if_shown();
    popup_context.conn = conn_for_window_or_current(&w);
    popup_context.window = w;
    popup_context.kind_name = "menubar";
    popup_context.kind = kPopupMenubar;
}

// A picked item: the frame serves it once the menu has closed.
void pick(int id)
{
    if (popup_context.kind != kPopupMenubar)
        set_context();
    QMetaObject::invokeMethod(
        qApp, [id] { frame_on_command(nullptr, static_cast<uintptr_t>(id), 0); },
        Qt::QueuedConnection);
}

void fill(QMenu* target, const PopupMenu& model)
{
    for (const PopupItem& it : model.items) {
        if (it.type == PopupItem::kSeparator) {
            target->addSeparator();
        } else if (it.type == PopupItem::kSubmenu) {
            QMenu* sub = target->addMenu(qtext(it.caption));
            if (it.sub)
                fill(sub, *it.sub);
            sub->menuAction()->setEnabled(!(it.flags & (kMenuGrayed | kMenuDisabled)));
        } else {
            QAction* a = target->addAction(qtext(it.caption));
            a->setData(it.id);
            if (it.flags & kMenuChecked) {
                a->setCheckable(true);
                a->setChecked(true);
            }
            a->setEnabled(!(it.flags & (kMenuGrayed | kMenuDisabled)));
            const int id = it.id;
            QObject::connect(a, &QAction::triggered, a, [id] { pick(id); });
        }
    }
}

// Where the script menu goes: before the menu that holds "close window"
// (176), on the bar or, while the bar is hidden, in the system menu.
QWidget* container_of(QAction* entry)
{
    QMainWindow* f = frame_window.data();
    if (f && f->menuBar()->actions().contains(entry))
        return f->menuBar();
    QMenu* sys = frame_system_menu();
    if (sys && sys->actions().contains(entry))
        return sys;
    return nullptr;
}

void take_off()
{
    if (!g_menu)
        return;
    QAction* entry = g_menu->menuAction();
    if (QMainWindow* f = frame_window.data())
        f->menuBar()->removeAction(entry);
    if (QMenu* sys = frame_system_menu())
        sys->removeAction(entry);
    g_menu->deleteLater();
    g_menu = nullptr;
}

}  // namespace

QMenu* popup_menubar_menu()
{
    return g_menu.data();
}

int popup_menubar_rebuild(int rebuild, int redraw)
{
    std::string title;
    QMenu* window_menu = frame_menu_find_item(176, nullptr);
    QAction* before = window_menu ? window_menu->menuAction() : nullptr;
    QWidget* holder = before ? container_of(before) : nullptr;
    if (!holder || !popup_menubar_sources(&title)) {
        take_off();
        return 0;
    }
    if (!g_menu) {
        g_menu = new QMenu(frame_window.data());
        g_menu->setObjectName(QStringLiteral("scriptMenu"));
        QObject::connect(g_menu.data(), &QMenu::aboutToShow, g_menu.data(),
                         [] { popup_menubar_rebuild(1, 0); });
    }
    if (rebuild) {
        g_menu->clear();
        set_context();
        PopupMenu model = popup_build_menubar(popup_context.window.data(), popup_context.conn, &title);
        fill(g_menu, model);
    } else if (g_menu->isEmpty()) {
        QAction* none = g_menu->addAction(QString::fromUtf8(text_load_string(3841)));
        none->setData(kPopupPlaceholderId);
        none->setEnabled(false);
    }
    if (title.empty())
        title = kProgramVersionText;
    if (title.size() > kTitleLimit) {
        std::size_t n = kTitleLimit;
        while (n > 0 && (static_cast<unsigned char>(title[n]) & 0xC0) == 0x80)
            --n;  // whole characters only
        title = title.substr(0, n) + "...";
    }
    const QString shown = qtext(title);
    QAction* entry = g_menu->menuAction();
    const QList<QAction*> actions = holder->actions();
    const int at = static_cast<int>(actions.indexOf(before));
    if (at > 0 && actions[at - 1] == entry) {
        if (g_menu->title() != shown)
            g_menu->setTitle(shown);
    } else {
        if (QMainWindow* f = frame_window.data())
            f->menuBar()->removeAction(entry);
        if (QMenu* sys = frame_system_menu())
            sys->removeAction(entry);
        g_menu->setTitle(shown);
        holder->insertAction(before, entry);
    }
    if (redraw)
        holder->update();
    return 1;
}
