// SSL checks that need no server: certificate names against hosts, the host
// check's choice between subjectAltName and common name, expiry dates, the
// cache of accepted certificates and a missing OpenSSL.
#include <gtest/gtest.h>

#include <string>

#include "irc/ssl/ssl_api.h"
#include "irc/ssl/ssl_checks.h"
#include "irc/ssl/ssl_link.h"
#include "support/test_support.h"

namespace {

TEST(SslNames, ACertificateNameMatchesTheHostAsWrittenOrWithOneWildLabel)
{
    struct Case {
        const char* name;
        const char* host;
        int match;
    };
    const Case cases[] = {
        {"irc.example.org", "irc.example.org", 1},
        {"IRC.Example.ORG", "irc.example.org", 1},
        {"irc.example.org", "irc.example.org.evil", 0},
        {"irc.example.or", "irc.example.org", 0},
        {"*.example.org", "irc.example.org", 1},
        {"*.example.org", "example.org", 0},        // not the bare domain
        {"*.example.org", "a.irc.example.org", 0},  // not two more labels
        {"*.example.org", ".example.org", 0},       // an empty label is none
        {"*.", "irc.", 0},
        {"", "irc.example.org", 0},
        {"irc.example.org", "", 0},
        {"*example.org", "irc.example.org", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " / " + c.host);
        EXPECT_EQ(ssl_cert_name_match(c.name, c.host), c.match);
    }
}

// With subjectAltName entries the common name is not looked at; without
// them it is.
TEST(SslNames, TheHostCheckPrefersSubjectAltNameToTheCommonName)
{
    struct Case {
        const char* what;
        const char* cn;
        std::vector<std::string> dns;
        std::vector<std::string> ip;
        const char* host;
        int match;
    };
    const Case cases[] = {
        {"name only in the DNS entries", "wrong.example", {"irc.test"}, {}, "irc.test", 1},
        {"common name ignored beside DNS entries", "irc.test", {"other.test"}, {}, "irc.test", 0},
        {"common name ignored beside an IP entry", "127.0.0.1", {}, {"10.0.0.1"}, "127.0.0.1", 0},
        {"address in an IP entry", "wrong.example", {}, {"127.0.0.1"}, "127.0.0.1", 1},
        {"wild DNS entry", "", {"*.test"}, {}, "irc.test", 1},
        {"no entries: the common name", "irc.test", {}, {}, "irc.test", 1},
        {"no entries, common name differs", "irc.test", {}, {}, "irc2.test", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SslCertRecord r;
        r.subject[2] = c.cn;
        r.dns_names = c.dns;
        r.ip_names = c.ip;
        EXPECT_EQ(ssl_cert_host_matches(r, c.host), c.match);
    }
}

TEST(SslDates, AnEndDateBeforeTodayIsExpiredAndTodayIsNot)
{
    std::time_t now = std::time(nullptr);
    struct tm t{};
    localtime_r(&now, &t);
    const int y = t.tm_year + 1900, m = t.tm_mon + 1, d = t.tm_mday;
    EXPECT_EQ(ssl_date_expired(y, m, d), 0);
    EXPECT_EQ(ssl_date_expired(y + 1, 1, 1), 0);
    EXPECT_EQ(ssl_date_expired(y - 1, 12, 31), 1);
    // Two-digit years below 50 are 20xx, the others 19xx.
    EXPECT_EQ(ssl_date_expired(49, 12, 31), 0);
    EXPECT_EQ(ssl_date_expired(99, 12, 31), 1);
}

struct SslCache : ::testing::Test {
    TempSettingsDir settings{"kest-sslcache"};
    static std::string fp(int i)
    {
        char buf[48];
        std::snprintf(buf, sizeof buf, "%040X", i);
        return buf;
    }
};

TEST_F(SslCache, NewestFirstWithoutDuplicatesAndAtMostOneHundred)
{
    ASSERT_TRUE(settings.made());
    EXPECT_EQ(ssl_cache_any(), 0);
    EXPECT_EQ(ssl_cache_has(fp(1)), 0);
    for (int i = 0; i <= kSslCacheMax; ++i)
        ssl_cache_add(fp(i));
    ssl_cache_add(fp(kSslCacheMax)); // repeated: stays one entry
    EXPECT_EQ(ssl_cache_any(), 1);
    EXPECT_EQ(ssl_cache_has(fp(kSslCacheMax)), 1);
    EXPECT_EQ(ssl_cache_has(fp(1)), 1);
    EXPECT_EQ(ssl_cache_has(fp(0)), 0) << "the oldest of 101 must go";
    std::string first, last, beyond;
    ini_read("sslcache", "n0", "", first, 306, main_ini_path);
    ini_read("sslcache", "n99", "", last, 306, main_ini_path);
    ini_read("sslcache", "n100", "", beyond, 306, main_ini_path);
    EXPECT_EQ(first, fp(kSslCacheMax));
    EXPECT_EQ(last, fp(1));
    EXPECT_EQ(beyond, "");
    EXPECT_EQ(ssl_cache_has(std::string()), 0);
    ssl_cache_clear();
    EXPECT_EQ(ssl_cache_any(), 0);
    EXPECT_EQ(ssl_cache_has(fp(kSslCacheMax)), 0);
}

// Without the libraries SSL is unavailable, and links refuse SSL calls.
TEST(SslLibrary, MissingLibrariesLeaveSslUnavailable)
{
    TempSettingsDir settings{"kest-ssllib"};
    ssl_unload();
    const char* saved[2] = {ssl_library_names[0], ssl_library_names[1]};
    ssl_library_names[0] = "libkest-no-such-crypto.so.3";
    EXPECT_EQ(ssl_load_library(), 0);
    EXPECT_EQ(ssl_available(), 0);
    char buf[8];
    EXPECT_EQ(ssl_write(5, "x", 1), -2);
    EXPECT_EQ(ssl_read(5, buf, sizeof buf), -2);
    EXPECT_EQ(ssl_start(5, kSslOwnerServer, "h", 1), 0);
    ssl_library_names[0] = saved[0];
    ssl_library_names[1] = saved[1];
    EXPECT_EQ(ssl_load_library(), 1);
    EXPECT_EQ(ssl_load_library(), 1); // a second load keeps the first
    EXPECT_EQ(ssl_available(), 1);
    EXPECT_EQ(ssl_write(5, "x", 0), 0);
    EXPECT_EQ(ssl_read(5, buf, 0), 0);
    EXPECT_EQ(ssl_write(5, "x", 1), -2) << "no link for that socket";
}

// Nobody loads the libraries ahead: the first question loads them, a load
// that failed is not tried again on every question, and after a release the
// next question loads them again.
TEST(SslLibrary, TheLibrariesAreLoadedOnFirstUse)
{
    TempSettingsDir settings{"kest-ssllazy"};
    const char* saved[2] = {ssl_library_names[0], ssl_library_names[1]};
    ssl_unload();
    ssl_library_names[0] = "libkest-no-such-crypto.so.3";
    EXPECT_EQ(ssl_available(), 0);  // tried now, and failed
    ssl_library_names[0] = saved[0];
    EXPECT_EQ(ssl_available(), 0);  // not tried again
    EXPECT_EQ(ssl_available(), 0);
    ssl_unload();
    EXPECT_EQ(ssl_available(), 1);  // loaded by the question alone
    EXPECT_EQ(ssl_available(), 1);
    char buf[8];
    EXPECT_EQ(ssl_read(5, buf, 0), 0);
    ssl_library_names[1] = saved[1];
}

} // namespace
