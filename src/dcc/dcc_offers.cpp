// The DCC requests that come in as CTCP lines: file offers (SEND, TSEND),
// passive replies to our own offers, RESUME for our sends and ACCEPT for
// our gets. The CTCP layer has already raised the ctcp event and dropped
// offers to channels.
#include "dcc/dcc_offers.h"

#include "core/files.h"
#include "core/file_type_rules.h"
#include "core/numbered_texts.h"
#include "core/text_buffer.h"
#include "core/options.h"
#include "core/wildcard.h"
#include "dcc/dcc_dialogs_trusted.h"
#include "core/text_buffer.h"
#include "dcc/dcc_chat.h"
#include "dcc/dcc_engine.h"
#include "irc/ctcp/ctcp.h"
#include "irc/dispatch/dispatcher.h"
#include "irc/lists/ignore_list.h"
#include "model/colors.h"
#include "model/connection.h"
#include "platform/app_messages.h"

namespace {
int g_arriving_listener = 0;
}  // namespace

int dcc_sender_trusted(const std::string& nick, const std::string& user_host)
{
    if (!opt(OPT_DCC_TRUST))
        return 0;
    std::string address = user_host.empty() ? nick : nick + "!" + user_host;
    mask_default_ban(address);
    return trusted_match(address);
}

void dcc_name_offered_file(IrcMessage& msg)
{
    if (msg.words.size() < 4)
        return;
    const DccOffer offer = dcc_parse_offer(msg.words[3]);
    if (offer.kind != kDccOfferSend || offer.file.empty())
        return;
    std::string folder;
    dcc_folder_for_file(offer.file, folder, 0, nullptr);
    file_add_trailing_slash(folder);
    msg.dcc_file_text = folder + offer.file;
    msg.has_dcc_file_text = true;
}

void dcc_offers_install()
{
    ctcp_dcc_send_arriving.add_once(g_arriving_listener, kCtcpDccSendArrivingFolder, dcc_name_offered_file);
}

void dcc_offers_uninstall()
{
    ctcp_dcc_send_arriving.drop(g_arriving_listener);
}

void dcc_on_ctcp_offer(IrcMessage& msg, QWidget*)
{
    Connection* conn = msg.connection;
    if (!conn_is_live(conn) || msg.words.size() < 4)
        return;
    const std::string& nick = irc_word(msg, 0);
    const std::string& text = msg.words[3];
    auto refuse = [&](int id, std::initializer_list<std::string_view> args) {
        irc_status_echo(conn, static_cast<int>(kColorCtcpText), text_fill_id(id, args));
    };
    DccOffer offer = dcc_parse_offer(text);
    switch (offer.kind) {
    case kDccOfferSend: {
        if (offer.fault) {
            refuse(1609, {nick});
            return;
        }
        if (dccsend_take_passive_reply(conn, nick, offer))
            return;
        const std::string user_host = msg.has_address ? msg.address : std::string();
        const bool trusted = dcc_sender_trusted(nick, user_host) != 0;
        std::string name = offer.file;
        if (!trusted && opt(OPT_DCC_FILTER_MODE) != 0 && dcc_ignore_test(name, 0, 0) == 1) {
            post_app_message(WM_APP_FILETYPE_WARNING, 0, 0);
            refuse(1612, {nick, offer.file});
            return;
        }
        // A folder the ctcp event's script chose with /dcc get.
        std::string folder;
        if (msg.has_dcc_file_text) {
            std::string first;
            dcc_folder_for_file(offer.file, first, 0, nullptr);
            file_add_trailing_slash(first);
            if (!text_equal_nocase(msg.dcc_file_text, first + offer.file)) {
                folder = msg.dcc_file_text.substr(0, msg.dcc_file_text.rfind('/') + 1);
            }
        }
        dccget_offer(conn, nick, user_host, offer, folder, trusted);
        return;
    }
    case kDccOfferResume:
        if (offer.fault || !dccsend_resume(conn, nick, offer))
            refuse(1610, {nick});
        return;
    case kDccOfferAccept:
        if (offer.fault) {
            refuse(1611, {nick});
            return;
        }
        dccget_take_accept(conn, nick, offer);
        return;
    default:
        if (text.size() > 9 && text_equal_nocase(std::string_view(text).substr(0, 9), "DCC CHAT ")) {
            dccchat_on_offer(conn, nick, msg.has_address ? msg.address : std::string(), text);
            return;
        }
        irc_status_echo(conn, static_cast<int>(kColorCtcpText), "[" + nick + " DCC] " + text.substr(4));
        return;
    }
}
