// Learning the local address as the server sees it: from the welcome
// reply's "nick!user@host" and from the reply to a USERHOST about ourselves.
#pragma once

#include <string>

struct Connection;

// Learns the connection's local host name, address text and address from
// text (its part after the first "@"). from_reply 0: the welcome reply (a
// host already known is only looked up when its address is missing; no
// usable host queues a USERHOST request for our own nick); from_reply 1: the
// USERHOST reply. text may be null. Returns 0 for a connection that is not
// live and for a USERHOST reply without a usable host; else 1.
int conn_learn_local_address(const std::string* text, int from_reply, int echo, Connection* conn);

// The host part of a "nick!user@host" text: after the first "@", cut at the
// first blank, holding a "."; after its last "." cut at the first character
// that is neither letter nor digit. Empty when there is none.
std::string local_address_host_part(const std::string& text);
