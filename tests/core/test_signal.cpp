#include "core/signal.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// A signal whose listeners write their name into a shared log.
struct Recorder {
    Signal<void(int)> sig;
    std::vector<std::string> log;

    int add(int priority, const std::string& name)
    {
        return sig.add(priority, [this, name](int v) { log.push_back(name + ":" + std::to_string(v)); });
    }
};

TEST(Signal, CallsInPriorityOrderWhateverTheAddOrder)
{
    struct Case {
        std::vector<std::pair<int, std::string>> adds;  // priority, name (in add order)
        std::vector<std::string> expected;
    };
    const std::vector<Case> cases = {
        {{{30, "c"}, {10, "a"}, {20, "b"}}, {"a:7", "b:7", "c:7"}},
        {{{10, "a"}, {20, "b"}, {30, "c"}}, {"a:7", "b:7", "c:7"}},
        // Equal priorities keep the order they were added in.
        {{{5, "x"}, {5, "y"}, {1, "first"}, {5, "z"}}, {"first:7", "x:7", "y:7", "z:7"}},
        {{{-3, "neg"}, {0, "zero"}}, {"neg:7", "zero:7"}},
        {{}, {}},
    };
    for (const Case& c : cases) {
        Recorder r;
        for (const auto& [priority, name] : c.adds)
            EXPECT_NE(r.add(priority, name), 0);
        r.sig.fire(7);
        EXPECT_EQ(r.log, c.expected);
    }
}

// A band reaches its lower bound and stops below its upper one; the bands
// fired in turn call each listener once, in priority order.
TEST(Signal, FireRangeCallsOnlyItsBand)
{
    struct Case {
        int from, to;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {10, 20, {"ten:1", "ten2:1", "fifteen:1"}},
        {11, 20, {"fifteen:1"}},
        {15, 16, {"fifteen:1"}},
        {16, 20, {}},
        {20, 31, {"twenty:1", "thirty:1"}},
        {-100, 10, {"neg:1"}},
        {30, 10, {}},  // an empty band
    };
    Recorder r;
    r.add(20, "twenty");
    r.add(10, "ten");
    r.add(30, "thirty");
    r.add(15, "fifteen");
    r.add(-5, "neg");
    r.add(10, "ten2");
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.from) + ".." + std::to_string(c.to));
        r.log.clear();
        r.sig.fire_range(c.from, c.to, 1);
        EXPECT_EQ(r.log, c.expected);
    }

    r.log.clear();
    r.sig.fire_range(-100, 15, 2);
    r.sig.fire_range(15, 25, 2);
    r.sig.fire_range(25, 100, 2);
    EXPECT_EQ(r.log, (std::vector<std::string>{"neg:2", "ten:2", "ten2:2", "fifteen:2", "twenty:2", "thirty:2"}));
}

// A value listener outside the band is not asked.
TEST(Signal, FireRangeOfValueListenersAnswersForItsBand)
{
    Signal<bool()> sig;
    sig.add(10, [] { return false; });
    sig.add(20, [] { return true; });
    EXPECT_FALSE(sig.fire_range(0, 20));
    EXPECT_TRUE(sig.fire_range(0, 21));
}

TEST(Signal, RemovedListenerIsNotCalledAndOthersStay)
{
    Recorder r;
    r.add(1, "a");
    int b = r.add(2, "b");
    r.add(3, "c");
    EXPECT_TRUE(r.sig.remove(b));
    EXPECT_FALSE(r.sig.remove(b));  // a second remove finds nothing
    EXPECT_FALSE(r.sig.remove(0));
    EXPECT_FALSE(r.sig.remove(9999));
    r.sig.fire(1);
    EXPECT_EQ(r.log, (std::vector<std::string>{"a:1", "c:1"}));
    EXPECT_EQ(r.sig.size(), 2u);
}

TEST(Signal, RepeatedAddAndRemoveNeverReusesIdsNorLeavesListenersBehind)
{
    Recorder r;
    int keep = r.add(50, "keep");
    std::vector<int> seen{keep};
    for (int round = 0; round < 100; ++round) {
        int id = r.add(round % 3, "tmp");
        for (int old : seen)
            ASSERT_NE(id, old);
        seen.push_back(id);
        ASSERT_TRUE(r.sig.remove(id));
    }
    EXPECT_EQ(r.sig.size(), 1u);
    EXPECT_TRUE(r.sig.contains(keep));
    r.sig.fire(2);
    EXPECT_EQ(r.log, (std::vector<std::string>{"keep:2"}));
}

TEST(Signal, NullListenerIsRefused)
{
    Signal<void(int)> sig;
    EXPECT_EQ(sig.add(1, nullptr), 0);
    EXPECT_TRUE(sig.empty());
    sig.fire(1);  // nothing to call, nothing to crash on
}

TEST(Signal, ListenerRemovingALaterOneDuringEmitStopsItThisTime)
{
    Recorder r;
    int later = 0;
    r.sig.add(1, [&](int) {
        r.log.push_back("remover");
        r.sig.remove(later);
    });
    later = r.add(2, "later");
    r.add(3, "last");
    r.sig.fire(4);
    EXPECT_EQ(r.log, (std::vector<std::string>{"remover", "last:4"}));
    r.log.clear();
    r.sig.fire(5);
    EXPECT_EQ(r.log, (std::vector<std::string>{"remover", "last:5"}));
    EXPECT_EQ(r.sig.size(), 2u);
}

TEST(Signal, ListenerRemovingItselfDuringEmitRunsOnceAndTheRestStillRun)
{
    Recorder r;
    int self = 0;
    self = r.sig.add(1, [&](int v) {
        r.log.push_back("once:" + std::to_string(v));
        r.sig.remove(self);
    });
    r.add(2, "after");
    r.sig.fire(1);
    r.sig.fire(2);
    EXPECT_EQ(r.log, (std::vector<std::string>{"once:1", "after:1", "after:2"}));
    EXPECT_FALSE(r.sig.contains(self));
}

TEST(Signal, ListenerAddedDuringEmitHearsOnlyTheNextEmitInItsPriorityPlace)
{
    Recorder r;
    bool added = false;
    r.sig.add(10, [&](int) {
        if (!added) {
            added = true;
            r.add(0, "early");  // before this one by priority, but added mid-fire
            r.add(20, "late");
        }
    });
    r.add(15, "mid");
    r.sig.fire(1);
    EXPECT_EQ(r.log, (std::vector<std::string>{"mid:1"}));
    r.log.clear();
    r.sig.fire(2);
    EXPECT_EQ(r.log, (std::vector<std::string>{"early:2", "mid:2", "late:2"}));
}

TEST(Signal, ListenerAddedAndRemovedWithinOneEmitNeverRuns)
{
    Recorder r;
    r.sig.add(1, [&](int) {
        int id = r.add(5, "ghost");
        EXPECT_TRUE(r.sig.contains(id));
        EXPECT_TRUE(r.sig.remove(id));
    });
    r.sig.fire(1);
    r.sig.fire(2);
    EXPECT_TRUE(r.log.empty());
    EXPECT_EQ(r.sig.size(), 1u);
}

TEST(Signal, NestedEmitCallsEveryoneAndRemovalWaitsForTheOutermost)
{
    Recorder r;
    int depth = 0;
    int victim = 0;
    r.sig.add(1, [&](int v) {
        r.log.push_back("outer:" + std::to_string(v));
        if (depth++ == 0) {
            r.sig.fire(v + 1);  // re-entered
            r.sig.remove(victim);
        }
    });
    victim = r.add(2, "victim");
    r.sig.fire(1);
    // The inner fire reached the victim; the outer, after its removal, did not.
    EXPECT_EQ(r.log, (std::vector<std::string>{"outer:1", "outer:2", "victim:2"}));
    EXPECT_EQ(r.sig.size(), 1u);
}

TEST(Signal, ValueListenersAnswerAnyAndEmit)
{
    Signal<int(int)> sig;
    std::vector<int> called;
    sig.add(1, [&](int v) { called.push_back(1); return v == 1 ? 1 : 0; });
    sig.add(2, [&](int v) { called.push_back(2); return v == 2 ? 1 : 0; });
    sig.add(3, [&](int) { called.push_back(3); return 0; });

    struct Case {
        int value;
        bool any;
        std::vector<int> any_called;  // any() stops at the first true
    };
    const std::vector<Case> cases = {
        {1, true, {1}},
        {2, true, {1, 2}},
        {9, false, {1, 2, 3}},
    };
    for (const Case& c : cases) {
        called.clear();
        EXPECT_EQ(sig.any(c.value), c.any) << c.value;
        EXPECT_EQ(called, c.any_called) << c.value;
        called.clear();
        EXPECT_EQ(sig.fire(c.value), c.any) << c.value;
        EXPECT_EQ(called, (std::vector<int>{1, 2, 3})) << c.value;  // fire calls all
    }
    Signal<int(int)> none;
    EXPECT_FALSE(none.any(1));
    EXPECT_FALSE(none.fire(1));
}

}  // namespace
