#include "irc/lists/channel_central_request.h"

#include "model/connection.h"
#include "model/connection_windows.h"
#include "core/text_buffer.h"
#include "platform/app_messages.h"


#include <cstdint>

QObject* (*chan_central_dialog_hook)() = nullptr;

int conn_pending_match(QWidget* window, const std::string* channel, Connection* conn)
{
    if (!conn_is_live(conn))
        return 0;
    bool bound = window && window == conn_pending_window(conn);
    bool neither = !window && !channel;
    if (bound || neither) {
        conn->pending_channel.clear();
        QObject* dialog = chan_central_dialog_hook ? chan_central_dialog_hook() : nullptr;
        if (dialog)
            post_app_message_to(dialog, WM_APP + 0x44, 0, reinterpret_cast<intptr_t>(conn));
        else
            post_app_message(WM_APP + 0x3D, 0, reinterpret_cast<intptr_t>(conn));
        return neither ? 0 : 1;
    }
    if (channel && !conn->pending_channel.empty() && text_equal_nocase(conn->pending_channel, *channel)) {
        conn->pending_channel.clear();
        return 1;
    }
    return 0;
}
