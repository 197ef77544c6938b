// The state the IRC side keeps for a connection or a window lives on its
// record: a record freed takes it along, and a record made afterwards (the
// same number or address may come back) starts clean.
#include <gtest/gtest.h>

#include <string>

#include "chat_test_support.h"
#include "core/record_slots.h"
#include "core/string_list.h"
#include "model/window_record.h"
#include "display/tab_complete.h"
#include "irc/dispatch/automode.h"
#include "irc/dispatch/captions.h"
#include "irc/dispatch/membership.h"
#include "irc/dispatch/modes.h"
#include "irc/link/flood.h"
#include "irc/lists/address_list.h"
#include "irc/lists/notify_list.h"
#include "irc/numerics/query_replies.h"
#include "platform/platform_utils.h"

namespace {

class RecordState : public ChatLink {
protected:
    // Fills every kind of per-connection state the modules keep.
    static void fill(Connection* c)
    {
        irc_state(c)->whois_targets = 4;
        reply_state(c)->names_channel = "#half";
        query_reply_state(c)->away = 1;
        query_reply_state(c)->links_list = strlist_append(nullptr, "a,b,c", 0);
        FloodState* flood = flood_state(c);
        ASSERT_NE(flood, nullptr);
        flood->queue = strlist_append(nullptr, "PRIVMSG #a :held", 0);
        flood->size = 1;
        ASSERT_EQ(notify_add("ann", "", "", "", 1, "", c), 1);
        const std::string nick = "bob", address = "u@h.example";
        ial_update(&nick, &address, 0, c);
        automode_queue(9, "#c", "bob", 0, c);
        tab_nicks_add("carl", 1, c);
    }

    // Every state of the connection is as a new record has it.
    static void expect_clean(Connection* c)
    {
        EXPECT_EQ(irc_state(c)->whois_targets, IrcConnState().whois_targets);
        EXPECT_EQ(reply_state(c)->names_channel, "");
        EXPECT_EQ(query_is_away(c), 0);
        EXPECT_EQ(query_reply_state(c)->links_list, nullptr);
        EXPECT_EQ(flood_queue_size(c), 0);
        EXPECT_EQ(flood_state(c)->queue, nullptr);
        EXPECT_EQ(notify_count(c), 0);
        EXPECT_EQ(ial_count(c), 0);
        EXPECT_TRUE(automode_entries(c).empty());
        ASSERT_NE(tabcomp_state(c), nullptr);
        EXPECT_EQ(tabcomp_state(c)->list1, nullptr);
    }
};

TEST_F(RecordState, AConnectionMadeAfterAFreedOneStartsClean)
{
    Connection* first = conn_new(conn);
    ASSERT_NE(first, nullptr);
    fill(first);
    // The filled state is really there: the checks below can fail.
    EXPECT_EQ(query_is_away(first), 1);
    EXPECT_EQ(flood_queue_size(first), 1);
    EXPECT_EQ(notify_count(first), 1);
    EXPECT_EQ(ial_count(first), 1);
    EXPECT_EQ(automode_entries(first).size(), 1u);
    ASSERT_NE(tabcomp_state(first)->list1, nullptr);
    const int number = first->id;
    conn_free(first);
    ASSERT_FALSE(conn_is_live(first));

    // Numbers are handed out again in time: the new record takes the old one.
    win_alloc_id_set_last(number - 1);
    Connection* next = conn_new(conn);
    ASSERT_NE(next, nullptr);
    ASSERT_EQ(next->id, number);
    expect_clean(next);
    conn_free(next);
}

TEST_F(RecordState, AnotherConnectionsStateIsUntouched)
{
    Connection* other = conn_new(conn);
    ASSERT_NE(other, nullptr);
    fill(conn);
    fill(other);
    conn_free(other);
    EXPECT_EQ(query_is_away(conn), 1);
    EXPECT_EQ(flood_queue_size(conn), 1);
    EXPECT_EQ(notify_count(conn), 1);
    EXPECT_EQ(ial_count(conn), 1);
    EXPECT_EQ(automode_entries(conn).size(), 1u);
    EXPECT_NE(tabcomp_state(conn)->list1, nullptr);
}

TEST_F(RecordState, RepeatedCreateAndFreeLeavesNoStateBehind)
{
    const std::size_t live = record_slots_live();
    const std::size_t created = conn_created.size();
    const std::size_t freed = conn_freed.size();
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE(round);
        Connection* c = conn_new(conn);
        ASSERT_NE(c, nullptr);
        fill(c);
        EXPECT_GT(record_slots_live(), live);
        conn_free(c);
        EXPECT_EQ(record_slots_live(), live);
    }
    // Nothing listens anew per connection either.
    EXPECT_EQ(conn_created.size(), created);
    EXPECT_EQ(conn_freed.size(), freed);
}

TEST_F(RecordState, AWindowFreedTakesItsStateAlong)
{
    const std::size_t live = record_slots_live();
    const int limits = chan_mode_limit_count();
    const int memberships = membership_state_count();
    const int captions = caption_kept_count();
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        WindowRecord* rec = win_record_new(1);
        ASSERT_NE(rec, nullptr);
        rec->conn = conn;
        rec->type = kWinChannel;
        rec->name = "#r";
        chan_mode_set_limit(rec, 50);
        chan_membership(rec);
        ial_set_channel_state(rec, 2);
        EXPECT_EQ(chan_mode_limit(rec), 50);
        EXPECT_EQ(ial_channel_state(rec), 2);
        EXPECT_EQ(chan_mode_limit_count(), limits + 1);
        EXPECT_EQ(membership_state_count(), memberships + 1);
        win_record_free(rec);
        EXPECT_EQ(chan_mode_limit_count(), limits);
        EXPECT_EQ(membership_state_count(), memberships);
        EXPECT_EQ(caption_kept_count(), captions);
        EXPECT_EQ(record_slots_live(), live);
    }
    // Setting a limit of 0 drops it at once.
    WindowRecord* rec = win_record_new(1);
    chan_mode_set_limit(rec, 9);
    chan_mode_set_limit(rec, 0);
    EXPECT_EQ(chan_mode_limit(rec), 0);
    EXPECT_EQ(chan_mode_limit_count(), limits);
    win_record_free(rec);
}

}  // namespace
