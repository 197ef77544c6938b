// The per-connection second, run by the frame's one-second tick after its
// own steps: the connect time-out, the retry countdown, the request and
// reply lists, and for a connected link the server time-out probe, flood
// protection, timed bans, the notify poll, the online time and the delayed
// auto-join.
#pragma once

#include <string>

#include "core/signal.h"

struct Connection;

// One second of every connection (elapsed: seconds since the last tick, as
// the online time counts them). Returns 1.
int conn_tick_all(int elapsed);

// With a connection: one second of its server time-out. With a trailing text
// of a PONG (pong_text not null) and the connection it arrived on: 1 when it is
// the probe's reply (the countdown is reset), else 0.
int conn_timeout_probe(const std::string* pong_text, Connection* conn);

// One second of a connected link, before the protocol's own step; the parts
// above the protocol that count per connection listen, in this order.
enum ConnSecondOrder {
    kSecondNickColours = 10,   // nick idle times, the minute's recolouring
};
extern Signal<void(Connection* conn)> conn_second;
