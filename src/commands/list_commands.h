// Commands on a channel's bans and the per-connection lists: /ban, /ial,
// /ialmark, /ialclear (/clearial), /uwho and /abook.
#pragma once

#include <string>

struct CommandCall;
struct Connection;

// /ban [-kru[N]] [#channel] nick-or-address [type] [message]
int cmd_ban(CommandCall& call);
// /ial [on|off], /ialmark nick [text], /ialclear [nick] and /clearial [nick]
// (by the command word).
int cmd_ialclear(CommandCall& call);
// /abook [-wnclh] [name] and /uwho [nick [server]] (by the command word).
int cmd_abook(CommandCall& call);

// The address-book page of the /abook switches: "w" 1, "n" 2, "c" 3, "l" 4,
// "h" 5; of several, the one latest in that order wins; 0 with none.
int abook_page_of(const std::string& switches);

// Seams to the tool windows (absent: nothing happens).
// Opens the address book on a page with the named contact (may be empty).
extern void (*abook_open)(int page, const std::string& name);
// The user-information dialog: with an empty nick it opens; with a nick it
// waits for that nick's WHOIS reply.
extern void (*uwho_dialog_open)(const std::string& nick, Connection* conn);

// Registers the commands above.
void list_commands_register();
