// Wildcard matching and address masks.
//
// wild_match tests a text against a mask ('*' any run, '?' one character,
// '&' before a space or at the end of the mask one whole word).
// wild_match_masks tests whether two masks can match a common text.
// mask_address turns "nick!user@host" into one of the twenty standard mask
// forms that ban, ignore and user-list commands pick by number, and
// mask_default_ban completes a partial mask.
#pragma once

#include <string>
#include <string_view>

// 1 when the text matches the mask, else 0. case_flag 0 compares letters
// without regard to case, non-zero compares exactly. Callers pass outer_call 1;
// the matcher keeps no state between calls, so the flag changes nothing.
//
// Once the matcher has moved past a later '*', an earlier '*' is never
// extended again; with that rule a match costs at most text length times mask
// length steps, whatever the mask.
int wild_match(std::string_view mask, std::string_view text, int case_flag, int outer_call);

// 1 when some text could match both masks, else 0. Each mask is taken by at
// most its first 4150 characters.
int wild_match_masks(std::string_view mask1, std::string_view mask2, int case_flag);

// Replaces "nick!user@host" in `address` by the mask of the given type (0 to
// 19; any other type gives the "nick!user@host" form) and returns 1. Returns 0
// and leaves `address` as it was when it has no '!', no '@' after the '!', an
// empty user part or an empty host. A mask can be longer than its address.
// `ircx` tells whether the server is an IRCX server (a cloaked host's "XXX"
// label is then hidden too).
int mask_address(std::string& address, int type, bool ircx);

// Completes a partial mask in place: every missing or empty part becomes '*'.
// "nick!user@host" keeps its parts, "nick!user" gains "@*", "user@host" gains
// "*!" in front, and a text without '!' and '@' becomes "*!*@text" when it
// holds a '.', else "text!*@*". The result is cut at 1024 characters.
void mask_default_ban(std::string& mask);
