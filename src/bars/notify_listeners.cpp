#include "bars/notify_listeners.h"

#include "bars/toolbar_buttons.h"
#include "bars/treebar.h"
#include "irc/lists/notify_list.h"

namespace {
int g_state_listener = 0;
int g_seen_listener = 0;
}  // namespace

void bars_notify_install()
{
    notify_state_shown.add_once(g_state_listener, kNotifyStateToolbar,
                                [](int state) { toolbar_show_notify_state(state); });
    notify_seen_changed.add_once(g_seen_listener, kNotifySeenTreebar, [] { treebar_refresh(nullptr, 0); });
}

void bars_notify_uninstall()
{
    notify_state_shown.drop(g_state_listener);
    notify_seen_changed.drop(g_seen_listener);
}
