// The string-node list: linking, the head's back link to the last node,
// copying and the joining of wrapped display lines.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/string_list.h"

namespace {

// Checks every invariant of a list: `next` from the head ends in null, the
// head's `prev` is the last node and every other node's `prev` is its
// predecessor. Returns the texts in order.
std::vector<std::string> checked_texts(const StringNode* head)
{
    std::vector<std::string> out;
    if (!head)
        return out;
    const StringNode* before = nullptr;
    for (const StringNode* cur = head; cur; cur = cur->next) {
        if (before) {
            EXPECT_EQ(cur->prev, before) << "back link of " << cur->text;
            EXPECT_EQ(before->next, cur);
        }
        out.push_back(cur->text);
        before = cur;
    }
    EXPECT_EQ(head->prev, before) << "head must point to the last node";
    return out;
}

StringNode* make_list(std::initializer_list<const char*> texts)
{
    StringNode* head = nullptr;
    int n = 0;
    for (const char* text : texts) {
        StringNode* result = strlist_append(head, text, n++);
        EXPECT_NE(result, nullptr);
        head = result;
    }
    return head;
}

StringNode* nth(StringNode* head, int index)
{
    while (head && index-- > 0)
        head = head->next;
    return head;
}

using Texts = std::vector<std::string>;

// Owns a list for one test and frees it at the end.
class StringListTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        strlist_free(&head_);
        strlist_free(&other_);
    }
    StringNode* head_ = nullptr;
    StringNode* other_ = nullptr;
};

TEST_F(StringListTest, AppendToEmptyListPointsToItself)
{
    head_ = strlist_append(nullptr, "only", 7);
    ASSERT_NE(head_, nullptr);
    EXPECT_EQ(head_->prev, head_);
    EXPECT_EQ(head_->next, nullptr);
    EXPECT_EQ(head_->number, 7);
    EXPECT_EQ(strlist_count(head_), 1);
    EXPECT_EQ(strlist_count(nullptr), 0);
}

TEST_F(StringListTest, AppendKeepsOrderAndRejectsNullText)
{
    head_ = make_list({"a", "b", "c"});
    EXPECT_EQ(checked_texts(head_), (Texts{"a", "b", "c"}));
    EXPECT_EQ(strlist_append(head_, static_cast<const char*>(nullptr), 0), nullptr);
    EXPECT_EQ(checked_texts(head_), (Texts{"a", "b", "c"}));
}

TEST_F(StringListTest, LongTextIsCutAlsoInTheCallersText)
{
    std::string text(5000, 'x');
    head_ = strlist_append(nullptr, text, 0);
    ASSERT_NE(head_, nullptr);
    EXPECT_EQ(head_->text.size(), kLongText);
    EXPECT_EQ(text.size(), kLongText);
    const std::string other(5000, 'y');
    head_ = strlist_append(head_, other.c_str(), 0);
    EXPECT_EQ(head_->prev->text.size(), kLongText);
    head_ = strlist_prepend(head_, std::string_view(other), 0, 0);
    EXPECT_EQ(head_->text.size(), kLongText);
}

TEST_F(StringListTest, RemoveTable)
{
    struct Case {
        const char* name;
        int index; // node to remove; -1 for a null node
        Texts expected;
    } cases[] = {
        {"head", 0, {"b", "c", "d"}},
        {"middle", 1, {"a", "c", "d"}},
        {"last", 3, {"a", "b", "c"}},
        {"null node", -1, {"a", "b", "c", "d"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StringNode* head = make_list({"a", "b", "c", "d"});
        head = strlist_remove(head, c.index < 0 ? nullptr : nth(head, c.index));
        EXPECT_EQ(checked_texts(head), c.expected);
        strlist_free(&head);
    }
    StringNode* single = make_list({"only"});
    EXPECT_EQ(strlist_remove(single, single), nullptr);
    EXPECT_EQ(strlist_remove(nullptr, nullptr), nullptr);
}

TEST_F(StringListTest, RemovingHeadOfTwoLeavesSelfLinkedNode)
{
    head_ = make_list({"a", "b"});
    head_ = strlist_remove(head_, head_);
    ASSERT_NE(head_, nullptr);
    EXPECT_EQ(head_->prev, head_);
    EXPECT_EQ(checked_texts(head_), (Texts{"b"}));
}

TEST_F(StringListTest, FreeNodePopsTheHead)
{
    head_ = make_list({"a", "b", "c"});
    head_ = strlist_free_node(head_);
    EXPECT_EQ(checked_texts(head_), (Texts{"b", "c"}));
    head_ = strlist_free_node(head_);
    EXPECT_EQ(checked_texts(head_), (Texts{"c"}));
    head_ = strlist_free_node(head_);
    EXPECT_EQ(head_, nullptr);
}

TEST_F(StringListTest, DropTail)
{
    head_ = make_list({"a", "b", "c"});
    head_ = strlist_drop_tail(head_);
    EXPECT_EQ(checked_texts(head_), (Texts{"a", "b"}));
    head_ = strlist_drop_tail(head_);
    EXPECT_EQ(checked_texts(head_), (Texts{"a"}));
    head_ = strlist_drop_tail(head_);
    EXPECT_EQ(head_, nullptr);
    EXPECT_EQ(strlist_drop_tail(nullptr), nullptr);
}

TEST_F(StringListTest, SpliceTable)
{
    struct Case {
        const char* name;
        int position; // index in the first list; -1 for null (append)
        Texts expected;
    } cases[] = {
        {"before the head", 0, {"x", "y", "z", "a", "b"}},
        {"in the middle", 1, {"a", "x", "y", "z", "b"}},
        {"at the end", -1, {"a", "b", "x", "y", "z"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StringNode* head = make_list({"a", "b"});
        StringNode* other = make_list({"x", "y", "z"});
        StringNode* position = c.position < 0 ? nullptr : nth(head, c.position);
        head = strlist_splice(head, position, other);
        EXPECT_EQ(checked_texts(head), c.expected);
        // Appending after a splice must land at the true end.
        head = strlist_append(head, "end", 0);
        Texts with_end = c.expected;
        with_end.push_back("end");
        EXPECT_EQ(checked_texts(head), with_end);
        strlist_free(&head);
    }
    head_ = make_list({"a"});
    EXPECT_EQ(strlist_splice(head_, nullptr, nullptr), head_);
    other_ = make_list({"x"});
    StringNode* joined = strlist_splice(nullptr, nullptr, other_);
    EXPECT_EQ(joined, other_);
}

TEST_F(StringListTest, MoveToFront)
{
    struct Case {
        int index;
        Texts expected;
    } cases[] = {
        {0, {"a", "b", "c"}},
        {1, {"b", "a", "c"}},
        {2, {"c", "a", "b"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.index);
        StringNode* head = make_list({"a", "b", "c"});
        head = strlist_move_to_front(head, nth(head, c.index));
        EXPECT_EQ(checked_texts(head), c.expected);
        head = strlist_append(head, "d", 0);
        EXPECT_EQ(checked_texts(head).back(), "d");
        strlist_free(&head);
    }
    head_ = make_list({"a"});
    EXPECT_EQ(strlist_move_to_front(head_, nullptr), head_);
    // A detached node becomes a one-node list.
    other_ = strlist_append(nullptr, "lone", 0);
    other_->prev = nullptr;
    StringNode* moved = strlist_move_to_front(nullptr, other_);
    EXPECT_EQ(moved, other_);
    EXPECT_EQ(moved->prev, moved);
}

TEST_F(StringListTest, PrependRemovesDuplicatesIgnoringCase)
{
    head_ = make_list({"Foo", "bar", "FOO"});
    head_ = strlist_prepend(head_, "foo", 1, 9);
    EXPECT_EQ(checked_texts(head_), (Texts{"foo", "bar"}));
    EXPECT_EQ(head_->number, 9);

    head_ = strlist_prepend(head_, "bar", 0, 0);
    EXPECT_EQ(checked_texts(head_), (Texts{"bar", "foo", "bar"}));

    // Every node a duplicate: the new node is left alone.
    strlist_free(&head_);
    head_ = make_list({"x", "X"});
    head_ = strlist_prepend(head_, "x", 1, 0);
    EXPECT_EQ(checked_texts(head_), (Texts{"x"}));
    EXPECT_EQ(strlist_prepend(head_, static_cast<const char*>(nullptr), 1, 0), nullptr);
}

TEST_F(StringListTest, CopyTakesEveryWordAndBothTexts)
{
    head_ = make_list({"a", "b"});
    head_->text2 = "second";
    head_->serial = 3;
    head_->wrapMode = 4;
    head_->indent = 5;
    head_->wrapWidth = 6;
    head_->charWidth = 7;
    head_->next->number = 8;
    for (int i = 0; i < 8; ++i)
        head_->extra[i] = 100 + i;
    other_ = strlist_copy(head_);
    EXPECT_EQ(checked_texts(other_), (Texts{"a", "b"}));
    ASSERT_NE(other_, head_);
    ASSERT_TRUE(other_->text2.has_value());
    EXPECT_EQ(*other_->text2, "second");
    EXPECT_FALSE(other_->next->text2.has_value());
    EXPECT_EQ(other_->serial, 3);
    EXPECT_EQ(other_->wrapMode, 4);
    EXPECT_EQ(other_->indent, 5);
    EXPECT_EQ(other_->wrapWidth, 6);
    EXPECT_EQ(other_->charWidth, 7);
    EXPECT_EQ(other_->next->number, 8);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(other_->extra[i], 100 + i);
    // The copy is independent of the original.
    head_->text = "changed";
    EXPECT_EQ(other_->text, "a");
    EXPECT_EQ(strlist_copy(nullptr), nullptr);
}

TEST_F(StringListTest, FreeClearsTheHead)
{
    head_ = make_list({"a", "b", "c"});
    strlist_free(&head_);
    EXPECT_EQ(head_, nullptr);
    strlist_free(&head_);
    strlist_free(nullptr);
}

// ---------------------------------------------------------------------------
// Joining wrapped lines

struct Piece {
    const char* text;
    int serial;
    int indent;
};

StringNode* make_pieces(std::initializer_list<Piece> pieces)
{
    StringNode* head = nullptr;
    for (const Piece& p : pieces) {
        head = strlist_append(head, p.text, 0);
        head->prev->serial = p.serial;
        head->prev->indent = p.indent;
    }
    return head;
}

TEST_F(StringListTest, JoinWrappedTable)
{
    struct Case {
        const char* name;
        std::initializer_list<Piece> pieces;
        std::string joined;
        int last_index;
    } cases[] = {
        {"indent dropped", {{"hello", 1, 0}, {"   world", 1, 2}}, "hello world", 1},
        {"other serial ends the group", {{"a", 1, 0}, {"b", 1, 0}, {"c", 2, 0}}, "ab", 1},
        {"blank piece is one space", {{"a", 1, 0}, {"     ", 1, 2}, {"b", 1, 0}}, "a b", 2},
        {"empty piece is one space", {{"a", 1, 0}, {"", 1, 0}, {"b", 1, 0}}, "a b", 2},
        {"indent above the spaces", {{"a", 1, 0}, {" b", 1, 4}}, "ab", 1},
        {"single node", {{"alone", 5, 0}}, "alone", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StringNode* head = make_pieces(c.pieces);
        std::string out = "stale";
        StringNode* last = line_join_wrapped(head, &out);
        EXPECT_EQ(out, c.joined);
        EXPECT_EQ(last, nth(head, c.last_index));
        EXPECT_EQ(line_join_wrapped(head, nullptr), last);
        strlist_free(&head);
    }
}

TEST_F(StringListTest, JoinStopsBeforeOverflow)
{
    const std::string big(4000, 'a');
    const std::string piece(200, 'b');
    head_ = make_pieces({{big.c_str(), 1, 0}, {"cc", 1, 0}, {piece.c_str(), 1, 0}, {"dd", 1, 0}});
    std::string out;
    StringNode* last = line_join_wrapped(head_, &out);
    EXPECT_EQ(out, big + "cc");
    EXPECT_EQ(last, nth(head_, 1)); // the last piece joined
    EXPECT_LE(out.size(), kLongText);
}

TEST_F(StringListTest, FindJoined)
{
    head_ = make_pieces({{"first", 1, 0},
                         {"hello", 2, 0},
                         {"   world", 2, 2},
                         {"world", 3, 0},
                         {"x", 4, 0}});
    std::string work;
    struct Case {
        std::string text;
        int last_index; // -1 for none
    } cases[] = {
        {"hello world", 2},
        {"first", 0},
        {"world", 3},  // a whole line of its own
        {"HELLO world", -1}, // case counts
        {"hello", -1}, // a start is joined with its whole run
        {"", -1},
        {"x", 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        StringNode* found = strlist_find_joined(head_, c.text, &work);
        EXPECT_EQ(found, c.last_index < 0 ? nullptr : nth(head_, c.last_index));
    }
    // A continuation is tried as a start too.
    StringNode* pieces = make_pieces({{"aa", 1, 0}, {"bb", 1, 0}, {"cc", 1, 0}});
    EXPECT_EQ(strlist_find_joined(pieces, "bbcc", nullptr), nth(pieces, 2));
    strlist_free(&pieces);
}

TEST_F(StringListTest, FindJoinedSkipsOverlongRuns)
{
    const std::string big(4100, 'a');
    const std::string piece(100, 'b');
    head_ = make_pieces({{big.c_str(), 1, 0}, {piece.c_str(), 1, 0}});
    // The joined run would pass the limit, so even its cut form is not found.
    EXPECT_EQ(strlist_find_joined(head_, big, nullptr), nullptr);
    // The continuation alone is still a start of its own.
    EXPECT_EQ(strlist_find_joined(head_, piece, nullptr), nth(head_, 1));
}

TEST_F(StringListTest, LongListInvariants)
{
    for (int i = 0; i < 100000; ++i)
        head_ = strlist_append(head_, std::to_string(i), i);
    EXPECT_EQ(strlist_count(head_), 100000);
    EXPECT_EQ(head_->prev->text, "99999");
    for (int i = 0; i < 50000; ++i)
        head_ = strlist_free_node(head_);
    EXPECT_EQ(strlist_count(head_), 50000);
    EXPECT_EQ(head_->text, "50000");
    EXPECT_EQ(head_->prev->text, "99999");
}

} // namespace
