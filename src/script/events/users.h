// The users file and user levels: users-file lines "levels:mask", the levels
// of a nick and address, mask-against-mask comparison, the dotted-IP mask
// classifier, the default user level and the two ownership checks of event
// lines.
#pragma once

#include <string>
#include <string_view>

struct StringNode;
struct EventFireContext;

// The default user level (the "dlevel" setting). Starts at 1.
extern int user_default_level;

// Tests one users-file line. Returns the position of the mask in the line
// (>= 0) on a match, -1 otherwise. level_out (may be null) receives the
// level list (at most 1,024 characters). With a level name, the line must
// list that level and masks are compared with masks.
int users_line_match(std::string_view line, std::string_view nick, const std::string* address,
                     std::string_view level_name, int strict, const EventFireContext* ctx,
                     std::string* level_out);
// Whether a users-file line is an entry (not inside a comment block).
int users_line_enabled(const StringNode* line);
// The first matching line's levels: returns the number of its first entry,
// or the default level (no match, empty list, first entry below 1).
int user_levels_of_address(std::string_view nick, const std::string* address,
                           std::string* level_list, std::string* matched_mask,
                           const EventFireContext* ctx);
// Every matching line's level list (blanks removed), one node each; the
// default level alone when none matches. The caller frees the list.
StringNode* user_level_list(std::string_view nick, const std::string* address);
// The same as userlist_levels: the joined levels of every matching line,
// comma separated ("" when none matches).
std::string userlist_levels(std::string_view nick, const std::string* address);
// Whether two masks can match a common address.
int address_masks_match(std::string_view a, std::string_view b, int strict);
// 0 not a dotted IP mask; bit 1 has digits, bit 2 has wildcards.
int ip_mask_classify(std::string_view text);
int event_nick_is_me(const EventFireContext* ctx);
int event_me_is_op(const EventFireContext* ctx);

// The lines of the loaded users file (kind users in the remote list), or null.
StringNode* users_file_lines();
