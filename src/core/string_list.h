// The general-purpose list of the program: a doubly linked chain of heap
// nodes, each owning a copy of a text plus a set of number words that each
// user of the list gives its own meaning.
//
// A list is known by its first node (the head); there is no list record.
// The head's `prev` points to the last node (a one-node list's head points
// to itself), so appending takes constant time. For every other node `prev`
// is its predecessor; the last node's `next` is null. Operations that may
// change the first node return the (possibly new) head, which the caller
// stores.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/text_limits.h"

struct StringNode {
    std::string text;                 // owned, at most kLongText characters
    std::optional<std::string> text2; // optional second text
    int serial = 0;    // display: serial shared by the wrapped parts of a line
    int wrapMode = 0;  // display: wrap mode; column sort: flag bits
    int indent = 0;    // leading spaces that joining drops from a continuation
    int wrapWidth = 0; // display: wrap width in pixels
    int charWidth = 0; // display: character width the line was wrapped for
    int number = 0;    // the number given when the node was made
    std::intptr_t extra[8] = {}; // user words (wide enough to hold a pointer)
    StringNode* next = nullptr;
    StringNode* prev = nullptr;
};

// Appends a node with a copy of the text (cut at kLongText) and the number.
// Returns the head (the new node for an empty list), or null, with the list
// unchanged, for a null text or when memory runs out. The std::string form
// also cuts the caller's text at kLongText.
StringNode* strlist_append(StringNode* head, const char* text, int number);
StringNode* strlist_append(StringNode* head, std::string_view text, int number);
StringNode* strlist_append(StringNode* head, std::string& text, int number);

// Puts a new node first. With remove_duplicates, every later node whose text
// equals the new text (case ignored) is removed. Returns the new head, or
// null (list unchanged) for a null text or no memory. The std::string form
// also cuts the caller's text at kLongText.
StringNode* strlist_prepend(StringNode* head, const char* text, int remove_duplicates,
                            int number);
StringNode* strlist_prepend(StringNode* head, std::string_view text, int remove_duplicates,
                            int number);
StringNode* strlist_prepend(StringNode* head, std::string& text, int remove_duplicates,
                            int number);

// Unlinks a node of the list and frees it. Returns the head (null when the
// list became empty). A null head or node changes nothing.
StringNode* strlist_remove(StringNode* head, StringNode* node);

// Frees the node and returns its successor, which takes over the node's
// `prev`. Used on the head to pop the first node.
StringNode* strlist_free_node(StringNode* node);

// Removes the last node. Returns the head, or null when it was the only one.
StringNode* strlist_drop_tail(StringNode* head);

// Inserts the whole other list before `position`, or after the last node
// when `position` is null. Returns the head of the joined list.
StringNode* strlist_splice(StringNode* head, StringNode* position, StringNode* other);

// Moves a node of the list to the front and returns it as the new head. A
// null node or the head itself changes nothing; with a null head the node
// becomes a one-node list.
StringNode* strlist_move_to_front(StringNode* head, StringNode* node);

// Number of nodes (0 for null).
int strlist_count(const StringNode* head);

// Frees every node and sets the head to null.
void strlist_free(StringNode** head);

// A new list with copies of the texts and all number words of every node,
// in order; null when the list is empty or memory runs out.
StringNode* strlist_copy(const StringNode* head);

// Joins the node's text with the texts of the following nodes of the same
// `serial` (dropping up to `indent` leading spaces of each continuation; a
// piece of nothing but spaces gives one space) into `out`, which may be
// null. Returns the last node joined. When the next piece would take the
// joined text past kLongText characters, joining stops before it and the
// node returned is the last one joined, so a walk that goes on from its
// `next` still reaches the rest.
StringNode* line_join_wrapped(StringNode* node, std::string* out);

// Finds a display line by its whole text (case counting): every node is
// tried as the start of a run of equal `serial`, joined as above. Returns
// the last node of the first equal run, or null. A run whose joined text
// would pass kLongText characters is not compared. `work` may be null.
StringNode* strlist_find_joined(StringNode* head, std::string_view text, std::string* work);
