// Identifiers that describe the running event ($nick, $chan, $target,
// $event, $modefirst ...), answered for the evaluator through its event seam.
#pragma once

#include <string>
#include <string_view>

struct EventContext;
struct EventFireContext;

// name: the identifier with or without its "$" ("=$nick" as written).
// Returns 2 when the name is not an event identifier, 1 when answered (the
// text may be empty), 0 when it is known but has no value here.
int event_ident_value(std::string_view name, std::string* out, const EventFireContext* ctx,
                      int in_event);
// The seam form for the evaluator: 1 with the value when answered.
int event_ident_seam(EventContext* ctx, std::string_view name, std::string* out);
