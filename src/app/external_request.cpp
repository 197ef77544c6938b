#include "app/external_request.h"

#include "model/connection.h"

#include <QWidget>
#include "core/text_limits.h"
#include "platform/app_messages.h"
#include "script/exec/script_types.h"

int external_run_mode(uintptr_t wparam)
{
    const bool b0 = wparam & 1, b1 = wparam & 2, b2 = wparam & 4;
    if (b0)
        return b2 ? 5 : 0;
    if (b1)
        return b2 ? 7 : 3;
    return 0;
}

intptr_t frame_external_request(QWidget* window, int message, uintptr_t wparam, std::string& text)
{
    Connection* conn = conn_for_window_or_current(&window);
    if (!conn_is_live(conn))
        return 0;
    if (!window || conn_of_window(window) != conn)
        window = conn->status_window.data();
    if (text.size() > kMediumText)
        text.resize(kMediumText);
    if (message == WM_USER_RUN_COMMAND) {
        const int mode = external_run_mode(wparam);
        int ran = script_exec_line(window, text.c_str(), nullptr, mode, nullptr, nullptr, conn);
        return ran ? 1 : mode;
    }
    if (message == WM_USER_EVALUATE) {
        std::string* result = ident_eval_text(window, &text, nullptr, nullptr, 0, 0, -1, nullptr, conn);
        return result ? 1 : 0;
    }
    return 0;
}
