// Per-record state slots: made once on first use, found only once made,
// reset on demand and destroyed with the record that holds them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/record_slots.h"

namespace {

// Counts the states alive and logs their destruction order.
struct Tracked {
    static int alive;
    static std::vector<int>* order;
    int tag = 0;
    Tracked() { ++alive; }
    ~Tracked()
    {
        --alive;
        if (order) order->push_back(tag);
    }
};
int Tracked::alive = 0;
std::vector<int>* Tracked::order = nullptr;

RecordSlot<Tracked> first_slot;
RecordSlot<Tracked> second_slot;
RecordSlot<std::string> text_slot;

TEST(RecordSlots, StateIsMadeOnceFoundOnlyWhenMadeAndKeptPerRecord)
{
    RecordSlots a;
    RecordSlots b;
    EXPECT_EQ(a.find(first_slot), nullptr);
    EXPECT_EQ(a.find(text_slot), nullptr);
    Tracked& made = a.get(first_slot);
    made.tag = 7;
    // A second get gives the same state, not a fresh one.
    EXPECT_EQ(&a.get(first_slot), &made);
    EXPECT_EQ(a.get(first_slot).tag, 7);
    EXPECT_EQ(a.find(first_slot), &made);
    // Other slots and other records stay empty.
    EXPECT_EQ(a.find(second_slot), nullptr);
    EXPECT_EQ(b.find(first_slot), nullptr);
    a.get(text_slot) = "kept";
    EXPECT_EQ(b.get(text_slot), "");
    EXPECT_EQ(*a.find(text_slot), "kept");
}

TEST(RecordSlots, ResetAndRecordEndDestroyEveryStateOnce)
{
    const int alive_before = Tracked::alive;
    const std::size_t live_before = record_slots_live();
    std::vector<int> order;
    Tracked::order = &order;
    {
        RecordSlots rec;
        rec.get(first_slot).tag = 1;
        rec.get(second_slot).tag = 2;
        rec.get(text_slot) = "x";
        EXPECT_EQ(Tracked::alive, alive_before + 2);
        EXPECT_EQ(record_slots_live(), live_before + 3);

        rec.reset(first_slot);
        EXPECT_EQ(order, std::vector<int>{1});
        EXPECT_EQ(rec.find(first_slot), nullptr);
        // Resetting an empty slot, or one never used, does nothing.
        rec.reset(first_slot);
        RecordSlots untouched;
        untouched.reset(second_slot);
        EXPECT_EQ(order, std::vector<int>{1});
        // Made again after a reset, fresh.
        EXPECT_EQ(rec.get(first_slot).tag, 0);
        rec.get(first_slot).tag = 3;
    }
    // The record's end destroys the rest, the later slot first.
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(Tracked::alive, alive_before);
    EXPECT_EQ(record_slots_live(), live_before);
    Tracked::order = nullptr;
}

TEST(RecordSlots, RepeatedRecordsLeaveNothingBehind)
{
    const std::size_t live_before = record_slots_live();
    for (int i = 0; i < 100; ++i) {
        auto* rec = new RecordSlots;
        rec->get(first_slot);
        rec->get(text_slot) = std::string(1000, 'x');
        delete rec;
    }
    EXPECT_EQ(record_slots_live(), live_before);
    EXPECT_EQ(Tracked::alive, 0);
}

}  // namespace
