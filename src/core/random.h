// The program's own random generator: the universal generator of Marsaglia
// and Zaman (a lagged Fibonacci generator over a 97-entry table, combined
// with an arithmetic sequence). It is seeded once at start-up from the clock
// and then only advanced. Users reduce a draw to their range with the
// floating-point remainder (fmod(draw, N) is a whole number 0 .. N-1).
#pragma once

#include <ctime>

// Seed ranges.
constexpr int kRngMaxIj = 31328;
constexpr int kRngMaxKl = 30081;

// Derives the two seeds from a broken-down local time (null: the conversion
// failed, and the C library's generator stands in for the clock). A leap
// second (tm_sec 60 or 61) is taken as second 59, so the seeds always fall
// within 0..kRngMaxIj and 0..kRngMaxKl.
void rng_seeds_from_tm(const std::tm* local, int& ij, int& kl);

// Derives the two seeds from the local time of now (time_clock of
// time_date.h).
void rng_seed_from_clock(int& ij, int& kl);

// Fills the table from two seeds. A seed outside its range leaves the
// generator as it was and returns -1; otherwise 0.
int rng_init_seeds(int ij, int kl);

// Seeds from the clock and fills the table; called once at start-up.
// Returns 0.
int rng_init();

// The next draw: a whole number from 0 to 10^12 - 1. Before the table is
// filled every draw is 0.
double rng_next();
