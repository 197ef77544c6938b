// The DCC requests of incoming CTCP lines (SEND, TSEND, RESUME, ACCEPT).
#pragma once

#include <string>

class QWidget;
struct IrcMessage;

// The CTCP layer's DCC step: reads the request and hands it to the sends
// and gets, or shows why it was refused.
void dcc_on_ctcp_offer(IrcMessage& msg, QWidget* window);

// The path an offered file would be received to, named before the offer's
// ctcp event so that its scripts read it and may move it (/dcc get).
void dcc_name_offered_file(IrcMessage& msg);

// 1 when the trusted-list check is on and the sender ("nick!user@host", or
// the nick alone) is on the trusted list.
int dcc_sender_trusted(const std::string& nick, const std::string& user_host);

void dcc_offers_install();
void dcc_offers_uninstall();
