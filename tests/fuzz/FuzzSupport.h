// Shared pieces of the fuzz tests: a seeded generator, the run settings, mutation helpers.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

// SplitMix64: small, fast, and the same sequence on every platform for a given seed.
// Failures recorded so far in the running test: the fuzz loops stop after a few.
inline int FailureCount()
{
    return ::testing::UnitTest::GetInstance()->current_test_info()->result()->total_part_count();
}

class FuzzRandom {
public:
    explicit FuzzRandom(uint64_t seed) : state_(seed) {}

    uint64_t Next()
    {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // 0 when n is 0.
    size_t Below(size_t n) { return n ? static_cast<size_t>(Next() % n) : 0; }
    bool OneIn(size_t n) { return Below(n) == 0; }
    template <class T, size_t N>
    const T& Pick(const T (&items)[N])
    {
        return items[Below(N)];
    }

private:
    uint64_t state_;
};

// Cases per fuzz test: ZEB_FUZZ_ITERATIONS, else the short CI default.
inline int FuzzIterations(int ciDefault)
{
    const char* value = getenv("ZEB_FUZZ_ITERATIONS");
    return value && *value ? atoi(value) : ciDefault;
}

// Case i runs with seed first + i; ZEB_FUZZ_SEED (decimal or 0x...) sets `first`, so a
// failing case is replayed with ZEB_FUZZ_SEED=<its seed> ZEB_FUZZ_ITERATIONS=1.
inline uint64_t FuzzFirstSeed(uint64_t ciDefault)
{
    const char* value = getenv("ZEB_FUZZ_SEED");
    return value && *value ? strtoull(value, nullptr, 0) : ciDefault;
}

inline std::string SeedText(uint64_t seed)
{
    char text[32];
    snprintf(text, sizeof(text), "seed 0x%llx", static_cast<unsigned long long>(seed));
    return text;
}

// Failing cases reported before a fuzz test gives up, so that one fault does not flood the log.
const int kMaxReportedCases = 20;

struct FuzzTally {
    uint64_t first = 0;
    int run = 0;
    int succeeded = 0;
};

// Runs the cases (FuzzIterations from FuzzFirstSeed), stopping after kMaxReportedCases
// whose checks failed: `runCase(random, &bytes)` mutates, runs and checks one case and
// gives its result and its input's size; a failed case prints them with `name` and its seed.
template <typename Case>
FuzzTally RunFuzzCases(const char* name, int ciCases, uint64_t ciFirstSeed, Case runCase)
{
    FuzzTally tally;
    tally.first = FuzzFirstSeed(ciFirstSeed);
    const int iterations = FuzzIterations(ciCases);
    for (int failedCases = 0; tally.run < iterations && failedCases < kMaxReportedCases; ++tally.run) {
        const uint64_t seed = tally.first + tally.run;
        SCOPED_TRACE(SeedText(seed));
        FuzzRandom random(seed);
        const int failuresBefore = FailureCount();
        size_t bytes = 0;
        const HRESULT result = runCase(random, &bytes);
        tally.succeeded += result == S_OK;
        if (FailureCount() != failuresBefore) {
            ++failedCases;
            printf("%s fuzz: %s failed (%zu bytes, result 0x%08lx)\n", name, SeedText(seed).c_str(), bytes,
                   static_cast<unsigned long>(result));
        }
    }
    return tally;
}

// Generic byte mutations, shared by both fuzz tests.
inline void FlipBit(std::string& data, FuzzRandom& random)
{
    if (!data.empty())
        data[random.Below(data.size())] ^= static_cast<char>(1 << random.Below(8));
}

inline void Truncate(std::string& data, FuzzRandom& random)
{
    data.resize(random.Below(data.size() + 1));
}

inline void InsertAt(std::string& data, FuzzRandom& random, const std::string& piece)
{
    data.insert(random.Below(data.size() + 1), piece);
}

inline std::string Junk(FuzzRandom& random, size_t size)
{
    std::string junk(size, '\0');
    for (char& ch : junk)
        ch = static_cast<char>(random.Next());
    return junk;
}
