// $timer(N|name) with its properties, $ctimer and $ltimer.
#pragma once

#include <string>
#include <string_view>

struct IdentCall;
struct Timer;

int id_timer(IdentCall& call);
int id_ctimer(IdentCall& call);
int id_ltimer(IdentCall& call);

// The value of $timer(...) for one argument and a property (empty: none);
// 1 with the value, 0 when there is no value (empty result).
int timer_ident_value(std::string_view arg, std::string_view property, std::string* out);

// The seconds left of a timer (.secs).
long long timer_seconds_left(const Timer* timer);

void timer_identifiers_register();
