#include "options/locks.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QLineEdit>
#include <QMainWindow>
#include <QPointer>
#include <QTimer>
#include <QWindowStateChangeEvent>

#include <cstdlib>
#include <iterator>

#include "app/startup.h"
#include "core/hash_table.h"
#include "core/numbered_texts.h"
#include "core/private_store.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "irc/link/connect.h"
#include "irc/numerics/isupport.h"
#include "model/colors.h"
#include "model/connection.h"
#include "model/line_buffer.h"
#include "options/dialog_opener.h"
#include "platform/platform_utils.h"
#include "script/exec/script_types.h"

LockOptions lock_options;
RunningLock lock_running;

namespace {

constexpr int kPasswordTemplate = 600;
constexpr std::size_t kPasswordMax = 256;

// The password dialog: the password (131), its confirmation (133) with its
// label (132).
const DlgControl k600[] = {
    {130, kDlgLabel, "&Şifre:", 6, 8, 50, 8},
    {131, kDlgEdit, "", 60, 6, 110, 12, kDlgPassword, static_cast<int>(kPasswordMax)},
    {132, kDlgLabel, "&Onay:", 6, 24, 50, 8},
    {133, kDlgEdit, "", 60, 22, 110, 12, kDlgPassword, static_cast<int>(kPasswordMax)},
    {1, kDlgDefButton, "Tamam", 66, 42, 50, 14},
    {2, kDlgButton, "İptal", 120, 42, 50, 14},
};
const DlgTemplate kTemplate600 = {kPasswordTemplate, "Kilit Şifresi", 176, 62, k600, std::size(k600)};

QPointer<QDialog> g_dialog;    // the password dialog while it is up
bool g_unlock_running = false;

std::string field(QDialog* d, int id)
{
    std::string s = dlg_text(d, id);
    if (s.size() > kPasswordMax)
        s.resize(kPasswordMax);
    return s;
}

void empty_field(QDialog* d, int id)
{
    dlg_set_text(d, id, std::string());
}

void focus_password(QDialog* d)
{
    if (QWidget* w = dlg_item(d, 131))
        w->setFocus();
}

void show_assistant_look(QDialog& d)
{
    d.setWindowTitle(QString::fromUtf8(text_load_string(4651)));
    if (qApp)
        d.setWindowIcon(qApp->windowIcon());
}

// Wires OK and Cancel: OK runs `ok`, which ends the dialog or keeps it open.
template <class Ok>
void wire(QDialog& d, Ok ok)
{
    if (auto* b = qobject_cast<QAbstractButton*>(dlg_item(&d, 1)))
        QObject::connect(b, &QAbstractButton::clicked, &d, ok);
    if (auto* b = qobject_cast<QAbstractButton*>(dlg_item(&d, 2)))
        QObject::connect(b, &QAbstractButton::clicked, &d, [&d] { d.done(0); });
}

// Splits the stored channel text: leading spaces skipped, pieces at
// commas, spaces after each comma skipped, each cut at its first space.
std::vector<std::string> parse_channels(const std::string& text)
{
    std::vector<std::string> out;
    std::size_t i = 0;
    while (i <= text.size()) {
        while (i < text.size() && text[i] == ' ')
            ++i;
        std::size_t comma = text.find(',', i);
        if (comma == std::string::npos)
            comma = text.size();
        std::string piece = text.substr(i, comma - i);
        piece = piece.substr(0, piece.find(' '));
        if (!piece.empty())
            out.push_back(piece);
        i = comma + 1;
    }
    return out;
}

// ---- $locked and $lock( ----

// $lock(word | N | #channel)
int id_lock(IdentCall& call)
{
    struct Word {
        const char* word;
        int bit;
    };
    static const Word kWords[] = {
        {"channels", kLockChannels}, {"send", kLockDccSend}, {"get", kLockDccGet},   {"chat", kLockDccChat},
        {"query", kLockDccChat},     {"fserve", kLockFserve}, {"com", kLockCom},      {"decode", kLockDecode},
        {"utfdecode", kLockDecode},  {"dll", kLockDll},       {"run", kLockRun},
    };
    std::string out;
    const std::string& a = ident_arg(call, 0);
    const std::vector<std::string>& list = lock_options.channels;
    if (a.empty()) {
        // nothing
    } else if (a[0] >= '0' && a[0] <= '9') {
        long n = std::strtol(a.c_str(), nullptr, 10);
        if (n > 9998)
            n = 9998;
        if (n == 0)
            out = std::to_string(list.size());
        else if (n > 0 && static_cast<std::size_t>(n) <= list.size())
            out = list[static_cast<std::size_t>(n - 1)];
    } else if (isupport_is_chantype(a.c_str(), call.conn()) ||
               ((!conn_is_live(call.conn()) || call.conn()->chan_types.empty()) && (a[0] == '#' || a[0] == '&'))) {
        bool found = false;
        for (const std::string& c : list)
            found = found || text_equal_nocase(c, a);
        out = ident_truth(found);
    } else {
        for (const Word& w : kWords)
            if (text_equal_nocase(a, w.word))
                out = ident_truth((lock_options.flags & w.bit) != 0);
    }
    return ident_result(call, out);
}

// A locked main window is not restored until the password is given: the
// restore is undone and the password asked; the right one lifts the lock
// and restores the window.
class RestoreGuard : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::WindowStateChange || !lock_running.digest || busy_)
            return false;
        auto* w = qobject_cast<QWidget*>(watched);
        auto* change = static_cast<QWindowStateChangeEvent*>(event);
        if (!w || !(change->oldState() & Qt::WindowMinimized) || (w->windowState() & Qt::WindowMinimized))
            return false;
        busy_ = true;
        w->setWindowState(w->windowState() | Qt::WindowMinimized);
        busy_ = false;
        QPointer<QWidget> guarded = w;
        QTimer::singleShot(0, this, [this, guarded] {
            if (lock_request(2) && guarded) {
                busy_ = true;
                guarded->setWindowState(guarded->windowState() & ~Qt::WindowMinimized);
                busy_ = false;
            }
        });
        return false;
    }

private:
    bool busy_ = false;
};

QPointer<RestoreGuard> g_restore_guard;

// The guard goes on the main window when the program is first locked.
void ensure_restore_guard()
{
    if (frame_window && !g_restore_guard) {
        g_restore_guard = new RestoreGuard(frame_window.data());
        frame_window->installEventFilter(g_restore_guard);
    }
}

}  // namespace

std::uint32_t lock_password_digest(std::string_view password)
{
    if (password.size() > kPasswordMax)
        password = password.substr(0, kPasswordMax);
    return hash_text_bits(password, 32);
}

void lock_options_read()
{
    lock_options = LockOptions();
    std::string text;
    if (private_value_get("LockOptions", text)) {
        const std::size_t comma = text.find(',');
        if (comma != std::string::npos && comma + 1 < text.size()) {
            int flags = static_cast<int>(std::strtol(text.c_str() + comma + 1, nullptr, 10));
            lock_options.digest = static_cast<std::uint32_t>(std::strtoul(text.substr(0, comma).c_str(), nullptr, 10));
            if (flags & kLockOldCommands)
                flags = (flags & ~kLockOldCommands) | kLockCom | kLockRun | kLockDll | kLockDecode;
            if (flags & kLockOldDll)
                flags = (flags & ~kLockOldDll) | kLockDll;
            lock_options.flags = flags;
        }
    }
    if (private_value_get("Channels", text))
        lock_options.channels = parse_channels(text);
}

int lock_options_load()
{
    lock_options_read();
    if (lock_options.digest && (lock_options.flags & kLockAskAtStart))
        return lock_unlock_dialog(nullptr, lock_options.digest) == 1 ? 1 : 0;
    return 1;
}

std::string lock_channels_text(const std::vector<std::string>& channels)
{
    std::string out;
    for (const std::string& c : channels) {
        const std::size_t grown = out.size() + (out.empty() ? 0 : 1) + c.size();
        if (grown > kLongText)
            break;
        if (!out.empty())
            out += ',';
        out += c;
    }
    return out;
}

void lock_options_save()
{
    const std::string value = std::to_string(static_cast<unsigned long>(lock_options.digest)) + "," +
                              std::to_string(lock_options.flags);
    private_value_set("LockOptions", value.c_str());
    private_value_set("Channels", lock_channels_text(lock_options.channels).c_str());
}

int lock_join_allowed(Connection* conn, std::string_view text, int report)
{
    if (!(lock_options.flags & kLockChannels))
        return 1;
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    text.remove_prefix(i);
    if (text.empty())
        return 0;
    if (text.size() >= 5 && text_equal_nocase(text.substr(0, 5), "JOIN "))
        text.remove_prefix(5);
    if (text.size() > kLongText)
        text = text.substr(0, kLongText);
    bool refused = false;
    std::size_t start = 0;
    while (start <= text.size() && !refused) {
        std::size_t comma = text.find(',', start);
        if (comma == std::string_view::npos)
            comma = text.size();
        std::string_view piece = text.substr(start, comma - start);
        start = comma + 1;
        while (!piece.empty() && piece.front() == ' ')
            piece.remove_prefix(1);
        piece = piece.substr(0, piece.find_first_of(" \n\r"));
        if (piece.empty())
            continue;
        bool listed = false;
        for (const std::string& c : lock_options.channels)
            listed = listed || text_equal_nocase(c, piece);
        refused = !listed;
    }
    if (!refused)
        return 1;
    if ((report & 1) && conn_is_live(conn)) {
        if (QWidget* status = link_status_window(conn))
            print_line(status, std::string_view(text_load_string(2224)), kColorInfoText);
    }
    if (report & 2)
        beep_error(0);
    return 0;
}

QWidget* lock_dialog_window()
{
    return g_dialog.data();
}

int opt_lock_password_dialog(QWidget* owner, std::uint32_t* staging, int assistant)
{
    if (!staging)
        return 0;
    dlg_template_register(kTemplate600);
    const int r = dlg_show_modal(owner, kPasswordTemplate, [staging, assistant](QDialog& d) {
        g_dialog = &d;
        if (assistant)
            show_assistant_look(d);
        const bool has_password = *staging != 0;
        if (has_password) {
            for (int id : {132, 133})
                if (QWidget* w = dlg_item(&d, id))
                    w->hide();
        }
        d.raise();
        d.activateWindow();
        focus_password(&d);
        wire(d, [&d, staging, has_password] {
            if (has_password) {
                if (lock_password_digest(field(&d, 131)) == *staging) {
                    *staging = 0;
                    d.done(2);
                    return;
                }
                empty_field(&d, 131);
            } else {
                const std::string password = field(&d, 131);
                if (!password.empty() && password == field(&d, 133)) {
                    *staging = lock_password_digest(password);
                    d.done(1);
                    return;
                }
                empty_field(&d, 131);
                empty_field(&d, 133);
            }
            focus_password(&d);
            beep_error(0);
        });
    });
    g_dialog = nullptr;
    return r < 0 ? 0 : r;
}

int lock_unlock_dialog(QWidget* owner, std::uint32_t digest)
{
    dlg_template_register(kTemplate600);
    int wrong = 0;
    const int r = dlg_show_modal(owner, kPasswordTemplate, [digest, &wrong](QDialog& d) {
        g_dialog = &d;
        show_assistant_look(d);
        for (int id : {132, 133})
            if (QWidget* w = dlg_item(&d, id))
                w->hide();
        d.raise();
        d.activateWindow();
        focus_password(&d);
        wire(d, [&d, digest, &wrong] {
            if (lock_password_digest(field(&d, 131)) == digest) {
                d.done(1);
                return;
            }
            empty_field(&d, 131);
            beep_error(0);
            if (++wrong >= 3)
                d.done(0);
            else
                focus_password(&d);
        });
    });
    g_dialog = nullptr;
    return r == 1 ? 1 : 0;
}

int lock_unlock_prompt()
{
    if (g_unlock_running)
        return 0;
    g_unlock_running = true;
    QWidget* owner = frame_window.data();
    if (owner && !owner->isVisible())
        owner = nullptr;
    const int r = lock_unlock_dialog(owner, lock_running.digest);
    g_unlock_running = false;
    return r;
}

std::intptr_t lock_request(std::intptr_t flags)
{
    if (flags & 1) {
        ensure_restore_guard();
        if (lock_running.digest)
            return 1;
        if (lock_options.digest) {
            lock_running.digest = lock_options.digest;
            return 1;
        }
        std::uint32_t staging = 0;
        QWidget* owner = frame_window.data();
        if (owner && !owner->isVisible())
            owner = nullptr;
        if (opt_lock_password_dialog(owner, &staging, 1) == 1 && staging) {
            lock_running.digest = staging;
            lock_running.last = staging;
            return 1;
        }
        return 0;
    }
    if (flags & 2) {
        if (!lock_running.digest)
            return 1;
        if (lock_unlock_prompt() == 1) {
            lock_running.digest = 0;
            return 1;
        }
        return 0;
    }
    return 0;
}

int lock_program_locked()
{
    return lock_running.digest != 0 ? 1 : 0;
}

bool lock_decode_locked()
{
    return (lock_options.flags & kLockDecode) != 0;
}

int lock_join_gate(const std::string& channel, Connection* conn)
{
    return lock_join_allowed(conn, channel, 1);
}

void locks_install()
{
    dlg_template_register(kTemplate600);
    ident_register("lock(", id_lock);
    page_lock_install();
}

void locks_uninstall()
{
    if (g_restore_guard) {
        if (frame_window)
            frame_window->removeEventFilter(g_restore_guard);
        delete g_restore_guard.data();
    }
    page_lock_uninstall();
    dlg_template_unregister(kPasswordTemplate);
}
