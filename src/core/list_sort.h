// List sorting: one stable merge sort for every singly linked list of the
// program, the comparison modes of string-node lists, and the orders of the
// window list, the notify list and the script timer list.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "core/options.h"
#include "core/string_list.h"

// ---------------------------------------------------------------------------
// The merge sort.
//
// Sorts a null-terminated list linked through `next` and returns the new
// first record. `compare(x, y)` returns negative, zero or positive. The sort
// is stable: a record of the second half is taken only when it compares
// below the record of the first half. The list is split in the middle, so
// the recursion is never deeper than log2(n) and the work is O(n log n).

namespace list_sort_detail {

template <class T, class Compare>
T* merge(T* first, T* second, Compare& compare, T* T::*next)
{
    T* head = nullptr;
    T** tail = &head;
    while (first && second) {
        if (compare(second, first) < 0) {
            *tail = second;
            tail = &(second->*next);
            second = second->*next;
        } else {
            *tail = first;
            tail = &(first->*next);
            first = first->*next;
        }
    }
    *tail = first ? first : second;
    return head;
}

template <class T, class Compare>
T* sort(T* head, Compare& compare, T* T::*next)
{
    if (!head || !(head->*next))
        return head;
    T* slow = head;
    T* fast = head->*next;
    while (fast && fast->*next) {
        slow = slow->*next;
        fast = (fast->*next)->*next;
    }
    T* second = slow->*next;
    slow->*next = nullptr;
    T* left = sort(head, compare, next);
    T* right = sort(second, compare, next);
    return merge(left, right, compare, next);
}

} // namespace list_sort_detail

template <class T, class Compare>
T* list_merge_sort(T* head, Compare compare, T* T::*next = &T::next)
{
    return list_sort_detail::sort(head, compare, next);
}

// Case-insensitive (ASCII) comparison of two texts: negative, 0 or positive.
int sort_compare_nocase(std::string_view a, std::string_view b);

// What some modes take from the caller, who knows what core cannot: the
// connection's nick-prefix characters in the server's order (modes 4 and 44,
// flag 4), the "[success]" entries of the servers file ("host,count"; mode
// 13; the sorter reads them and leaves the list alone), and the evaluation
// of /filter's sort expression (mode 3, flag 4): it writes the evaluated
// text of the expression with $1 and $2 the two lines from their columns
// into `result` and returns a positive value on success; without it there
// is no custom order.
struct SortInputs {
    std::string nick_prefixes = "@%+";  // the prefixes a connection starts with
    const StringNode* success = nullptr;
    std::function<int(const std::string& expression, std::string_view first, std::string_view second,
                      std::string& result)>
        eval_expression;
};

// Sorts through `next`, then rebuilds every `prev` (the head's `prev` is the
// last node). Returns the new head.
StringNode* strlist_sort(StringNode* head, int mode, const SortInputs& inputs = SortInputs());

// ---------------------------------------------------------------------------
// Seams to the parts of the program that some modes consult, set where the
// program is put together: each asks one answer of a part above core, so
// they stay pointers, null until set.

// The sort expression of /filter -a ("$alias($1,$2)"); empty for none.
// /filter sets it around its sort.
extern std::string strlist_sort_expression;

// Reads one field of a server-list entry ("description SERVER:host:ports
// [:password] [GROUP:group]"): field 0 the description, 1 the host, 4 the
// group. Returns 1 when the field is not empty.
int sort_server_entry_field(std::string_view entry, int field, std::string& out);

// Tells whether `record` (an extra word of a script-file entry) is one of the
// loaded script files. When it is, sets kind (0 alias, 1 popup, 2 remote),
// the popup file's kind number and the file's path, and returns 1. Null
// until the script editor, the one list sorted this way, is built.
extern int (*sort_script_file_hook)(std::intptr_t record, int* kind, int* popup_kind,
                                    std::string* path);

// Reads field `field` (1 channel, 7 group) of a channels-folder entry:
// comma-separated fields with double quotes. Returns 1 when the field is not
// empty.
int sort_chanfolder_entry_field(std::string_view entry, int field, std::string& out);

// The URL list's option to put entries beginning with '?' first. Null
// until the URL list is built: off.
extern int (*sort_url_marked_first_hook)();
// Two URL-list entries compared as mode 11 sorts them.
int strlist_compare_urls(const StringNode* a, const StringNode* b);

// The log viewer's sort order (0..7). Null until the log viewer is built:
// order 0.
extern int (*sort_logview_order_hook)();

// ---------------------------------------------------------------------------
// Window list.

// What the window order reads of a window record.
struct WindowSortKey {
    int shared = 0;                 // the shared flag
    std::uint64_t sequence = 0;     // creation sequence
    int connection_id = 0;          // id of the owning connection
    int type = 0;                   // window type 0..9
    int subtype = 0;
    std::string_view name;
    int has_transfer = 0;           // a DCC send or get record was found
    std::int64_t transfer_start = 0; // its start time (seconds)
    std::string_view transfer_file;  // its file text
};

// The group text of a window's kind ("Channel Windows", ...), or "".
std::string_view winlist_group_text(int type, int subtype);

// Orders two windows for the switchbar and treebar. `order` is the user's
// order list (nodes with number 0 name a window, others head a group of a
// type, with the subtype in serial for types 2 and 3); `sort_by_name` is
// the option to sort windows by name.
int winlist_compare(const WindowSortKey& a, const WindowSortKey& b, const StringNode* order,
                    int sort_by_name);

// The user's window order list (the treebar's "order" list, kept by the
// window-order dialog). Null until that dialog is built: no order list.
extern const StringNode* (*winlist_order_hook)();

// Sorts a window list linked through `next`; `key_of(record)` gives the
// record's WindowSortKey. Returns the new first record.
template <class W, class KeyOf>
W* winlist_sort(W* head, KeyOf key_of, W* W::*next = &W::next)
{
    const StringNode* order = winlist_order_hook ? winlist_order_hook() : nullptr;
    const int by_name = opt(OPT_SWITCHBAR_SORT);
    auto compare = [&](W* x, W* y) {
        return winlist_compare(key_of(x), key_of(y), order, by_name);
    };
    return list_merge_sort(head, compare, next);
}

// ---------------------------------------------------------------------------
// Notify list: by nick, case-insensitive. `nick_of(record)` gives the nick.
template <class N, class NickOf>
N* notify_list_sort(N* head, NickOf nick_of, N* N::*next = &N::next)
{
    auto compare = [&](N* x, N* y) {
        return sort_compare_nocase(std::string_view(nick_of(x)), std::string_view(nick_of(y)));
    };
    return list_merge_sort(head, compare, next);
}

// Script timers: by the 64-bit start time, then by name (case-insensitive).
// `start_of(record)` gives the start time, `name_of(record)` the name.
template <class T, class StartOf, class NameOf>
T* timer_list_sort(T* head, StartOf start_of, NameOf name_of, T* T::*next = &T::next)
{
    auto compare = [&](T* x, T* y) {
        const std::int64_t sx = static_cast<std::int64_t>(start_of(x));
        const std::int64_t sy = static_cast<std::int64_t>(start_of(y));
        if (sx != sy)
            return sx < sy ? -1 : 1;
        return sort_compare_nocase(std::string_view(name_of(x)), std::string_view(name_of(y)));
    };
    return list_merge_sort(head, compare, next);
}
