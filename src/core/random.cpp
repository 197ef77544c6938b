// The universal random generator of Marsaglia and Zaman.
#include "core/random.h"

#include <cmath>
#include <cstdlib>

#include "core/time_date.h"

namespace {

double g_table[97];
int g_i = 96;
int g_j = 32;
double g_c = 0.0;
double g_cd = 0.0;
double g_cm = 0.0;

} // namespace

void rng_seeds_from_tm(const std::tm* local, int& ij, int& kl)
{
    double s, m, h, d;
    if (local) {
        // A leap second reads as 60 (or 61 in older runtimes); the seed
        // formula is scaled for 59 at most.
        int sec = local->tm_sec;
        if (sec > 59) sec = 59;
        if (sec < 0) sec = 0;
        int min = local->tm_min < 0 ? 0 : (local->tm_min > 59 ? 59 : local->tm_min);
        int hour = local->tm_hour < 0 ? 0 : (local->tm_hour > 23 ? 23 : local->tm_hour);
        int yday = local->tm_yday < 0 ? 0 : (local->tm_yday > 365 ? 365 : local->tm_yday);
        s = sec + 1;
        m = min + 1;
        h = hour + 1;
        d = yday + 1;
    } else {
        s = 1 + std::rand() % 59;
        m = 1 + std::rand() % 59;
        h = 1 + std::rand() % 23;
        d = 1 + std::rand() % 359;
    }
    const double f = d / 24 / 60 / 60 + h / 60 / 60 + m / 60 + s;
    ij = static_cast<int>(f / 61.01090277777778 * kRngMaxIj);
    const double t = s + 60 * m + 3600 * h + 86400 * d;
    kl = static_cast<int>(t / 31712460 * kRngMaxKl);
    if (ij > kRngMaxIj) ij = kRngMaxIj;
    if (kl > kRngMaxKl) kl = kRngMaxKl;
}

void rng_seed_from_clock(int& ij, int& kl)
{
    const std::time_t now = time_clock ? time_clock() : std::time(nullptr);
    std::tm tm{};
    const bool ok = localtime_r(&now, &tm) != nullptr;
    rng_seeds_from_tm(ok ? &tm : nullptr, ij, kl);
}

int rng_init_seeds(int ij, int kl)
{
    if (ij < 0 || ij > kRngMaxIj || kl < 0 || kl > kRngMaxKl) return -1;
    int i = (ij / 177) % 177 + 2;
    int j = ij % 177 + 2;
    int k = (kl / 169) % 178 + 1;
    int l = kl % 169;
    for (double& entry : g_table) {
        double s = 0.0;
        double t = 0.5;
        for (int n = 0; n < 24; ++n) {
            const int m = (((i * j) % 179) * k) % 179;
            i = j;
            j = k;
            k = m;
            l = (53 * l + 1) % 169;
            if ((l * m) % 64 >= 32) s += t;
            t *= 0.5;
        }
        entry = s;
    }
    g_c = 362436.0 / 16777216.0;
    g_cd = 7654321.0 / 16777216.0;
    g_cm = 16777213.0 / 16777216.0;
    g_i = 96;
    g_j = 32;
    return 0;
}

int rng_init()
{
    int ij = 0, kl = 0;
    rng_seed_from_clock(ij, kl);
    rng_init_seeds(ij, kl);
    return 0;
}

double rng_next()
{
    double u = g_table[g_i] - g_table[g_j];
    if (u < 0.0) u += 1.0;
    g_table[g_i] = u;
    if (--g_i < 0) g_i = 96;
    if (--g_j < 0) g_j = 96;
    g_c -= g_cd;
    if (g_c < 0.0) g_c += g_cm;
    u -= g_c;
    if (u < 0.0) u += 1.0;
    return std::floor(u * 1e12);
}
