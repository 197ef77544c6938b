// The Links List: the collected LINKS replies laid out as an indented tree,
// the command a double-click on a line runs, and the fields of a line.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct StringNode;

struct LinkLine {
    std::string text;      // depth TABs, then "server (hops) info"
    int depth = 0;
    std::uint32_t colour = 0;
};

// Deepest level laid out; a deeper chain goes on at depth 0.
constexpr int kLinksMaxDepth = 64;

// Lays out the entries ("server,uplink,hops info", newest first) and frees
// the list.
std::vector<LinkLine> links_layout(StringNode*& list);
// The command a double-click on a line runs ("/!.server host", with Shift
// "/!.server -m host"); empty when nothing runs. `masked` is set when the
// line names a masked server (text 3601 is then shown).
std::string links_dblclick_command(const std::string& line, bool shift, bool* masked);
// Fields of a line: 0 the server, 1 the address in brackets, 2 the hop
// count, 3 the info text.
std::string link_line_field(const std::string& line, int which);
