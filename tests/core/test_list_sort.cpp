// The merge sort and every comparison mode of string-node lists; the window,
// notify and timer orders.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "core/list_sort.h"

namespace {

using Texts = std::vector<std::string>;

struct Item {
    const char* text;
    int number = 0;
};

StringNode* make_list(std::initializer_list<Item> items)
{
    StringNode* head = nullptr;
    for (const Item& item : items)
        head = strlist_append(head, item.text, item.number);
    return head;
}

// The texts joined with "|", the list left as it is.
std::string joined_texts(const StringNode* head)
{
    std::string out;
    for (const StringNode* cur = head; cur; cur = cur->next)
        out += (out.empty() ? "" : "|") + cur->text;
    return out;
}

// Texts in order, with every back link checked.
Texts checked_texts(const StringNode* head)
{
    Texts out;
    if (!head)
        return out;
    const StringNode* before = nullptr;
    for (const StringNode* cur = head; cur; cur = cur->next) {
        if (before) {
            EXPECT_EQ(cur->prev, before);
        }
        out.push_back(cur->text);
        before = cur;
    }
    EXPECT_EQ(head->prev, before) << "head must point to the last node";
    return out;
}

Texts sorted_texts(std::initializer_list<Item> items, int mode, const SortInputs& inputs = SortInputs())
{
    StringNode* head = make_list(items);
    head = strlist_sort(head, mode, inputs);
    Texts out = checked_texts(head);
    strlist_free(&head);
    return out;
}

// Puts every seam back to its default after a test.
class ListSortHooks : public ::testing::Test {
protected:
    void SetUp() override
    {
        script_ = sort_script_file_hook;
        url_ = sort_url_marked_first_hook;
        logview_ = sort_logview_order_hook;
        order_ = winlist_order_hook;
        by_name_ = opt(OPT_SWITCHBAR_SORT);
        expression_ = strlist_sort_expression;
    }
    void TearDown() override
    {
        sort_script_file_hook = script_;
        sort_url_marked_first_hook = url_;
        sort_logview_order_hook = logview_;
        winlist_order_hook = order_;
        opt_set(OPT_SWITCHBAR_SORT, by_name_);
        strlist_sort_expression = expression_;
    }

private:
    decltype(sort_script_file_hook) script_;
    decltype(sort_url_marked_first_hook) url_;
    decltype(sort_logview_order_hook) logview_;
    decltype(winlist_order_hook) order_;
    int by_name_ = 0;
    std::string expression_;
};

// ---------------------------------------------------------------------------
// Simple modes

TEST(ListSortModes, SimpleModesTable)
{
    struct Case {
        const char* name;
        std::initializer_list<Item> items;
        int mode;
        Texts expected;
    } cases[] = {
        {"two equal texts keep their order", {{"same", 1}, {"SAME", 2}}, 0, {"same", "SAME"}},
        {"text ignoring case, stable", {{"b"}, {"A"}, {"c"}, {"a"}}, 0, {"A", "a", "b", "c"}},
        {"unknown mode sorts by text", {{"b"}, {"a"}}, 99, {"a", "b"}},
        {"shorter text first", {{"abc"}, {"ab"}}, 0, {"ab", "abc"}},
        {"letters fold to lower case, so '_' sorts first", {{"a"}, {"_"}, {"Z"}}, 0, {"_", "a", "Z"}},
        {"mode 2 numbers ascending", {{"x", 3}, {"x", 1}, {"x", 2}}, 2, {"x", "x", "x"}},
        {"mode 2 then text", {{"b", 1}, {"a", 1}, {"c", 0}}, 2, {"c", "a", "b"}},
        {"mode 6 like mode 2", {{"b", 1}, {"a", 1}, {"c", 0}}, 6, {"c", "a", "b"}},
        {"mode 21 then text reversed", {{"a", 1}, {"b", 1}, {"c", 0}}, 21, {"c", "b", "a"}},
        {"mode 7 up to the first comma", {{"b,1"}, {"a,2"}, {"A,1"}}, 7, {"a,2", "A,1", "b,1"}},
        {"mode 7 comma ends the key", {{"ab,1"}, {"a,9"}}, 7, {"a,9", "ab,1"}},
        {"mode 12 counts descending", {{"a,5"}, {"b"}, {"c,9"}}, 12, {"c,9", "a,5", "b"}},
        {"mode 12 entries without count equal", {{"y"}, {"x"}, {"a,1"}}, 12, {"a,1", "y", "x"}},
        {"mode 12 negative count", {{"a,-3"}, {"b,0"}}, 12, {"b,0", "a,-3"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(sorted_texts(c.items, c.mode), c.expected);
    }
}

TEST(ListSortModes, NumberOrders)
{
    struct Case {
        int mode;
        std::vector<int> expected;
    } cases[] = {{2, {1, 2, 3}}, {6, {1, 2, 3}}, {9, {3, 2, 1}}, {50, {3, 2, 1}}, {21, {1, 2, 3}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        StringNode* head = make_list({{"t", 3}, {"t", 1}, {"t", 2}});
        head = strlist_sort(head, c.mode);
        std::vector<int> numbers;
        for (StringNode* cur = head; cur; cur = cur->next)
            numbers.push_back(cur->number);
        EXPECT_EQ(numbers, c.expected);
        strlist_free(&head);
    }
}

TEST(ListSortModes, WrapWidthModes)
{
    // Mode 22: width ascending, then the text from the offset in extra[1];
    // mode 23 the reverse of both.
    auto build = [] {
        StringNode* head = make_list({{"zzb"}, {"aac"}, {"yya"}, {"q"}});
        const int widths[] = {2, 2, 2, 1};
        int i = 0;
        for (StringNode* cur = head; cur; cur = cur->next, ++i) {
            cur->wrapWidth = widths[i];
            cur->extra[1] = 2;
        }
        return head;
    };
    StringNode* head = strlist_sort(build(), 22);
    EXPECT_EQ(checked_texts(head), (Texts{"q", "yya", "zzb", "aac"}));
    strlist_free(&head);
    head = strlist_sort(build(), 23);
    EXPECT_EQ(checked_texts(head), (Texts{"aac", "zzb", "yya", "q"}));
    strlist_free(&head);

    // An offset past the text compares as an empty text, never out of range.
    head = make_list({{"b"}, {"a"}});
    head->extra[1] = 1000;
    head->next->extra[1] = -5;
    head = strlist_sort(head, 22);
    EXPECT_EQ(checked_texts(head), (Texts{"b", "a"}));
    strlist_free(&head);
}

// ---------------------------------------------------------------------------
// Server-list entries

TEST(ListSortModes, ServerEntryFieldReader)
{
    struct Case {
        const char* entry;
        int field;
        const char* expected;
        int result;
    } cases[] = {
        {"EFnet: Random server  SERVER:irc.efnet.org:6667GROUP:EFnet", 0, "EFnet: Random server", 1},
        {"EFnet: Random server  SERVER:irc.efnet.org:6667GROUP:EFnet", 1, "irc.efnet.org", 1},
        {"EFnet: Random server  SERVER:irc.efnet.org:6667GROUP:EFnet", 4, "EFnet", 1},
        {"NoGroupSERVER:irc.x.net", 1, "irc.x.net", 1},
        {"NoGroupSERVER:irc.x.net", 4, "", 0},
        {"no server field", 0, "", 0},
        {"no server field", 1, "", 0},
        {"ASERVER:h:1GROUP:Two  words", 4, "Two words", 1},
        {"ASERVER:h:1", 2, "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.entry) + " field " + std::to_string(c.field));
        std::string out = "stale";
        EXPECT_EQ(sort_server_entry_field(c.entry, c.field, out), c.result);
        EXPECT_EQ(out, c.expected);
    }
    std::string out;
    const std::string long_desc(400, 'd');
    sort_server_entry_field(long_desc + "SERVER:h", 0, out);
    EXPECT_EQ(out.size(), kShortText);
}

TEST(ListSortModes, ServerEntriesGroupsAndRandomFirst)
{
    EXPECT_EQ(sorted_texts({{"UndernetSERVER:us.undernet.org:6667"},
                            {"EFnet: USSERVER:irc.us.org:6667GROUP:EFnet"},
                            {"DALnet: EUSERVER:eu.dal.net:6667GROUP:DALnet"},
                            {"EFnet: Random EU serverSERVER:eu.efnet.org:6667GROUP:EFnet"},
                            {"EFnet: Random serverSERVER:irc.efnet.org:6667GROUP:EFnet"},
                            {"AbjectSERVER:irc.abject.net:6667"}},
                           1),
              (Texts{"DALnet: EUSERVER:eu.dal.net:6667GROUP:DALnet",
                     "EFnet: Random serverSERVER:irc.efnet.org:6667GROUP:EFnet",
                     "EFnet: Random EU serverSERVER:eu.efnet.org:6667GROUP:EFnet",
                     "EFnet: USSERVER:irc.us.org:6667GROUP:EFnet",
                     "AbjectSERVER:irc.abject.net:6667",
                     "UndernetSERVER:us.undernet.org:6667"}));
}

StringNode* success_list()
{
    // The "[success]" entries, unsorted; the sorter orders them by count.
    return make_list({{"irc.low.net,1"}, {"irc.high.net,9"}, {" irc.mid.net ,5"}});
}

TEST_F(ListSortHooks, ServerEntriesBySuccess)
{
    SortInputs inputs;
    inputs.success = success_list();
    const std::string before = joined_texts(inputs.success);
    EXPECT_EQ(sorted_texts({{"ASERVER:irc.unknown.net:6667"},
                            {"BSERVER:irc.low.net:6667"},
                            {"CSERVER:IRC.MID.NET:6667"},
                            {"DSERVER:irc.high.net:6667"},
                            {"ESERVER:irc.other.net:6667"}},
                           13, inputs),
              (Texts{"DSERVER:irc.high.net:6667", "CSERVER:IRC.MID.NET:6667",
                     "BSERVER:irc.low.net:6667", "ASERVER:irc.unknown.net:6667",
                     "ESERVER:irc.other.net:6667"}));
    // The caller's list is read, not reordered or freed.
    EXPECT_EQ(joined_texts(inputs.success), before);
    StringNode* given = const_cast<StringNode*>(inputs.success);
    strlist_free(&given);

    // Without a success list nothing moves.
    EXPECT_EQ(sorted_texts({{"BSERVER:b"}, {"ASERVER:a"}}, 13), (Texts{"BSERVER:b", "ASERVER:a"}));
}

// ---------------------------------------------------------------------------
// Column sort of /filter

struct Line {
    const char* text;
    int column; // offset, -1 for none
};

StringNode* make_lines(std::initializer_list<Line> lines, int flags, char end)
{
    StringNode* head = nullptr;
    for (const Line& line : lines) {
        head = strlist_append(head, line.text, 0);
        StringNode* node = head->prev;
        node->serial = line.column;
        node->wrapMode = flags;
        node->extra[0] = end;
    }
    return head;
}

int eval_reverse_length(const std::string& expression, std::string_view a, std::string_view b,
                        std::string& result)
{
    if (expression != "$bylen($1,$2)")
        return 0;
    // Longer lines first.
    result = std::to_string(static_cast<long>(b.size()) - static_cast<long>(a.size()));
    return 1;
}

int eval_fails(const std::string&, std::string_view, std::string_view, std::string& result)
{
    result = "-1";
    return 0;
}

TEST_F(ListSortHooks, ColumnSortTable)
{
    struct Case {
        const char* name;
        std::initializer_list<Line> lines;
        int flags;
        char end;
        Texts expected;
    } cases[] = {
        {"second column",
         {{"x b 1", 2}, {"y a 2", 2}, {"z c 3", 2}},
         0, ' ', {"y a 2", "x b 1", "z c 3"}},
        {"equal columns by the rest",
         {{"x a 2", 2}, {"y a 1", 2}},
         0, ' ', {"y a 1", "x a 2"}},
        {"column ends at its character",
         {{"ab;z", 0}, {"a;y", 0}},
         0, ';', {"a;y", "ab;z"}},
        {"lines without a column last",
         {{"", -1}, {"b", 0}, {"a", 0}},
         0, ' ', {"a", "b", ""}},
        {"reverse",
         {{"a", 0}, {"c", 0}, {"b", 0}, {"", -1}},
         1, ' ', {"c", "b", "a", ""}},
        {"numeric",
         {{"10 x", 0}, {"9 y", 0}, {"-2 z", 0}, {"abc", 0}, {"+3.5 w", 0}},
         2, ' ', {"-2 z", "+3.5 w", "9 y", "10 x", "abc"}},
        {"numeric reversed keeps numbers first and no-column last",
         {{"", -1}, {"abc", 0}, {"1", 0}, {"2", 0}},
         3, ' ', {"2", "1", "abc", ""}},
        {"numeric equal values by text",
         {{"5 b", 0}, {"05 a", 0}},
         2, ' ', {"05 a", "5 b"}},
        {"hexadecimal is not a number prefix",
         {{"0x10", 0}, {"2", 0}},
         2, ' ', {"0x10", "2"}},
        {"custom without an expression falls back",
         {{"b", 0}, {"a", 0}},
         4, ' ', {"a", "b"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StringNode* head = make_lines(c.lines, c.flags, c.end);
        head = strlist_sort(head, 3);
        EXPECT_EQ(checked_texts(head), c.expected);
        strlist_free(&head);
    }
}

TEST_F(ListSortHooks, ColumnSortThroughExpression)
{
    strlist_sort_expression = "$bylen($1,$2)";
    SortInputs inputs;
    inputs.eval_expression = eval_reverse_length;
    StringNode* head = make_lines({{"k a", 2}, {"k ccc", 2}, {"k bb", 2}}, 4, ' ');
    head = strlist_sort(head, 3, inputs);
    EXPECT_EQ(checked_texts(head), (Texts{"k ccc", "k bb", "k a"}));
    strlist_free(&head);

    // The expression's result is not reversed by flag 1.
    head = make_lines({{"k a", 2}, {"k ccc", 2}, {"k bb", 2}}, 5, ' ');
    head = strlist_sort(head, 3, inputs);
    EXPECT_EQ(checked_texts(head), (Texts{"k ccc", "k bb", "k a"}));
    strlist_free(&head);

    // A failed evaluation falls back to the column order.
    inputs.eval_expression = eval_fails;
    head = make_lines({{"k b", 2}, {"k a", 2}}, 4, ' ');
    head = strlist_sort(head, 3, inputs);
    EXPECT_EQ(checked_texts(head), (Texts{"k a", "k b"}));
    strlist_free(&head);
}

TEST_F(ListSortHooks, ColumnOffsetPastTheTextIsSafe)
{
    StringNode* head = make_lines({{"abc", 500}, {"abd", 1}}, 2, ' ');
    head = strlist_sort(head, 3);
    EXPECT_EQ(checked_texts(head), (Texts{"abc", "abd"}));
    strlist_free(&head);
}

// ---------------------------------------------------------------------------
// Token sort ($sorttok)

TEST_F(ListSortHooks, TokenSortTable)
{
    SortInputs inputs;
    inputs.nick_prefixes = "~@+";
    struct Case {
        const char* name;
        std::vector<const char*> texts;
        int flags;
        int mode;
        Texts expected;
    } cases[] = {
        {"alphabetic", {"b", "C", "a"}, 1, 4, {"a", "b", "C"}},
        {"alphabetic reversed", {"b", "C", "a"}, 9, 4, {"C", "b", "a"}},
        {"alphabetic case-insensitive is stable", {"b", "B", "a"}, 1, 4, {"a", "b", "B"}},
        {"case-sensitive", {"b", "B", "a"}, 1, 44, {"B", "a", "b"}},
        {"numeric", {"10", "9", "-1", "2.5"}, 2, 4, {"-1", "2.5", "9", "10"}},
        {"numeric reversed", {"10", "9", "-1"}, 10, 4, {"10", "9", "-1"}},
        {"alphanumeric", {"10", "x", "9"}, 16, 4, {"x", "9", "10"}},
        {"alphanumeric texts and numbers", {"5", "b", "1.5", "A", "-2"}, 16, 4,
         {"A", "b", "-2", "1.5", "5"}},
        {"alphanumeric: two points is text", {"1.2.3", "7"}, 16, 4, {"1.2.3", "7"}},
        {"nick prefixes", {"+v", "bob", "@op", "~own", "@alf"}, 4, 4,
         {"~own", "@alf", "@op", "+v", "bob"}},
        {"nick prefixes: plain nicks as texts", {"zed", "amy", "%half"}, 4, 4,
         {"%half", "amy", "zed"}},
        {"no order bit keeps the order", {"c", "a", "b"}, 0, 4, {"c", "a", "b"}},
        {"first bit decides", {"10", "9"}, 1 | 2, 4, {"10", "9"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StringNode* head = nullptr;
        for (const char* text : c.texts)
            head = strlist_append(head, text, c.flags);
        head = strlist_sort(head, c.mode, inputs);
        EXPECT_EQ(checked_texts(head), c.expected);
        strlist_free(&head);
    }
}

TEST_F(ListSortHooks, TokenSortUsesTheGivenPrefixes)
{
    struct Case {
        const char* prefixes;
        Texts expected;
    } cases[] = {
        {"+@", {"+b", "@a", "c"}},  // a server that ranks + above @
        {"@+", {"@a", "+b", "c"}},
        {"", {"+b", "@a", "c"}},    // no prefixes: the texts' own order
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.prefixes);
        SortInputs inputs;
        inputs.nick_prefixes = c.prefixes;
        StringNode* head = nullptr;
        for (const char* text : {"@a", "+b", "c"})
            head = strlist_append(head, text, 4);
        head = strlist_sort(head, 4, inputs);
        EXPECT_EQ(checked_texts(head), c.expected);
        strlist_free(&head);
    }
    // Without inputs: the prefixes a connection starts with, "@%+".
    EXPECT_EQ(sorted_texts({{"+v", 4}, {"%h", 4}, {"@o", 4}}, 4), (Texts{"@o", "%h", "+v"}));
}

// ---------------------------------------------------------------------------
// Log-file names

int g_log_order = 0;

TEST_F(ListSortHooks, LogNamesByEachOrder)
{
    sort_logview_order_hook = [] { return g_log_order; };
    // name.network.date.log
    struct Case {
        int order;
        Texts expected;
    } cases[] = {
        {0, {"#a.Net1.20240102.log", "#a.Net2.20240101.log", "#b.Net1.20240101.log", "#c.log"}},
        {1, {"#a.Net2.20240101.log", "#a.Net1.20240102.log", "#b.Net1.20240101.log", "#c.log"}},
        {2, {"#c.log", "#a.Net1.20240102.log", "#b.Net1.20240101.log", "#a.Net2.20240101.log"}},
        {3, {"#c.log", "#b.Net1.20240101.log", "#a.Net1.20240102.log", "#a.Net2.20240101.log"}},
        {4, {"#c.log", "#a.Net2.20240101.log", "#b.Net1.20240101.log", "#a.Net1.20240102.log"}},
        {5, {"#c.log", "#b.Net1.20240101.log", "#a.Net2.20240101.log", "#a.Net1.20240102.log"}},
        {8, {"#a.Net1.20240102.log", "#a.Net2.20240101.log", "#b.Net1.20240101.log", "#c.log"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.order);
        g_log_order = c.order;
        EXPECT_EQ(sorted_texts({{"#b.Net1.20240101.log"},
                                {"#a.Net2.20240101.log"},
                                {"#c.log"},
                                {"#a.Net1.20240102.log"}},
                               5),
                  c.expected);
    }
}

TEST_F(ListSortHooks, LogNamesWithoutDateAndByNumbers)
{
    sort_logview_order_hook = [] { return g_log_order; };
    g_log_order = 0;
    // "x.Net.log": the part after the dot is no date, so it is the network.
    EXPECT_EQ(sorted_texts({{"x.Zed.log"}, {"x.Abc.log"}, {"x.-5.log"}}, 5),
              (Texts{"x.-5.log", "x.Abc.log", "x.Zed.log"}));

    g_log_order = 6; // size (number) descending
    EXPECT_EQ(sorted_texts({{"a.log", 1}, {"b.log", 3}, {"c.log", 2}}, 5),
              (Texts{"b.log", "c.log", "a.log"}));

    g_log_order = 7; // time (wrapMode) descending
    StringNode* head = make_list({{"a.log"}, {"b.log"}, {"c.log"}});
    head->wrapMode = 5;
    head->next->wrapMode = 1;
    head->next->next->wrapMode = 9;
    head = strlist_sort(head, 5);
    EXPECT_EQ(checked_texts(head), (Texts{"c.log", "a.log", "b.log"}));
    strlist_free(&head);
}

// ---------------------------------------------------------------------------
// Script files, channels folder, URL list

struct FakeScript {
    int kind;
    int popup_kind;
    const char* path;
};

int fake_script_file(std::intptr_t record, int* kind, int* popup_kind, std::string* path)
{
    if (record == 0)
        return 0;
    const FakeScript* file = reinterpret_cast<const FakeScript*>(record);
    *kind = file->kind;
    *popup_kind = file->popup_kind;
    *path = file->path;
    return 1;
}

TEST_F(ListSortHooks, ScriptFilesByKindThenPath)
{
    sort_script_file_hook = fake_script_file;
    const FakeScript remote_b{2, 0, "remote/b.ini"};
    const FakeScript remote_a{2, 0, "Remote/a.ini"};
    const FakeScript popup_nick{1, 3, "popups/nick.ini"};
    const FakeScript popup_chan{1, 1, "popups/zchan.ini"};
    const FakeScript alias_z{0, 0, "z.ini"};
    const FakeScript alias_a{0, 0, "a.ini"};
    const FakeScript* order[] = {&remote_b, &popup_nick, &alias_z, &remote_a, &popup_chan, &alias_a};
    StringNode* head = nullptr;
    for (const FakeScript* file : order) {
        head = strlist_append(head, file->path, 0);
        head->prev->extra[3] = reinterpret_cast<std::intptr_t>(file);
    }
    head = strlist_append(head, "not loaded", 0); // extra[3] is 0
    head = strlist_sort(head, 8);
    EXPECT_EQ(checked_texts(head), (Texts{"a.ini", "z.ini", "popups/zchan.ini", "popups/nick.ini",
                                          "Remote/a.ini", "remote/b.ini", "not loaded"}));
    strlist_free(&head);
}

TEST(ListSortModes, ChannelsFolderFields)
{
    struct Case {
        const char* entry;
        int field;
        const char* expected;
    } cases[] = {
        {"#chan,key,,,,,Group", 1, "#chan"},
        {"#chan,key,,,,,Group", 2, "key"},
        {"#chan,key,,,,,Group", 7, "Group"},
        {"#chan,key", 7, ""},
        {"\"#a,b\",k,,,,,\"G, H\"", 1, "#a,b"},
        {"\"#a,b\",k,,,,,\"G, H\"", 7, "G, H"},
        {"#chan", 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.entry) + " " + std::to_string(c.field));
        std::string out = "stale";
        sort_chanfolder_entry_field(c.entry, c.field, out);
        EXPECT_EQ(out, c.expected);
    }
    EXPECT_EQ(sorted_texts({{"#zed"}, {"#b,,,,,,Work"}, {"#abc"}, {"#a,,,,,,Work"}, {"#c,,,,,,Friends"}},
                           10),
              (Texts{"#c,,,,,,Friends", "#a,,,,,,Work", "#b,,,,,,Work", "#abc", "#zed"}));
}

int g_url_option = 0;

TEST_F(ListSortHooks, UrlEntries)
{
    sort_url_marked_first_hook = [] { return g_url_option; };
    // Leading spaces are skipped; two entries beginning with '?' are equal.
    g_url_option = 0;
    EXPECT_EQ(sorted_texts({{"  c:x"}, {"?:b"}, {"0:y"}, {"?:a"}}, 11),
              (Texts{"0:y", "?:b", "?:a", "  c:x"}));
    g_url_option = 1;
    EXPECT_EQ(sorted_texts({{"  c:x"}, {"?:b"}, {"0:y"}, {"?:a"}}, 11),
              (Texts{"?:b", "?:a", "0:y", "  c:x"}));
    g_url_option = 0;
    EXPECT_EQ(sorted_texts({{"b:x"}, {"A:z"}}, 11), (Texts{"A:z", "b:x"}));
}

// ---------------------------------------------------------------------------
// Large lists

TEST(ListSortLarge, HundredThousandNodesSortedAndStable)
{
    std::mt19937 random(12345);
    std::uniform_int_distribution<int> value(0, 999);
    StringNode* head = nullptr;
    const int count = 100000;
    for (int i = 0; i < count; ++i) {
        head = strlist_append(head, "t", value(random));
        head->prev->extra[0] = i; // original position
    }
    head = strlist_sort(head, 2);

    int seen = 0;
    const StringNode* before = nullptr;
    for (const StringNode* cur = head; cur; cur = cur->next, ++seen) {
        if (before) {
            ASSERT_EQ(cur->prev, before);
            ASSERT_LE(before->number, cur->number);
            if (before->number == cur->number) {
                ASSERT_LT(before->extra[0], cur->extra[0]) << "equal keys must keep their order";
            }
        }
        before = cur;
    }
    EXPECT_EQ(seen, count);
    EXPECT_EQ(head->prev, before);
    EXPECT_EQ(before->next, nullptr);

    // Already sorted and reversed inputs take the same path.
    head = strlist_sort(head, 9);
    EXPECT_EQ(strlist_count(head), count);
    for (const StringNode* cur = head; cur && cur->next; cur = cur->next)
        ASSERT_GE(cur->number, cur->next->number);
    strlist_free(&head);
}

TEST(ListSortLarge, ManyTextsCaseInsensitive)
{
    std::mt19937 random(7);
    StringNode* head = nullptr;
    for (int i = 0; i < 20000; ++i) {
        std::string text(1 + random() % 6, 'a');
        for (char& c : text) {
            const int r = static_cast<int>(random() % 52);
            c = static_cast<char>(r < 26 ? 'a' + r : 'A' + (r - 26));
        }
        head = strlist_append(head, text, 0);
    }
    head = strlist_sort(head, 0);
    for (const StringNode* cur = head; cur && cur->next; cur = cur->next)
        ASSERT_LE(sort_compare_nocase(cur->text, cur->next->text), 0);
    strlist_free(&head);
}

// ---------------------------------------------------------------------------
// Generic lists

struct Record {
    int key;
    int original;
    Record* next = nullptr;
};

TEST(ListSortGeneric, MergeSortIsStableOnAnyRecord)
{
    std::vector<Record> records = {{3, 0}, {1, 1}, {3, 2}, {2, 3}, {1, 4}};
    for (std::size_t i = 0; i + 1 < records.size(); ++i)
        records[i].next = &records[i + 1];
    Record* head = list_merge_sort(&records[0], [](Record* a, Record* b) {
        return a->key < b->key ? -1 : (a->key > b->key ? 1 : 0);
    });
    std::vector<int> originals;
    for (Record* cur = head; cur; cur = cur->next)
        originals.push_back(cur->original);
    EXPECT_EQ(originals, (std::vector<int>{1, 4, 3, 0, 2}));
    EXPECT_EQ(list_merge_sort(static_cast<Record*>(nullptr), [](Record*, Record*) { return 0; }),
              nullptr);
}

struct Notify {
    std::string nick;
    Notify* next = nullptr;
};

TEST(ListSortGeneric, NotifyByNickIgnoringCase)
{
    std::vector<Notify> entries = {{"zed"}, {"Bob"}, {"alice"}, {"bob"}};
    for (std::size_t i = 0; i + 1 < entries.size(); ++i)
        entries[i].next = &entries[i + 1];
    Notify* head = notify_list_sort(&entries[0], [](Notify* n) { return std::string_view(n->nick); });
    Texts nicks;
    for (Notify* cur = head; cur; cur = cur->next)
        nicks.push_back(cur->nick);
    EXPECT_EQ(nicks, (Texts{"alice", "Bob", "bob", "zed"}));
}

struct Timer {
    std::string name;
    std::int64_t start;
    Timer* link = nullptr; // a list linked through another field
};

TEST(ListSortGeneric, TimersByStartThenName)
{
    std::vector<Timer> timers = {{"b", 200}, {"c", 100}, {"A", 200}, {"a", 50}};
    for (std::size_t i = 0; i + 1 < timers.size(); ++i)
        timers[i].link = &timers[i + 1];
    Timer* head = timer_list_sort(
        &timers[0], [](Timer* t) { return t->start; }, [](Timer* t) { return std::string_view(t->name); },
        &Timer::link);
    Texts names;
    for (Timer* cur = head; cur; cur = cur->link)
        names.push_back(cur->name);
    EXPECT_EQ(names, (Texts{"a", "c", "A", "b"}));
}

// ---------------------------------------------------------------------------
// Window order

WindowSortKey win(int type, int subtype, const char* name, std::uint64_t sequence,
                  int connection = 1)
{
    WindowSortKey key;
    key.type = type;
    key.subtype = subtype;
    key.name = name;
    key.sequence = sequence;
    key.connection_id = connection;
    return key;
}

StringNode* order_list(std::initializer_list<Item> items, std::initializer_list<int> serials)
{
    StringNode* head = make_list(items);
    auto serial = serials.begin();
    for (StringNode* cur = head; cur && serial != serials.end(); cur = cur->next, ++serial)
        cur->serial = *serial;
    return head;
}

int sign(int value)
{
    return value < 0 ? -1 : (value > 0 ? 1 : 0);
}

TEST(ListSortWindows, CompareTable)
{
    WindowSortKey shared = win(1, 0, "#shared", 1);
    shared.shared = 1;
    WindowSortKey send_early = win(3, 1, "Send a", 9);
    send_early.has_transfer = 1;
    send_early.transfer_start = 100;
    send_early.transfer_file = "zz.txt";
    WindowSortKey send_late = win(3, 1, "Send b", 2);
    send_late.has_transfer = 1;
    send_late.transfer_start = 200;
    send_late.transfer_file = "aa.txt";

    StringNode* by_name = order_list({{"#second", 0}, {"#first", 0}}, {});
    StringNode* groups = order_list({{"Query Windows", 2}, {"bob", 0}, {"Channel Windows", 1}},
                                    {1, 0, 0});

    struct Case {
        const char* name;
        WindowSortKey a, b;
        const StringNode* order;
        int sort_by_name;
        int expected;
    } cases[] = {
        {"shared last", shared, win(9, 0, "@x", 5), nullptr, 0, 1},
        {"status windows by creation", win(0, 0, "Status", 5, 1), win(0, 0, "Status", 3, 2), nullptr,
         0, 1},
        {"connections by id", win(1, 0, "#a", 1, 2), win(1, 0, "#b", 2, 1), nullptr, 0, 1},
        {"status first within a connection", win(1, 0, "#a", 1), win(0, 0, "Status", 2), nullptr, 0,
         1},
        {"channels before queries", win(2, 1, "bob", 1), win(1, 0, "#a", 2), nullptr, 0, 1},
        {"queries before chats", win(2, 3, "bob", 1), win(2, 1, "al", 2), nullptr, 0, 1},
        {"query types before other types", win(9, 0, "@c", 1), win(2, 4, "f", 2), nullptr, 0, 1},
        {"other types by type", win(9, 0, "@c", 1), win(3, 1, "s", 2), nullptr, 0, 1},
        {"same kind by creation without the option", win(1, 0, "#a", 5), win(1, 0, "#b", 2), nullptr,
         0, 1},
        {"same kind by name with the option", win(1, 0, "#a", 5), win(1, 0, "#B", 2), nullptr, 1, -1},
        {"custom windows not by name", win(9, 0, "@a", 5), win(9, 0, "@b", 2), nullptr, 1, 1},
        {"transfers by start time", send_late, send_early, nullptr, 1, 1},
        {"transfers by creation without the option", send_late, send_early, nullptr, 0, -1},
        {"order list names", win(1, 0, "#first", 1), win(1, 0, "#second", 2), by_name, 1, 1},
        {"order list group: query group before channels", win(1, 0, "#a", 1), win(2, 1, "zed", 2),
         groups, 0, 1},
        {"order list group: named member after unnamed", win(2, 1, "bob", 1), win(2, 1, "amy", 2),
         groups, 1, 1},
        {"order list: channel group found later", win(9, 0, "@c", 1), win(1, 0, "#a", 2), groups, 0,
         1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(sign(winlist_compare(c.a, c.b, c.order, c.sort_by_name)), c.expected);
        EXPECT_EQ(sign(winlist_compare(c.b, c.a, c.order, c.sort_by_name)), -c.expected);
    }
    strlist_free(&by_name);
    strlist_free(&groups);
}

struct Window {
    int type, subtype;
    std::string name;
    std::uint64_t sequence;
    Window* next = nullptr;
};

const StringNode* g_order = nullptr;

TEST_F(ListSortHooks, WindowListSortUsesTheHooks)
{
    std::vector<Window> windows = {
        {9, 0, "@custom", 1}, {2, 1, "zed", 2}, {1, 0, "#b", 3},
        {0, 0, "Status Window", 4}, {1, 0, "#a", 5}, {2, 3, "=chat", 6},
    };
    for (std::size_t i = 0; i + 1 < windows.size(); ++i)
        windows[i].next = &windows[i + 1];
    auto key_of = [](Window* w) {
        WindowSortKey key;
        key.type = w->type;
        key.subtype = w->subtype;
        key.name = w->name;
        key.sequence = w->sequence;
        key.connection_id = 1;
        return key;
    };
    auto names = [](Window* head) {
        Texts out;
        for (Window* cur = head; cur; cur = cur->next)
            out.push_back(cur->name);
        return out;
    };

    opt_set(OPT_SWITCHBAR_SORT, 1);  // the option to sort windows by name
    Window* head = winlist_sort(&windows[0], key_of);
    EXPECT_EQ(names(head), (Texts{"Status Window", "#a", "#b", "zed", "=chat", "@custom"}));

    // The user's order list puts a named window first.
    StringNode* order = order_list({{"#b", 0}}, {});
    g_order = order;
    winlist_order_hook = [] { return g_order; };
    head = winlist_sort(head, key_of);
    EXPECT_EQ(names(head), (Texts{"Status Window", "#b", "#a", "zed", "=chat", "@custom"}));
    strlist_free(&order);
    g_order = nullptr;
}

} // namespace
