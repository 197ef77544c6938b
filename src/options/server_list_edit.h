// The server list as the Servers page edits it: a copy of the servers
// file's entries that the page changes and writes back on OK, so that
// Cancel leaves the file and the loaded list as they were. Also the text
// rules of the server editor (description, server, ports, group, password
// to and from an entry) and the tree of groups and servers.
#pragma once

#include <string>
#include <vector>

// The server editor's five fields.
struct ServerEditorFields {
    std::string description;
    std::string server;
    std::string ports;
    std::string group;
    std::string password;
};

// Opening the editor with an entry text (empty: a new entry). Returns 0
// when an entry lacks "SERVER:" or text after it (the editor cannot edit
// it), else 1 with the fields filled; an empty port field becomes "6667".
int server_editor_fields(const std::string& entry, ServerEditorFields* out);

// OK of the editor: the entry text, or empty with `*first_empty` set to 0
// (description), 1 (server) or 2 (ports) for the first required field left
// empty. The server and group are cut at their first blank; the password
// and group parts are written only when given; the result is cut at 1,024.
std::string server_editor_entry(const ServerEditorFields& f, int* first_empty);

// One row of the server tree: a group (with its entries as children) or an
// entry without a group.
struct ServerTreeRow {
    std::string label;          // the group name or the entry's description
    int entry = -1;             // index of an ungrouped entry; -1 for a group
    std::vector<int> children;  // indices of a group's entries, list order
};

struct ServerListEdit {
    std::vector<std::string> entries;
    bool changed = false;

    // Takes a copy of the loaded server list.
    void load();
    // Writes the entries as the servers file's "[servers]" when changed.
    void save();

    std::vector<ServerTreeRow> tree() const;
    // Groups without numeric groups and "Random": first letter upper-cased,
    // each once (case ignored), sorted.
    std::vector<std::string> group_names() const;

    // Replaces entry `index` (or appends when it is -1); returns its index.
    int put(int index, const std::string& text);
    void remove_entry(int index);
    // Removes every entry of the group (case ignored).
    void remove_group(const std::string& group);
    // Entries with a group first, by group; within a group the "Random
    // Server" entries, then "Random ... server", then the rest; ties and
    // ungrouped entries by their whole text.
    void sort();

    // The label of control 129: the group and ": " before the description
    // unless the description begins with the group.
    std::string selection_label(int index) const;
};
