// The notify list's entries as its parts share them: each connection's
// list kept on its record, and the small helpers of nick texts. Only the
// notify list's own files include this; others use irc/lists/notify_list.h.
#pragma once

#include <string>
#include <string_view>

#include "irc/lists/notify_list.h"

struct Connection;

namespace notify_entries {

// The list and state of a connection, kept on its record: its entries go
// with it.
struct StateSlot {
    NotifyConnState st;
    unsigned generation = 0;  // grows whenever an entry leaves the list
    StateSlot() = default;
    StateSlot(const StateSlot&) = delete;
    StateSlot& operator=(const StateSlot&) = delete;
    ~StateSlot();
};

StateSlot* slot_of(Connection* conn);
std::string text_of(int id);
// The part of a nick text before "!".
std::string_view nick_view(std::string_view text);
std::string nick_part(std::string_view text);
// The mask after "!", empty when there is none.
std::string mask_part(std::string_view text);
bool plain_integer(const std::string& s);
bool logged_on(Connection* conn);
// A sound named "beep" is the beep, not a file.
bool is_beep(const std::string& sound);

}  // namespace notify_entries
