#include "display/address_open.h"

#include "display/child_controls.h"
#include "display/window_queries.h"
#include "model/colors.h"
#include "model/connection.h"
#include "model/line_buffer.h"
#include "model/window_record.h"
#include "platform/platform_utils.h"

void frame_say(const std::string& text)
{
    WindowRecord* rec = win_record_of(win_active_if_shown());
    QWidget* target = rec && rec->text_area.get() ? rec->hwnd.get() : nullptr;
    if (!target) {
        Connection* conn = rec && conn_is_live(rec->conn) ? rec->conn : conn_current();
        target = conn_is_live(conn) ? conn->status_window.data() : nullptr;
    }
    if (target)
        print_line(target, text, kColorInfoText);
}

void frame_cannot_open(const std::string& target, int folder)
{
    frame_say("* Cannot open " + target + (folder ? ": no file manager is set" : ": no web browser is set"));
}

void url_open_address(const std::string& url)
{
    if (url.empty())
        return;
    if (!desktop_open_hook || !desktop_open_hook(url))
        frame_cannot_open(url, 0);
}

