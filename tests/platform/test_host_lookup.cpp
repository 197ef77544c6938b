#include "platform/app_messages.h"
#include "platform/host_lookup.h"
#include "platform_test_env.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <map>
#include <string>

namespace {

struct Done {
    int message;
    intptr_t word;
    bool taken;
    HostLookupResult result;
};

class HostLookup : public ::testing::Test
{
protected:
    void SetUp() override
    {
        platform_test_app();
        app_messages_set_frame(nullptr);
        app_messages_set_handler([this](int m, uintptr_t w, intptr_t l) -> intptr_t {
            Done d{m, l, false, {}};
            d.taken = host_lookup_take(static_cast<int>(w), d.result) == 1;
            done[static_cast<int>(w)] = d;
            ++delivered[static_cast<int>(w)];
            return 0;
        });
    }
    void TearDown() override
    {
        host_lookup_cancel_all();
        pump_for(5);
        app_messages_set_handler(nullptr);
    }
    bool wait(int handle, int timeout = 20000)
    {
        return pump_until([=, this] { return done.count(handle) > 0; }, timeout);
    }
    static std::vector<std::string> texts(const HostLookupResult &r)
    {
        std::vector<std::string> out;
        for (const SockAddr &a : r.addresses)
            out.push_back(sockaddr_ip_text(a));
        return out;
    }
    std::map<int, Done> done;
    std::map<int, int> delivered;
};

TEST_F(HostLookup, ResolvesNamesAndNumericAddressesOfBothFamilies)
{
    struct Case {
        const char *name;
        int family;
        const char *must_hold;
        int address_family;
    } cases[] = {
        {"localhost", AF_INET, "127.0.0.1", AF_INET},
        {"localhost", AF_UNSPEC, "127.0.0.1", 0},
        {"127.0.0.1", AF_UNSPEC, "127.0.0.1", AF_INET},
        {"::1", AF_UNSPEC, "::1", AF_INET6},
        {"::1", AF_INET6, "::1", AF_INET6},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.name) + " family " + std::to_string(c.family));
        int h = host_lookup_start(c.name, WM_APP_HOST_LOOKUP_DONE, c.family);
        ASSERT_GT(h, 0);
        ASSERT_TRUE(wait(h));
        const Done &d = done[h];
        EXPECT_EQ(d.message, WM_APP_HOST_LOOKUP_DONE);
        EXPECT_EQ(host_lookup_error(d.word), 0);
        ASSERT_TRUE(d.taken);
        EXPECT_EQ(d.result.error, 0);
        EXPECT_FALSE(d.result.name.empty());
        EXPECT_EQ(host_lookup_count(d.word), static_cast<int>(d.result.addresses.size()));
        auto list = texts(d.result);
        EXPECT_NE(std::find(list.begin(), list.end(), c.must_hold), list.end());
        for (const SockAddr &a : d.result.addresses) {
            if (c.address_family) {
                EXPECT_EQ(sockaddr_family(a), c.address_family);
            }
        }
    }
}

TEST_F(HostLookup, NamesThatCannotBeHostsFailThroughTheSamePath)
{
    const std::string cases[] = {"", "bad name", "tab\tname", std::string(300, 'a'), "nul\x01name"};
    for (const std::string &name : cases) {
        SCOPED_TRACE(name.substr(0, 20));
        int h = host_lookup_start(name, WM_APP_SERVER_RESOLVED);
        ASSERT_GT(h, 0);
        ASSERT_TRUE(wait(h, 30000));
        EXPECT_EQ(host_lookup_error(done[h].word), WSAHOST_NOT_FOUND);
        EXPECT_EQ(host_lookup_count(done[h].word), 0);
        EXPECT_TRUE(done[h].result.addresses.empty());
    }
}

TEST_F(HostLookup, AnUnknownNameReportsAnError)
{
    int h = host_lookup_start("no-such-host.invalid", WM_APP_HOST_LOOKUP_DONE);
    ASSERT_GT(h, 0);
    ASSERT_TRUE(wait(h, 60000));
    int err = host_lookup_error(done[h].word);
    EXPECT_TRUE(err == WSAHOST_NOT_FOUND || err == WSATRY_AGAIN || err == WSANO_DATA || err == WSANO_RECOVERY) << err;
}

TEST_F(HostLookup, ReverseLookupOfLoopbackGivesAName)
{
    int h = host_lookup_reverse_start("127.0.0.1", WM_APP_HOST_LOOKUP_DONE);
    ASSERT_GT(h, 0);
    ASSERT_TRUE(wait(h));
    EXPECT_EQ(host_lookup_error(done[h].word), 0);
    EXPECT_FALSE(done[h].result.name.empty());
    ASSERT_EQ(done[h].result.addresses.size(), 1u);

    int bad = host_lookup_reverse_start("not-an-address", WM_APP_HOST_LOOKUP_DONE);
    ASSERT_TRUE(wait(bad));
    EXPECT_EQ(host_lookup_error(done[bad].word), WSAHOST_NOT_FOUND);
}

TEST_F(HostLookup, ACancelledLookupIsNeverDelivered)
{
    int cancelled[8];
    for (int &h : cancelled) {
        h = host_lookup_start("localhost", WM_APP_HOST_LOOKUP_DONE);
        ASSERT_GT(h, 0);
        EXPECT_EQ(host_lookup_cancel(h), 0);
    }
    int kept = host_lookup_start("127.0.0.1", WM_APP_HOST_LOOKUP_DONE);
    ASSERT_TRUE(wait(kept));
    pump_for(200);
    for (int h : cancelled)
        EXPECT_EQ(done.count(h), 0u) << h;
    EXPECT_EQ(host_lookup_cancel(cancelled[0]), SOCKET_ERROR); // already gone
    EXPECT_EQ(host_lookup_cancel(kept), SOCKET_ERROR);         // already delivered
}

TEST_F(HostLookup, ResultsAreFreedOnceDeliveredEvenWhenNotTaken)
{
    app_messages_set_handler([this](int, uintptr_t w, intptr_t) -> intptr_t {
        ++delivered[static_cast<int>(w)];
        return 0;
    });
    int handles[5];
    for (int &h : handles)
        h = host_lookup_start("127.0.0.1", WM_APP_LOCAL_HOST_RESOLVED);
    ASSERT_TRUE(pump_until(
        [&] {
            return std::all_of(std::begin(handles), std::end(handles), [this](int h) { return delivered[h] == 1; });
        },
        20000));
    EXPECT_EQ(host_lookup_pending(), 0);
    HostLookupResult r;
    EXPECT_EQ(host_lookup_take(handles[0], r), 0);
    // Handles in use are distinct.
    std::vector<int> sorted(std::begin(handles), std::end(handles));
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(std::adjacent_find(sorted.begin(), sorted.end()), sorted.end());
}

TEST_F(HostLookup, RefusesAnUnknownFamily)
{
    EXPECT_EQ(host_lookup_start("localhost", WM_APP_HOST_LOOKUP_DONE, 12345), 0);
    EXPECT_EQ(sock_last_error(), WSAEAFNOSUPPORT);
}

} // namespace
