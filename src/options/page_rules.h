// What the connection and IRC pages of the options dialog do to a value as
// they store it: the default port, first words, timestamp formats, the
// firewall's mask list, the number bounds and the dotted address check.
// Plain text in, plain text or numbers out; no widget here.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Edit fields of these pages take at most this many characters unless a
// field says otherwise; whole settings of the text section take the longer.
constexpr int kPageFieldMax = 256;
constexpr int kPageLongFieldMax = 1024;
constexpr int kFirewallMasksMax = 4150;

// The default port as typed: blanks removed; a number above 0 is kept as
// "%d", with its "+" (SSL) when the text began with "+"; anything else
// gives "6667".
std::string page_default_port(const std::string& typed);

// The first blank-separated word of a text (leading blanks skipped).
std::string page_first_word(const std::string& text);

// The e-mail address as stored: bold, underline, reverse and colour codes
// removed, then the first word.
std::string page_email(const std::string& typed);

// A timestamp format as stored: runs of spaces made one; empty gives
// "[HH:nn]".
std::string page_timestamp_format(const std::string& typed);

// The firewall's masks: the text (at most 4,150 characters) split at line
// breaks, spaces and commas, empty pieces dropped.
std::vector<std::string> page_firewall_masks(const std::string& typed);
// The masks back as the page shows them, one a line.
std::string page_firewall_masks_text(const std::string& stored);

// A number field's text as a number: leading blanks, an optional sign,
// digits; no digits give 0.
long long page_number(const std::string& text);

// A dotted IPv4 address in host byte order; 0 with `ok` cleared when the
// text is not four numbers 0..255 separated by dots.
std::uint32_t page_parse_ipv4(const std::string& text, bool* ok);

// Number bounds of the pages and sub-dialogs.
int page_flood_bytes(long long v);         // 100 .. 999
int page_at_least(long long v, int low);   // below `low` gives `low`
int page_port_or(long long v, int zero);   // 0 (or out of range) gives `zero`
