// Whole-program tests of requests to other programs' services: one running
// program asks another (both real, sharing one runtime folder) with $dde(,
// the bare $dde and $isdde(, drives it with /dde, and turns its own
// service off, on and to another name with /ddeserver. The test process
// itself is a client too, for what a script cannot see (the cached
// conversation).
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <unistd.h>

#include "app/command_line.h"
#include "app/tick.h"
#include "e2e/harness.h"
#include "extensions/dde_client.h"
#include "platform/local_ipc.h"

using namespace e2e;

namespace {

using Clock = std::chrono::steady_clock;

std::pair<int, std::string> ask(const std::string& service, int kind, const std::string& payload)
{
    int answer = -1;
    std::string reply;
    if (!ipc_request(service, kind, payload, &answer, &reply, 5000))
        return {-1, std::string()};
    return {answer, reply};
}

bool answers(const std::string& service)
{
    return ask(service, IPC_PROBE, "").first == 1;
}

bool wait_for(const std::function<bool()>& done)
{
    const auto end = Clock::now() + std::chrono::milliseconds(kWaitMs);
    while (!done()) {
        if (Clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

// Two programs: "b" (started first, so it holds the start-up hand-over
// socket through which the test drives it) and "a", each with a service
// of its own name.
class DdeClientE2e : public ::testing::Test {
protected:
    const std::string sa = "kestddea" + std::to_string(::getpid());
    const std::string sb = "kestddeb" + std::to_string(::getpid());
    KestProgram a, b;
    std::string saved_runtime;
    bool had_runtime = false;

    void SetUp() override
    {
        if (const char* r = std::getenv("XDG_RUNTIME_DIR")) {
            had_runtime = true;
            saved_runtime = r;
        }
        b.set("dde", "ServiceName", sb);
        a.set("dde", "ServiceName", sa);
        a.share_runtime_with(b);
        ::setenv("XDG_RUNTIME_DIR", b.runtime_dir().c_str(), 1);
        ASSERT_TRUE(b.start({"-noconnect"}));
        ASSERT_TRUE(wait_for([this] { return answers(sb) && answers(kHandOverService); })) << b.output();
        ASSERT_TRUE(a.start({"-noconnect"}));
        ASSERT_TRUE(wait_for([this] { return answers(sa); })) << a.output();
    }
    void TearDown() override
    {
        EXPECT_EQ(a.stop(), 0);
        EXPECT_EQ(b.stop(), 0);
        if (had_runtime)
            ::setenv("XDG_RUNTIME_DIR", saved_runtime.c_str(), 1);
        else
            ::unsetenv("XDG_RUNTIME_DIR");
    }
    // What b makes of a text.
    std::string in_b(const std::string& text) { return ask(kHandOverService, IPC_EVALUATE, text).second; }
    int run_in_b(const std::string& line) { return ask(kHandOverService, IPC_RUN_COMMAND, line).first; }
    std::string in_a(const std::string& text)
    {
        return ask(sa, IPC_DDE, "REQUEST\nEVALUATE\n" + text).second;
    }
};

TEST_F(DdeClientE2e, OneProgramAsksAnother)
{
    const struct {
        std::string text;
        std::string answer;
    } cases[] = {
        {"$dde(" + sa + ", VERSION)", std::string("Kest ") + KEST_VERSION},
        {"$dde(" + sa + ", connected, , 5)", "not connected"},
        // The service's own name as it answers it.
        {"$dde(" + sa + ", EVALUATE, $chr(36) $+ ddename)", sa},
        // A backslash in the item goes over as a slash.
        {"$dde(" + sa + ", EVALUATE, one\\two)", "one/two"},
        // No channel window: an empty answer, which reads as an error.
        {"$dde(" + sa + ", CHANNELS)", "$error"},
        // A topic the service does not have gives no data; a service that
        // does not answer, nothing.
        {"x $dde(" + sa + ", NOSUCHTOPIC) y", "x y"},
        {"x $dde(nobody" + sa + ", VERSION) y", "x y"},
        // The bare form takes three tokens after it, "-d" dropped first.
        {"$dde " + sa + " VERSION x", std::string("Kest ") + KEST_VERSION},
        {"$dde -d " + sa + " EXENAME x", KEST_BINARY},
        {"$isdde(" + sa + ") $isdde(nobody" + sa + ") $isdde(" + sb + ")", "$true $false $true"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(in_b(c.text), c.answer) << c.text;
    // Wrong counts are errors: nothing comes back.
    EXPECT_EQ(in_b("$dde(" + sa + ")"), "");
    EXPECT_EQ(in_b("$dde " + sa + " VERSION"), "");
    EXPECT_TRUE(a.process().running());
    EXPECT_TRUE(b.process().running());
}

TEST_F(DdeClientE2e, OneProgramDrivesAnotherWithQueuedRequests)
{
    // An execute of a command, then a poke of another: both reach a, in order.
    ASSERT_EQ(run_in_b("/dde -e " + sa + " COMMAND /titlebar first from b"), 1);
    ASSERT_EQ(run_in_b("/dde " + sa + " COMMAND ITEM /titlebar then poked from b"), 1);
    EXPECT_TRUE(wait_for([this] { return in_a("$titlebar") == "then poked from b"; })) << in_a("$titlebar");
    // A request whose answer is dropped changes nothing.
    ASSERT_EQ(run_in_b("/dde -r " + sa + " VERSION item"), 1);
    // Missing parts are errors and queue nothing.
    ASSERT_EQ(run_in_b("/dde -e " + sa + " COMMAND"), 0);
    ASSERT_EQ(run_in_b("/dde " + sa), 0);
    ASSERT_EQ(run_in_b("/dde -r " + sa + " VERSION"), 0);
    EXPECT_TRUE(wait_for([this] { return in_a("$titlebar") == "then poked from b"; }));
}

TEST_F(DdeClientE2e, TheServiceIsTurnedOffOnAndRenamed)
{
    const std::string renamed = sb + "x";
    ASSERT_EQ(run_in_b("/ddeserver off"), 1);
    EXPECT_FALSE(answers(sb));
    EXPECT_EQ(in_a("$isdde(" + sb + ")"), "$false");
    ASSERT_EQ(run_in_b("/ddeserver on " + renamed), 1);
    EXPECT_TRUE(answers(renamed));
    EXPECT_FALSE(answers(sb));
    EXPECT_EQ(in_a("$dde(" + renamed + ", EVALUATE, $chr(36) $+ ddename)"), renamed);
    std::string ini = read_file(b.settings() / "kest.ini");
    EXPECT_NE(ini.find("ServiceName=" + renamed), std::string::npos) << ini;
    EXPECT_NE(ini.find("ServerStatus=on"), std::string::npos) << ini;
    // A name another program answers to is not taken; b's service is off.
    ASSERT_EQ(run_in_b("/ddeserver on " + sa), 1);
    EXPECT_FALSE(answers(renamed));
    EXPECT_EQ(in_a("$ddename"), sa);
    // Asking itself, b is answered without a socket of its own.
    ASSERT_EQ(run_in_b("/ddeserver on " + renamed), 1);
    EXPECT_EQ(in_b("$dde(" + renamed + ", EVALUATE, $chr(36) $+ ddename)"), renamed);
}

TEST_F(DdeClientE2e, AConversationIsCachedUntilAnotherServiceOrTheIdleEnd)
{
    std::string answer;
    ASSERT_EQ(dde_client_transaction(sa, "VERSION", "", answer, kDdeRequestAnswer, 5000), 1);
    EXPECT_EQ(answer, std::string("Kest ") + KEST_VERSION);
    EXPECT_EQ(dde_cached_service(), sa);
    EXPECT_EQ(tick_dde_countdown, kDdeIdleSeconds);
    ASSERT_EQ(dde_client_transaction(sb, "VERSION", "", answer, kDdeRequestAnswer, 5000), 1);
    EXPECT_EQ(dde_cached_service(), sb);
    // A service that does not answer: no transaction, nothing cached.
    EXPECT_EQ(dde_client_transaction("nobody" + sa, "VERSION", "", answer, kDdeRequestAnswer, 5000), 0);
    EXPECT_EQ(dde_cached_service(), "");
    // Line ends cannot go into a request.
    EXPECT_EQ(dde_client_transaction(sa, "VERSION\nEXECUTE", "", answer, kDdeRequestAnswer, 5000), 0);
    // The countdown's end closes the conversation.
    dde_client_install();
    ASSERT_EQ(dde_client_transaction(sa, "VERSION", "", answer, kDdeRequestAnswer, 5000), 1);
    EXPECT_EQ(dde_cached_service(), sa);
    for (int i = 0; i < kDdeIdleSeconds; ++i)
        if (tick_countdown_step(tick_dde_countdown))
            tick_dde_due.fire();
    EXPECT_EQ(dde_cached_service(), "");
    dde_client_uninstall();
}

}  // namespace
