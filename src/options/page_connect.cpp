// The Connection page of the options dialog (template 190, controls 120 on):
// the identity of the connection being edited (full name, e-mail, nick,
// alternative nick), invisible mode, a new server window, Connect and the
// connection's server.
#include "options/page_connect.h"

#include <iterator>

#include "core/options.h"
#include "core/text_buffer.h"
#include "irc/link/send_queue.h"
#include "irc/lists/servers.h"
#include "model/connection.h"
#include "options/options_page.h"

namespace {

// Each label stands before the field its mnemonic goes to.
const DlgControl k190[] = {
    {130, kDlgLabel, "&Ad Soyad:", 4, 6, 56, 8},
    {120, kDlgEdit, "", 62, 4, 140, 12},
    {131, kDlgLabel, "&E-posta:", 4, 22, 56, 8},
    {121, kDlgEdit, "", 62, 20, 140, 12},
    {132, kDlgLabel, "&Rumuz:", 4, 38, 56, 8},
    {122, kDlgEdit, "", 62, 36, 140, 12},
    {133, kDlgLabel, "A&lternatif:", 4, 54, 56, 8},
    {123, kDlgEdit, "", 62, 52, 140, 12},
    {124, kDlgCheck, "&Görünmez kip", 62, 70, 140, 10},
    {125, kDlgCheck, "&Yeni sunucu penceresi", 62, 84, 140, 10},
    {128, kDlgLabel, "Sunucu:", 4, 104, 56, 8},
    {129, kDlgLabel, "", 62, 104, 140, 16},
    {126, kDlgButton, "&Bağlan", 4, 124, 60, 14},
    {127, kDlgButton, "&Seç...", 142, 124, 60, 14},
};
const DlgTemplate kTemplate190 = {190, "", 206, 142, k190, std::size(k190)};

std::string first_word(const std::string& text)
{
    const std::size_t start = text.find_first_not_of(' ');
    if (start == std::string::npos)
        return std::string();
    const std::size_t end = text.find(' ', start);
    return text.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

std::string server_text(const Connection* conn)
{
    if (!conn)
        return std::string();
    const std::string& description = conn->stored_identity[6];
    return description.empty() ? conn->stored_identity[5] : description;
}

void fill(OptionsEdit& e)
{
    Connection* c = conn_is_live(e.conn) ? e.conn : nullptr;
    for (int i = 0; i < 4; ++i)
        dlg_set_text(e.dialog, 120 + i, c ? c->stored_identity[i] : std::string());
    dlg_set_checked(e.dialog, 124, opt(OPT_INVISIBLE_MODE));
    dlg_set_checked(e.dialog, 125, 0);
    dlg_set_text(e.dialog, 129, server_text(c));
    const bool busy = c && (c->connected || c->connecting);
    for (int id : {120, 121})
        if (QWidget* w = dlg_item(e.dialog, id))
            w->setEnabled(!busy);
}

void send_nick(Connection* c, const std::string& nick)
{
    irc_send_line("NICK :" + nick + "\n", 0, c);
}

void apply(OptionsEdit& e)
{
    Connection* c = conn_is_live(e.conn) ? e.conn : nullptr;
    const bool fresh_window = dlg_checked(e.dialog, 125) != 0;
    const bool invisible = dlg_checked(e.dialog, 124) != 0;
    opt_set(OPT_INVISIBLE_MODE, invisible ? 1 : 0);
    if (!c)
        return;
    const bool logged_on = c->connected && c->registered;
    if (logged_on && !fresh_window && options_control_changed(e, 124)) {
        const bool has_i = c->user_modes.find('i') != std::string::npos;
        if (invisible && !has_i)
            irc_send_line("MODE " + c->live_identity[2] + " +i\n", 0, c);
        else if (!invisible && has_i)
            irc_send_line("MODE " + c->live_identity[2] + " -i\n", 0, c);
    }
    if (!(c->connected || c->connecting)) {
        c->stored_identity[0] = dlg_text(e.dialog, 120);
        std::string email = first_word(dlg_text(e.dialog, 121));
        text_strip_codes(email, kStripBold | kStripUnderline | kStripReverse | kStripColour);
        c->stored_identity[1] = email;
    }
    const std::string nick = first_word(dlg_text(e.dialog, 122));
    const std::string anick = first_word(dlg_text(e.dialog, 123));
    if (!logged_on || fresh_window) {
        c->stored_identity[2] = nick;
        c->stored_identity[3] = anick;
        return;
    }
    const std::string current = conn_own_nick(c);
    if (c->nick_index == 0) {
        // Using the main nick: the alternative is kept, a new nick asked for.
        c->stored_identity[3] = anick;
        c->live_identity[3] = anick;
        if (!nick.empty() && nick != current)
            send_nick(c, nick);
    } else {
        // Using the alternative nick: the main nick is kept, a new
        // alternative asked for.
        c->stored_identity[2] = nick;
        c->live_identity[2] = nick;
        if (!anick.empty() && anick != c->live_identity[3])
            send_nick(c, anick);
    }
}

}  // namespace

void page_connect_install()
{
    options_page_register({120, &kTemplate190, fill, apply, nullptr, nullptr});
}

void page_connect_uninstall()
{
    options_page_unregister(120);
}
