// The /dcc words that set the transfer options (maxcps, trust, ignore),
// $trust(, and the share of the total send-speed limit a send may write.
#include "dcc_window_fixture.h"

#include "core/numbered_texts.h"
#include "core/string_list.h"
#include "dcc/dcc_dialogs_trusted.h"
#include "dcc/dcc_engine.h"
#include "script/exec/script_types.h"

namespace {

class DccWordsTest : public DccWindowTest {
protected:
    void TearDown() override
    {
        strlist_free(&dcc_trusted_list);
        DccWindowTest::TearDown();
    }
    void run(const std::string& line)
    {
        script_exec_line(conn->status_window, line.c_str(), nullptr, 1, nullptr, nullptr, conn);
    }
    std::string eval(const std::string& text)
    {
        std::string t = text;
        std::string* r = ident_eval_text(conn->status_window, &t, nullptr, nullptr, 0, 1, -1, nullptr, conn);
        return r ? *r : std::string("<failed>");
    }
    // The last line of the status window, separator lines skipped.
    std::string last_status_line()
    {
        WindowRecord* rec = win_record_of(conn->status_window);
        std::string last;
        for (const StringNode* n = rec ? rec->lines : nullptr; n; n = n->next)
            if (!n->text.empty() && n->text != "-")
                last = n->text;
        return last;
    }
};

TEST_F(DccWordsTest, MaxcpsKeepsAtLeast512AndZeroRemovesTheLimit)
{
    struct Case {
        const char* arg;
        int stored;
    } cases[] = {{"100", 512}, {"511", 512}, {"512", 512}, {"20000", 20000}, {"0", 0}, {"-5", 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arg);
        run(std::string("/dcc maxcps ") + c.arg);
        EXPECT_EQ(opt(OPT_DCC_MAX_SEND_RATE), c.stored);
        EXPECT_NE(last_status_line().find(text_fill_id(760, {std::to_string(c.stored)})), std::string::npos)
            << last_status_line();
    }
    // Without a number the limit is only shown.
    run("/dcc maxcps");
    EXPECT_EQ(opt(OPT_DCC_MAX_SEND_RATE), 0);
}

TEST_F(DccWordsTest, TrustSwitchesAddsOnceRemovesAndIsReadByTheIdentifier)
{
    run("/dcc trust on");
    EXPECT_EQ(opt(OPT_DCC_TRUST), 1);
    EXPECT_NE(last_status_line().find(text_fill_id(774, {"0"})), std::string::npos) << last_status_line();
    run("/dcc trust *!*@friends.example");
    run("/dcc trust *!*@FRIENDS.example");  // the same mask, case ignored
    run("/dcc trust pal!*@*");
    EXPECT_EQ(strlist_count(dcc_trusted_list), 2);
    EXPECT_NE(last_status_line().find(text_fill_id(774, {"2"})), std::string::npos) << last_status_line();

    EXPECT_EQ(eval("$trust(0)"), "2");
    EXPECT_EQ(eval("$trust()"), "2");
    EXPECT_EQ(eval("$trust(1)"), "*!*@friends.example");
    EXPECT_EQ(eval("$trust(2)"), "pal!*@*");
    EXPECT_EQ(eval("$trust(3)"), "");
    EXPECT_EQ(eval("$trust(-1)"), "");

    // Removing a mask that is not listed changes nothing and shows the count.
    run("/dcc trust -r nobody!*@*");
    EXPECT_EQ(strlist_count(dcc_trusted_list), 2);
    EXPECT_NE(last_status_line().find(text_fill_id(774, {"2"})), std::string::npos);
    run("/dcc trust -r *!*@Friends.Example");
    EXPECT_EQ(eval("$trust(1)"), "pal!*@*");
    // "-r on" removes an entry named "on"; it does not switch.
    run("/dcc trust -r on");
    EXPECT_EQ(opt(OPT_DCC_TRUST), 1);

    run("/dcc trust off");
    EXPECT_EQ(opt(OPT_DCC_TRUST), 0);
    EXPECT_NE(last_status_line().find(text_fill_id(775, {"1"})), std::string::npos) << last_status_line();
    EXPECT_EQ(strlist_count(dcc_trusted_list), 1);
}

TEST_F(DccWordsTest, IgnoreSetsTheFilterModeAndOnRestoresTheModeBeforeOff)
{
    run("/dcc ignore ignore");
    EXPECT_EQ(opt(OPT_DCC_FILTER_MODE), 2);
    EXPECT_NE(last_status_line().find(std::string(text_load_string(764)) + " (ignore)"), std::string::npos)
        << last_status_line();
    run("/dcc ignore off");
    EXPECT_EQ(opt(OPT_DCC_FILTER_MODE), 0);
    EXPECT_NE(last_status_line().find(text_load_string(765)), std::string::npos);
    run("/dcc ignore on");
    EXPECT_EQ(opt(OPT_DCC_FILTER_MODE), 2);
    // "on" while the filter is on leaves the mode.
    run("/dcc ignore except");
    run("/dcc ignore on");
    EXPECT_EQ(opt(OPT_DCC_FILTER_MODE), 1);
    EXPECT_NE(last_status_line().find(" (accept)"), std::string::npos);

    // The timer: -u0 turns it off with the filter; minutes out of range give 3.
    run("/dcc ignore -u0 off");
    EXPECT_EQ(opt(OPT_DCC_FILTER_MODE), 0);
    EXPECT_EQ(opt(OPT_DCC_FILTER_TIMER), 0);
    run("/dcc ignore -u500 on");
    EXPECT_EQ(opt(OPT_DCC_FILTER_TIMER), 1);
    EXPECT_EQ(opt(OPT_DCC_FILTER_REENABLE_MINUTES), 3);
    EXPECT_NE(last_status_line().find(" (accept) (3)"), std::string::npos) << last_status_line();
    run("/dcc ignore -u15");
    EXPECT_EQ(opt(OPT_DCC_FILTER_REENABLE_MINUTES), 15);
    // Other words leave the mode.
    run("/dcc ignore sometimes");
    EXPECT_EQ(opt(OPT_DCC_FILTER_MODE), 1);
}

TEST_F(DccWordsTest, SpeedLimitedSendsShareWhatIsLeftOfThisSecond)
{
    DccTransfer* a = open_transfer(kDccSend, "a", "a.bin", 1 << 20);
    DccTransfer* b = open_transfer(kDccSend, "b", "b.bin", 1 << 20);
    DccTransfer* g = open_transfer(kDccGet, "c", "c.bin", 1 << 20);
    ASSERT_TRUE(a && b && g);
    struct Case {
        int limit;
        int a_state;
        std::int64_t a_bytes;
        int b_state;
        std::int64_t b_bytes;
        int block;
        int expected;
    } cases[] = {
        {0, kDccSending, 100000, kDccSending, 0, 4096, 4096},       // no limit
        {8192, kDccSending, 0, kDccDone, 0, 4096, 4096},            // the whole second left
        {8192, kDccSending, 0, kDccDone, 0, 16384, 8192},           // cut to what is left
        {8192, kDccSending, 2048, kDccSending, 2048, 4096, 2048},   // two share the rest
        {8192, kDccSending, 8000, kDccDone, 0, 4096, 512},          // never below 512
        {8192, kDccSending, 8192, kDccDone, 0, 4096, 512},          // exactly used up
        {8192, kDccSending, 9000, kDccDone, 0, 4096, 0},            // over: wait
        {8192, kDccWaiting, 5000, kDccSending, 5000, 4096, 0},      // a waiting send counts too
        {8192, kDccSending, 4096, kDccClosed, 99999, 4096, 4096},   // a closed send does not
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.limit << " " << c.a_bytes << " " << c.b_bytes);
        opt_set(OPT_DCC_MAX_SEND_RATE, c.limit);
        a->state = c.a_state;
        a->second_bytes = c.a_bytes;
        b->state = c.b_state;
        b->second_bytes = c.b_bytes;
        // A get never takes a share.
        g->state = kDccSending;
        g->second_bytes = 1000000;
        EXPECT_EQ(dccsend_block_for_cps(c.block), c.expected);
    }
}

}  // namespace
