// The URL catcher: the list of caught and kept addresses (the main
// settings' URL list and its "urls.ini" file), the scan of printed lines for
// addresses, and the opener that completes an address and hands it to the
// desktop. The "Urls List" window and its popup are in url_list_window.
#pragma once

#include <string>
#include <string_view>
#include <vector>

struct StringNode;

// The most entries the list keeps: a server flooding addresses fills it and
// further catches are refused.
constexpr int kUrlListMax = 5000;

// Scans one line. Flag 1 adds each new address to the list, flag 2 leaves
// the first address found in *first (empty when none; the URL kinds are
// searched whatever the catch setting), flag 4 passes web addresses to the
// frame's opener when message is 1 or 3. message tells that the line is a
// message (e-mail addresses are caught only in those). 1 when an address
// was found.
int url_catch(std::string_view line, int flags, int message = 0, std::string* first = nullptr);

// The entry whose address equals the text (case ignored), or, without the
// exact flag, whose address after "://" equals it; trailing slashes do not
// count. Null when none.
StringNode* url_find(std::string_view text, int exact);

// The address part (after "URL:"), the description (from the third
// character to "URL:") and the state character of an entry.
std::string url_entry_address(std::string_view entry);
std::string url_entry_description(std::string_view entry);
char url_entry_state(std::string_view entry);
// The list window's line of an entry: " %c\t%s\tURL:%s".
std::string url_entry_line(std::string_view entry);

// Adds a caught address as "?:" address "URL:" address at its sorted place;
// 0 when the list is full.
int url_add(const std::string& address);
// Replaces (or adds) the entry of an address: any entry with the address
// (and the one with old_address when given) is removed first. The new
// entry "%c:%sURL:%s" goes to its sorted place. 0 when the list is full.
int url_set_entry(char state, const std::string& description, const std::string& address,
                  const std::string& old_address = std::string());
// Removes an entry (and its line in the open list window).
void url_remove(StringNode* entry);
// The n-th entry (from 1) in list order, or null.
StringNode* url_entry_at(int n);
int url_count();
// The entries' texts in list order.
std::vector<std::string> url_list_entries();

// Marks the list as changed (it is written at the next save).
void url_list_touch();
// Writes the list file when it changed; with forget, the unconfirmed ("?")
// entries are dropped first and the file is written.
void url_save_list(int forget);
// Makes path the list file and reads its "[urls]" section.
void url_list_load(const std::string& path);
// The list file's path.
const std::string& url_list_file();
// Sorts the list (entries beginning with "?" first while new entries go
// first).
void url_list_sort();

// The address as the opener hands it on: completed by the first prefix row
// that fits (scheme, "www."/"ftp." host, e-mail), or empty when refused (an
// empty address, "%00", or a "%" not followed by two hexadecimal digits).
std::string url_open_form(const std::string& address);
// Opens an address: mode 0 from the list or a click, 1 from elsewhere;
// with warn, the link warning is asked first for all but "mailto:".
// 1 when it was handed on.
int url_open(const std::string& address, int mode, int warn);

// The stored web pages (2 the latest news, 3 the message board): their
// address is the "update" section's key "url2" or "url3" of the main
// settings. 1 when one was opened.
std::string url_stored_page(int n);
int url_open_stored_page(int n);


void url_catcher_install();
void url_catcher_uninstall();
