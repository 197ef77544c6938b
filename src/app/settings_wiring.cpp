#include "app/settings_wiring.h"

#include <QApplication>
#include <QMainWindow>
#include <QPointer>

#include "app/command_line.h"
#include "app/connection.h"
#include "app/startup.h"
#include "core/main_settings.h"
#include "core/options.h"

namespace {

// The frame's state as the "windows"/"main" line keeps it.
int frame_placement(MainWindowPlacement& out)
{
    QMainWindow* w = frame_window.data();
    if (!w)
        return 0;
    // The frame is placed again by its outer corner (move) and its inner
    // size (resize), so both rectangles are kept the same way: the corner
    // with the window manager's decoration, the size without it.
    const QRect inner = w->geometry();
    const QPoint decoration = inner.topLeft() - w->pos();
    const QRect r(w->pos(), inner.size());
    const QRect n = w->normalGeometry().isValid()
                        ? QRect(w->normalGeometry().topLeft() - decoration, w->normalGeometry().size())
                        : r;
    out.visible = w->isVisible() ? 1 : 0;
    out.hidden_in_tray = (!w->isVisible() && w->isMinimized()) ? 1 : 0;
    out.minimised = w->isMinimized() ? 1 : 0;
    out.maximised = w->isMaximized() ? 1 : 0;
    out.restores_maximised = (w->windowState() & Qt::WindowMaximized) ? 1 : 0;
    out.left = r.left();
    out.top = r.top();
    out.width = r.width();
    out.height = r.height();
    out.normal_left = n.left();
    out.normal_top = n.top();
    out.normal_width = n.width();
    out.normal_height = n.height();
    return 1;
}

int shift_held()
{
    return (QApplication::queryKeyboardModifiers() & Qt::ShiftModifier) ? 1 : 0;
}

} // namespace

// Fills a hook only when nothing else (a test, an embedding) has set it.
template <typename F, typename G>
void fill(F& hook, G fn)
{
    if (!hook)
        hook = fn;
}

void app_wire_main_settings()
{
    fill(startup_hooks.settings_load_all, settings_load_all);
    fill(startup_hooks.ini_save_main_window_pos, ini_save_main_window_pos);
    fill(startup_hooks.ini_save_options, ini_save_options);
    fill(startup_hooks.ini_save_text_settings, ini_save_text_settings);
    fill(startup_hooks.ini_save_identity, ini_save_identity);
    fill(startup_hooks.ini_save_dirs, ini_save_dirs);
    fill(startup_hooks.ini_save_user_lists, ini_save_user_lists);
    fill(startup_hooks.free_settings_lists, main_settings_free_lists);

    conn_option = option_value;
    main_settings_bind_connection(&conn_list, conn_is_live);
    fill(main_settings_hooks.start_nick, &start_nick);
    fill(main_settings_hooks.start_anick, &start_anick);
    fill(main_settings_hooks.conn_identity_copy, conn_identity_copy);
    fill(main_settings_hooks.main_window_placement, frame_placement);
    fill(main_settings_hooks.shift_key_down, shift_held);
}
