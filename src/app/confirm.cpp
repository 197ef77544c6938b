// The exit and close confirmations.
#include "app/confirm.h"

#include "model/connection.h"
#include "app/input_dialog.h"
#include "app/startup.h"
#include "model/window_record.h"
#include "display/window_queries.h"
#include "core/numbered_texts.h"
#include "core/options.h"
#include "platform/platform_utils.h"

#include <QMainWindow>
#include <QPointer>

Signal<bool(ExitQuestion question)> frame_exit_question;

namespace {

QPointer<QWidget> g_confirmed_status;
std::uint64_t g_confirmed_at = 0;

bool logged_on(const Connection* c)
{
    return conn_is_live(const_cast<Connection*>(c)) && c->connected && c->registered;
}

bool has_window_of(int type, const Connection* only)
{
    for (WindowRecord* rec = win_list; rec; rec = rec->next) {
        if (rec->type != type || !rec->hwnd.get())
            continue;
        if (type == kWinQuery && rec->subtype != kQueryPrivate)
            continue;
        if (only ? rec->conn == only : logged_on(rec->conn))
            return true;
    }
    return false;
}

QWidget* frame_if_up()
{
    QWidget* f = frame_window.data();
    return f && f->isVisible() && !f->isMinimized() ? f : nullptr;
}

}  // namespace

int confirm_ask(QWidget* owner, const std::string& caption, const std::string& text)
{
    // The program's one question dialog: Yes/No with the question icon.
    return input_dialog_run(owner, caption, text, nullptr, 4, 2, 0, 0, 0, 0) == 1 ? 1 : 0;
}

int log_confirm_delete(const std::string& caption, const std::string& text)
{
    return confirm_ask(frame_if_up(), caption, text);
}

int file_confirm_trash(const std::string& path)
{
    std::string text = text_load_string(1904);
    text += "\n\n'" + path + "'";
    return confirm_ask(frame_if_up(), text_load_string(1920), text);
}

int frame_exit_reasons()
{
    int reasons = 0;
    if (opt(OPT_CONFIRM_EXIT_ALWAYS))
        reasons |= 1;
    bool any_logged_on = false;
    for (Connection* c = conn_list; c; c = c->next)
        any_logged_on = any_logged_on || logged_on(c);
    if (opt(OPT_CONFIRM_EXIT_CONNECTED) && any_logged_on)
        reasons |= 2;
    if (opt(OPT_CONFIRM_EXIT_CHANNEL) && has_window_of(kWinChannel, nullptr))
        reasons |= 4;
    if (opt(OPT_CONFIRM_EXIT_QUERY) && has_window_of(kWinQuery, nullptr))
        reasons |= 8;
    if (opt(OPT_CONFIRM_EXIT_CHAT) && frame_exit_question.any(kExitDccChatsOpen))
        reasons |= 8;
    if (opt(OPT_CONFIRM_EXIT_TRANSFERS) && frame_exit_question.any(kExitDccSendsRunning))
        reasons |= 16;
    if (opt(OPT_CONFIRM_EXIT_SONG) && frame_exit_question.any(kExitSongPlaying))
        reasons |= 32;
    return reasons;
}

std::string frame_exit_message(int reasons)
{
    std::string text = text_load_string(3902);
    if (reasons != 1)
        text += "\r\n";
    for (int bit = 1, id = 3903; bit <= 32; bit <<= 1) {
        if (bit == 1)
            continue;
        if (reasons & bit)
            text += text_load_string(id);
        ++id;
    }
    return text;
}

int frame_confirm_exit(QWidget* window)
{
    const int reasons = frame_exit_reasons();
    if (!reasons)
        return 1;
    QWidget* owner = frame_if_up() ? window : nullptr;
    return confirm_ask(owner, text_load_string(3901), frame_exit_message(reasons));
}

int win_close_status_reasons(QWidget* status)
{
    WindowRecord* rec = win_record_of(status);
    if (!rec)
        return 0;
    Connection* conn = conn_is_live(rec->conn) ? rec->conn : nullptr;
    int reasons = 0;
    if (opt(OPT_CONFIRM_CLOSE_STATUS_ALWAYS))
        reasons |= 1;
    if (conn && logged_on(conn)) {
        if (opt(OPT_CONFIRM_CLOSE_STATUS_CONNECTED))
            reasons |= 2;
        if (opt(OPT_CONFIRM_CLOSE_STATUS_CHANNEL) && has_window_of(kWinChannel, conn))
            reasons |= 4;
        if (opt(OPT_CONFIRM_CLOSE_STATUS_QUERY) && has_window_of(kWinQuery, conn))
            reasons |= 8;
    }
    return reasons;
}

int win_confirm_close_status(QWidget* status)
{
    // Confirmed less than a second ago: closed without asking again.
    const std::uint64_t now = time_ticks_ms();
    if (g_confirmed_status.data() == status && status && now - g_confirmed_at < 1000)
        return 1;
    const int reasons = win_close_status_reasons(status);
    if (!reasons)
        return 1;
    std::string text = text_load_string(3909);
    text += "\r\n";
    if (reasons & 2)
        text += text_load_string(3910);
    if (reasons & 4)
        text += text_load_string(3911);
    if (reasons & 8)
        text += text_load_string(3912);
    QWidget* owner = status;
    if (status && (status->window()->isMinimized() || !status->isVisible()))
        owner = win_is_mdi_child(status) ? frame_window.data() : nullptr;
    if (!confirm_ask(owner, text_load_string(3908), text)) {
        g_confirmed_status = nullptr;
        g_confirmed_at = 0;
        return 0;
    }
    g_confirmed_status = status;
    g_confirmed_at = now;
    return 1;
}

int paste_count_lines(const std::string& text)
{
    int count = 0;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t lf = text.find('\n', start);
        if (lf == std::string::npos) {
            ++count;  // a last line without LF
            break;
        }
        std::size_t next = lf + 1;
        if (next < text.size() && text[next] == '\r')
            ++next;  // a CR after the LF belongs to it
        std::string_view line(text.data() + start, lf - start);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        // An empty line counts only when another line follows it.
        if (!line.empty() || next < text.size())
            ++count;
        start = next;
    }
    return count;
}

std::string paste_preview(const std::string& text)
{
    std::size_t from = text.find_first_not_of("\r\n ");
    if (from == std::string::npos)
        return std::string();
    std::string p = text.substr(from, 1024);
    // Cut after the eighth line.
    std::size_t pos = 0;
    for (int line = 0; line < 8 && pos != std::string::npos; ++line) {
        pos = p.find('\n', pos);
        if (pos != std::string::npos)
            ++pos;
    }
    bool cut = false;
    if (pos != std::string::npos && pos < p.size()) {
        p.resize(pos);
        cut = true;
    }
    while (!p.empty() && (p.back() == '\r' || p.back() == '\n' || p.back() == ' '))
        p.pop_back();
    if (p.size() > 1003) {
        p.resize(1003);
        cut = true;
    }
    if (cut)
        p += " ...";
    return p;
}

int paste_confirm_lines(WindowRecord* rec, const std::string& text)
{
    if (!win_is_record(rec) || !rec->hwnd.get())
        return 1;
    // A multi-line editbox takes pastes without asking.
    if (rec->editbox_kind == 2 || rec->editbox_kind == 3 || !opt(OPT_PASTE_CONFIRM))
        return 1;
    const int lines = paste_count_lines(text);
    if (lines <= 0 || lines < opt(OPT_PASTE_CONFIRM_LINES))
        return 1;
    std::string question = text_fill_id(612, {std::to_string(lines)});
    question += "\r\n\r\n'" + paste_preview(text) + "'\r\n";
    return confirm_ask(rec->hwnd.get(), text_load_string(611), question);
}
