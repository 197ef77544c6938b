#include "core/random.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "core/time_date.h"
#include "support/hook_guard.h"

namespace {

std::vector<double> draws(int n)
{
    std::vector<double> v;
    v.reserve(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) v.push_back(rng_next());
    return v;
}

// Fixes the clock and the time zone; restores both afterwards.
class RandomClockTest : public ::testing::Test {
protected:
    HookGuard hooks_;  // every seam back as it was when the test ends

    static std::time_t fixed_now;
    static std::time_t fixed_clock() { return fixed_now; }

    void SetUp() override
    {
        const char* tz = std::getenv("TZ");
        had_tz_ = tz != nullptr;
        if (had_tz_) saved_tz_ = tz;
        time_clock = fixed_clock;
    }
    void TearDown() override
    {
        if (had_tz_)
            setenv("TZ", saved_tz_.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }
    void use_zone(const char* tz)
    {
        setenv("TZ", tz, 1);
        tzset();
    }

private:
    bool had_tz_ = false;
    std::string saved_tz_;
};

std::time_t RandomClockTest::fixed_now = 0;

TEST(Random, MatchesThePublishedTestValues)
{
    // The generator's published check: seeds 1802 and 9373, 20000 draws, then
    // six draws that times 2^24 are these whole numbers.
    ASSERT_EQ(rng_init_seeds(1802, 9373), 0);
    for (int i = 0; i < 20000; ++i) rng_next();
    const long long expected[] = {6533892, 14220222, 7275067, 6172232, 8354498, 10633180};
    for (long long e : expected) {
        const double d = rng_next();
        EXPECT_EQ(std::llround(d / 1e12 * 16777216.0), e);
    }
}

TEST(Random, DrawsAreWholeNumbersInRange)
{
    ASSERT_EQ(rng_init_seeds(12345, 6789), 0);
    const double moduli[] = {1, 2, 6, 100, 65536, 999983};
    double lowest = 1e12, highest = 0;
    for (int i = 0; i < 20000; ++i) {
        const double d = rng_next();
        ASSERT_GE(d, 0.0);
        ASSERT_LT(d, 1e12);
        ASSERT_EQ(d, std::floor(d));
        lowest = std::min(lowest, d);
        highest = std::max(highest, d);
        for (double n : moduli) {
            const double r = std::fmod(d, n);
            ASSERT_GE(r, 0.0);
            ASSERT_LE(r, n - 1);
        }
    }
    // The draws spread over the range.
    EXPECT_LT(lowest, 1e10);
    EXPECT_GT(highest, 99e10);
}

TEST(Random, SameSeedsSameSequence)
{
    ASSERT_EQ(rng_init_seeds(31328, 30081), 0); // the largest seeds are valid
    const std::vector<double> first = draws(500);
    ASSERT_EQ(rng_init_seeds(31328, 30081), 0);
    EXPECT_EQ(draws(500), first);
    ASSERT_EQ(rng_init_seeds(0, 0), 0);
    EXPECT_NE(draws(500), first);
}

TEST(Random, SeedsOutOfRangeLeaveTheGeneratorAlone)
{
    struct Case {
        int ij, kl;
    };
    const Case cases[] = {{-1, 0}, {31329, 0}, {0, -1}, {0, 30082}};
    ASSERT_EQ(rng_init_seeds(100, 200), 0);
    const std::vector<double> reference = draws(50);
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.ij) + "," + std::to_string(c.kl));
        ASSERT_EQ(rng_init_seeds(100, 200), 0);
        draws(10);
        EXPECT_EQ(rng_init_seeds(c.ij, c.kl), -1);
        EXPECT_EQ(draws(40), std::vector<double>(reference.begin() + 10, reference.end()));
    }
}

TEST(Random, SeedsFromTheTimeOfDay)
{
    struct Case {
        int yday, hour, min, sec;
        int ij, kl;
    };
    // ij = (d/86400 + h/3600 + m/60 + s) / 61.0109... * 31328 and
    // kl = (s + 60m + 3600h + 86400d) / 31712460 * 30081, with every field
    // counted from 1.
    const Case cases[] = {
        {0, 0, 0, 0, 522, 85},
        {100, 12, 30, 15, 8483, 8323},
        {365, 23, 59, 59, 31328, 30081},  // the last ordinary second of a leap year
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.yday);
        std::tm tm{};
        tm.tm_yday = c.yday;
        tm.tm_hour = c.hour;
        tm.tm_min = c.min;
        tm.tm_sec = c.sec;
        int ij = -1, kl = -1;
        rng_seeds_from_tm(&tm, ij, kl);
        EXPECT_EQ(ij, c.ij);
        EXPECT_EQ(kl, c.kl);
    }
    // A failed conversion still gives seeds in range.
    for (int i = 0; i < 50; ++i) {
        int ij = -1, kl = -1;
        rng_seeds_from_tm(nullptr, ij, kl);
        EXPECT_GE(ij, 0);
        EXPECT_LE(ij, kRngMaxIj);
        EXPECT_GE(kl, 0);
        EXPECT_LE(kl, kRngMaxKl);
    }
}

TEST(Random, LeapSecondIsClamped)
{
    for (int sec : {60, 61}) {
        SCOPED_TRACE(sec);
        std::tm tm{};
        tm.tm_yday = 365;
        tm.tm_hour = 23;
        tm.tm_min = 59;
        tm.tm_sec = sec;
        int ij = -1, kl = -1;
        rng_seeds_from_tm(&tm, ij, kl);
        // Taken as second 59 of the same minute.
        EXPECT_EQ(ij, kRngMaxIj);
        EXPECT_EQ(kl, kRngMaxKl);
        ASSERT_EQ(rng_init_seeds(ij, kl), 0);
        bool nonzero = false;
        for (int i = 0; i < 100; ++i) nonzero = nonzero || rng_next() != 0;
        EXPECT_TRUE(nonzero);
    }
}

TEST_F(RandomClockTest, TwoStartsInTheSameSecondGiveTheSameDraws)
{
    use_zone("UTC0");
    fixed_now = 1230768000 + 86400 * 40 + 3600 * 7 + 60 * 8 + 9; // 2009-02-10 07:08:09
    rng_init();
    const std::vector<double> first = draws(200);
    rng_init();
    EXPECT_EQ(draws(200), first);
    fixed_now += 1;
    rng_init();
    EXPECT_NE(draws(200), first);

    int ij = -1, kl = -1;
    fixed_now -= 1;
    rng_seed_from_clock(ij, kl);
    std::tm tm{};
    tm.tm_yday = 40;
    tm.tm_hour = 7;
    tm.tm_min = 8;
    tm.tm_sec = 9;
    int want_ij = -2, want_kl = -2;
    rng_seeds_from_tm(&tm, want_ij, want_kl);
    EXPECT_EQ(ij, want_ij);
    EXPECT_EQ(kl, want_kl);
}

TEST_F(RandomClockTest, StartDuringARealLeapSecond)
{
    // The "right/" zones count leap seconds, so the clock reads 23:59:60 at
    // the end of 2016.
    struct stat st;
    if (stat("/usr/share/zoneinfo/right/UTC", &st) != 0) GTEST_SKIP() << "no leap-second zone data";
    use_zone("right/UTC");
    fixed_now = 1483228826;
    std::tm tm{};
    ASSERT_NE(localtime_r(&fixed_now, &tm), nullptr);
    ASSERT_EQ(tm.tm_sec, 60);

    int ij = -1, kl = -1;
    rng_seed_from_clock(ij, kl);
    EXPECT_LE(ij, kRngMaxIj);
    EXPECT_LE(kl, kRngMaxKl);
    rng_init();
    const std::vector<double> v = draws(100);
    int nonzero = 0;
    for (double d : v) {
        EXPECT_LT(d, 1e12);
        nonzero += d != 0;
    }
    EXPECT_GT(nonzero, 90);
}

} // namespace
