#include "core/string_list.h"
#include "core/text_buffer.h"

#include <cstring>
#include <new>

namespace {

std::string_view cut_long(std::string_view text)
{
    return text.size() > kLongText ? text.substr(0, kLongText) : text;
}

// A zero-terminated text read no further than the usable length.
std::string_view bounded_view(const char* text)
{
    return std::string_view(text, strnlen(text, kLongText));
}

// Makes a detached node; null when memory runs out.
StringNode* make_node(std::string_view text, int number)
{
    StringNode* node = new (std::nothrow) StringNode;
    if (!node)
        return nullptr;
    try {
        node->text.assign(cut_long(text));
    } catch (...) {
        delete node;
        return nullptr;
    }
    node->number = number;
    return node;
}

// The piece that a continuation node adds to a joined line.
void continuation_piece(const StringNode* node, std::string_view& piece, bool& single_space)
{
    std::string_view text = node->text;
    std::size_t drop = 0;
    const std::size_t indent = node->indent > 0 ? static_cast<std::size_t>(node->indent) : 0;
    while (drop < indent && drop < text.size() && text[drop] == ' ')
        ++drop;
    piece = text.substr(drop);
    single_space = piece.find_first_not_of(' ') == std::string_view::npos;
}

// Walks the group that starts at `node`. Appends to `out` when given.
// Returns the last node joined; sets `overflow` when a piece was left out
// because the joined text would pass kLongText characters.
StringNode* join_group(StringNode* node, std::string* out, bool& overflow)
{
    overflow = false;
    std::size_t length = node->text.size();
    if (out)
        out->assign(node->text);
    StringNode* last = node;
    for (StringNode* cur = node->next; cur && cur->serial == node->serial; cur = cur->next) {
        std::string_view piece;
        bool single_space = false;
        continuation_piece(cur, piece, single_space);
        const std::size_t add = single_space ? 1 : piece.size();
        if (length + add > kLongText) {
            overflow = true;
            break;
        }
        if (out) {
            if (single_space)
                out->push_back(' ');
            else
                out->append(piece);
        }
        length += add;
        last = cur;
    }
    return last;
}

StringNode* prepend_view(StringNode* head, std::string_view text, int remove_duplicates,
                         int number)
{
    StringNode* node = make_node(text, number);
    if (!node)
        return nullptr;
    if (remove_duplicates && head) {
        StringNode* cur = head;
        while (cur) {
            StringNode* following = cur->next;
            if (text_equal_nocase(cur->text, node->text))
                head = strlist_remove(head, cur);
            cur = following;
        }
    }
    if (!head) {
        node->prev = node;
        node->next = nullptr;
        return node;
    }
    node->next = head;
    node->prev = head->prev; // the last node
    head->prev = node;
    return node;
}

} // namespace

StringNode* strlist_append(StringNode* head, std::string_view text, int number)
{
    StringNode* node = make_node(text, number);
    if (!node)
        return nullptr;
    if (!head) {
        node->prev = node;
        return node;
    }
    StringNode* last = head->prev;
    node->prev = last;
    last->next = node;
    head->prev = node;
    return head;
}

StringNode* strlist_append(StringNode* head, const char* text, int number)
{
    if (!text)
        return nullptr;
    return strlist_append(head, bounded_view(text), number);
}

StringNode* strlist_append(StringNode* head, std::string& text, int number)
{
    if (text.size() > kLongText)
        text.resize(kLongText);
    return strlist_append(head, std::string_view(text), number);
}

StringNode* strlist_prepend(StringNode* head, std::string_view text, int remove_duplicates,
                            int number)
{
    return prepend_view(head, text, remove_duplicates, number);
}

StringNode* strlist_prepend(StringNode* head, const char* text, int remove_duplicates,
                            int number)
{
    if (!text)
        return nullptr;
    return prepend_view(head, bounded_view(text), remove_duplicates, number);
}

StringNode* strlist_prepend(StringNode* head, std::string& text, int remove_duplicates,
                            int number)
{
    if (text.size() > kLongText)
        text.resize(kLongText);
    return prepend_view(head, std::string_view(text), remove_duplicates, number);
}

StringNode* strlist_remove(StringNode* head, StringNode* node)
{
    if (!head || !node)
        return head;
    if (node == head) {
        StringNode* successor = head->next;
        if (successor)
            successor->prev = head->prev == head ? successor : head->prev;
        delete head;
        return successor;
    }
    StringNode* before = node->prev;
    if (!node->next) {
        // The last node: its predecessor becomes the last.
        before->next = nullptr;
        head->prev = before;
    } else {
        before->next = node->next;
        node->next->prev = before;
    }
    delete node;
    return head;
}

StringNode* strlist_free_node(StringNode* node)
{
    if (!node)
        return nullptr;
    StringNode* successor = node->next;
    if (successor)
        successor->prev = node->prev == node ? successor : node->prev;
    delete node;
    return successor;
}

StringNode* strlist_drop_tail(StringNode* head)
{
    if (!head)
        return nullptr;
    return strlist_remove(head, head->prev);
}

StringNode* strlist_splice(StringNode* head, StringNode* position, StringNode* other)
{
    if (!other)
        return head;
    if (!head)
        return other;
    StringNode* other_last = other->prev;
    if (!position) {
        StringNode* last = head->prev;
        last->next = other;
        other->prev = last;
        head->prev = other_last;
        return head;
    }
    if (position == head) {
        other_last->next = head;
        other->prev = head->prev;
        head->prev = other_last;
        return other;
    }
    StringNode* before = position->prev;
    before->next = other;
    other->prev = before;
    other_last->next = position;
    position->prev = other_last;
    return head;
}

StringNode* strlist_move_to_front(StringNode* head, StringNode* node)
{
    if (!node || node == head)
        return head;
    if (!head) {
        node->next = nullptr;
        node->prev = node;
        return node;
    }
    StringNode* before = node->prev;
    StringNode* last = head->prev;
    if (!node->next) {
        before->next = nullptr;
        last = before;
    } else {
        before->next = node->next;
        node->next->prev = before;
    }
    node->next = head;
    node->prev = last;
    head->prev = node;
    return node;
}

int strlist_count(const StringNode* head)
{
    int count = 0;
    for (const StringNode* cur = head; cur; cur = cur->next)
        ++count;
    return count;
}

void strlist_free(StringNode** head)
{
    if (!head)
        return;
    StringNode* cur = *head;
    while (cur) {
        StringNode* following = cur->next;
        delete cur;
        cur = following;
    }
    *head = nullptr;
}

StringNode* strlist_copy(const StringNode* head)
{
    StringNode* copy = nullptr;
    for (const StringNode* cur = head; cur; cur = cur->next) {
        StringNode* node = new (std::nothrow) StringNode;
        if (!node) {
            strlist_free(&copy);
            return nullptr;
        }
        try {
            node->text = cur->text;
            node->text2 = cur->text2;
        } catch (...) {
            delete node;
            strlist_free(&copy);
            return nullptr;
        }
        node->serial = cur->serial;
        node->wrapMode = cur->wrapMode;
        node->indent = cur->indent;
        node->wrapWidth = cur->wrapWidth;
        node->charWidth = cur->charWidth;
        node->number = cur->number;
        std::memcpy(node->extra, cur->extra, sizeof node->extra);
        if (!copy) {
            node->prev = node;
            copy = node;
        } else {
            StringNode* last = copy->prev;
            last->next = node;
            node->prev = last;
            copy->prev = node;
        }
    }
    return copy;
}

StringNode* line_join_wrapped(StringNode* node, std::string* out)
{
    if (!node) {
        if (out)
            out->clear();
        return nullptr;
    }
    bool overflow = false;
    return join_group(node, out, overflow);
}

StringNode* strlist_find_joined(StringNode* head, std::string_view text, std::string* work)
{
    if (text.size() > kLongText)
        return nullptr; // no joined line can be that long
    for (StringNode* start = head; start; start = start->next) {
        // Compare while joining, so that a start is given up at its first
        // difference instead of after joining the whole run.
        std::string_view first = start->text;
        if (first.size() > text.size() || text.compare(0, first.size(), first) != 0)
            continue;
        std::size_t length = first.size();
        StringNode* last = start;
        bool differs = false;
        bool overflow = false;
        for (StringNode* cur = start->next; cur && cur->serial == start->serial; cur = cur->next) {
            std::string_view piece;
            bool single_space = false;
            continuation_piece(cur, piece, single_space);
            if (single_space)
                piece = " ";
            if (length + piece.size() > kLongText) {
                overflow = true;
                break;
            }
            if (length + piece.size() > text.size() ||
                text.compare(length, piece.size(), piece) != 0) {
                differs = true;
                break;
            }
            length += piece.size();
            last = cur;
        }
        if (overflow || differs || length != text.size())
            continue;
        if (work)
            line_join_wrapped(start, work);
        return last;
    }
    return nullptr;
}
