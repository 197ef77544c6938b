// The DCC requests of incoming CTCP lines (SEND, TSEND, RESUME, ACCEPT).
#pragma once

class QWidget;
struct IrcMessage;

// The CTCP layer's DCC step: reads the request and hands it to the sends
// and gets, or shows why it was refused.
void dcc_on_ctcp_offer(IrcMessage& msg, QWidget* window);
