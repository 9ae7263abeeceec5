// The batched Monte Carlo loop against the reference loop: same win counts and the generator
// left at the same position, for every kernel variant, across arms that exercise both
// algorithms, equal arms, certain arms and huge counts.
#include "promotion/count_wins_batched.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "isa/cpu_level.hpp"
#include "isa/kernel_table.hpp"
#include "promotion/count_wins.hpp"

namespace velmora::promotion {
namespace {

// A posterior as the estimate builds it: Beta(successes + 1, failures + 1).
BetaSampler posterior(double successes, double failures) {
    return *BetaSampler::create(successes + 1.0, failures + 1.0);
}

struct Arms {
    const char* name;
    double champion_successes;
    double champion_failures;
    double challenger_successes;
    double challenger_failures;
};

const Arms ARMS[] = {
    {"bb_typical", 10, 8, 15, 5},
    {"both_uniform", 0, 0, 0, 0},
    {"bc_against_bb", 0, 7, 3, 3},
    {"all_success_against_all_failure", 25, 0, 0, 25},
    {"all_failure_against_all_success", 0, 25, 25, 0},
    {"one_each", 1, 0, 0, 1},
    {"equal_arms", 40, 60, 40, 60},
    {"mirrored_arms", 30, 10, 10, 30},
    {"large_close", 5000, 5000, 5100, 4900},
    {"huge_counts", 4294967295.0, 1e9, 3e9, 4294967296.0},
    {"huge_against_empty", 1e12, 1e12, 0, 0},
    {"certain_huge_arms", 4e9, 0, 0, 1e15},
};

std::string level_name(CpuLevel level) {
    std::string name(to_string(level));
    std::erase(name, '.');
    return name;
}

class count_wins_batched_test : public ::testing::TestWithParam<std::tuple<CpuLevel, Arms>> {
protected:
    void SetUp() override {
        if (!cpu_supports(level())) {
            GTEST_SKIP() << "this processor cannot run the " << to_string(level()) << " variant";
        }
    }
    CpuLevel level() const { return std::get<0>(GetParam()); }
    const Arms& arms() const { return std::get<1>(GetParam()); }
    BetaSampler champion() const {
        return posterior(arms().champion_successes, arms().champion_failures);
    }
    BetaSampler challenger() const {
        return posterior(arms().challenger_successes, arms().challenger_failures);
    }
};

// After the call both generators must hand out the same words: the batched loop draws ahead,
// and must give back exactly what the reference loop would not have drawn.
void expect_same_position(ChaChaRng& expected, ChaChaRng& actual) {
    for (int i = 0; i < 70; ++i) {
        ASSERT_EQ(actual.next_u64(), expected.next_u64()) << "word " << i << " after the loop";
    }
}

TEST_P(count_wins_batched_test, same_wins_and_position_as_the_reference) {
    const VectorKernels& kernels = vector_kernels_for(level());
    const BetaSampler c = champion();
    const BetaSampler h = challenger();
    for (const std::uint32_t samples : {0u, 1u, 2u, 3u, 17u, 255u, 1000u, 4099u}) {
        for (const std::uint64_t seed : {0ull, 1ull, 42ull, 0xFFFFFFFFFFFFFFFFull}) {
            auto reference_rng = ChaChaRng::from_seed(seed);
            auto batched_rng = ChaChaRng::from_seed(seed);
            ASSERT_EQ(count_wins_batched(c, h, samples, batched_rng, kernels),
                      count_wins(c, h, samples, reference_rng))
                << samples << " samples, seed " << seed;
            expect_same_position(reference_rng, batched_rng);
        }
    }
}

// Consecutive calls on one generator, as the interruptible estimate makes them, starting at
// generator positions that are not at a refill boundary.
TEST_P(count_wins_batched_test, consecutive_calls_continue_the_stream) {
    const VectorKernels& kernels = vector_kernels_for(level());
    const BetaSampler c = champion();
    const BetaSampler h = challenger();
    auto reference_rng = ChaChaRng::from_seed(2718);
    auto batched_rng = ChaChaRng::from_seed(2718);
    for (const std::uint32_t samples : {1u, 5u, 300u, 0u, 77u, 2000u, 9u}) {
        ASSERT_EQ(count_wins_batched(c, h, samples, batched_rng, kernels),
                  count_wins(c, h, samples, reference_rng))
            << samples << " samples";
    }
    expect_same_position(reference_rng, batched_rng);
}

// The interruptible loop: the plain count and position when never stopped, one check for each
// multiple of the interval reached with iterations left, and nothing from the check that stops.
TEST(count_wins_batched_interrupt_test, checks_at_every_interval_and_stops_when_told) {
    const BetaSampler c = posterior(10, 8);
    const BetaSampler h = posterior(15, 5);
    struct Case {
        std::uint32_t samples;
        std::uint32_t interval;
        int checks;
    };
    for (const Case k :
         {Case{0, 128, 0}, Case{1, 128, 0}, Case{128, 128, 0}, Case{129, 128, 1}, Case{130, 128, 1},
          Case{1000, 128, 7}, Case{4099, 1000, 4}, Case{3 * 65536 + 2, 65536, 3}}) {
        int checks = 0;
        auto never_stop = [&checks] {
            ++checks;
            return false;
        };
        auto reference_rng = ChaChaRng::from_seed(k.samples);
        auto batched_rng = ChaChaRng::from_seed(k.samples);
        const auto wins = count_wins_batched(c, h, k.samples, batched_rng, never_stop, k.interval);
        ASSERT_TRUE(wins.has_value()) << k.samples;
        EXPECT_EQ(*wins, count_wins(c, h, k.samples, reference_rng)) << k.samples;
        EXPECT_EQ(checks, k.checks) << k.samples << " samples, every " << k.interval;
        expect_same_position(reference_rng, batched_rng);

        for (int stop_at = 1; stop_at <= k.checks; ++stop_at) {
            int asked = 0;
            auto stop_then = [&asked, stop_at] { return ++asked == stop_at; };
            auto rng = ChaChaRng::from_seed(k.samples);
            EXPECT_FALSE(count_wins_batched(c, h, k.samples, rng, stop_then, k.interval));
            EXPECT_EQ(asked, stop_at);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(levels_and_arms, count_wins_batched_test,
                         ::testing::Combine(::testing::ValuesIn(ALL_CPU_LEVELS),
                                            ::testing::ValuesIn(ARMS)),
                         [](const auto& info) {
                             return level_name(std::get<0>(info.param)) + "_" +
                                    std::get<1>(info.param).name;
                         });

// Shapes no posterior has (below 1, extreme, subnormal): their attempts overflow exp, divide by
// infinity or produce NaN, which sends lanes through the scalar fallbacks.
TEST(count_wins_batched_shapes_test, extreme_shapes_match_the_reference) {
    const std::pair<double, double> shapes[] = {
        {0.5, 0.5},    {0.001, 1e6},  {1e6, 0.001},    {1e300, 1e300},
        {1e-310, 3.0}, {2.0, 1e-320}, {1e-300, 1e300}, {1.5, 1.5},
    };
    for (const auto& [c1, c2] : shapes) {
        for (const auto& [h1, h2] : shapes) {
            const BetaSampler c = *BetaSampler::create(c1, c2);
            const BetaSampler h = *BetaSampler::create(h1, h2);
            for (const CpuLevel level : ALL_CPU_LEVELS) {
                if (!cpu_supports(level)) {
                    continue;
                }
                auto reference_rng = ChaChaRng::from_seed(5);
                auto batched_rng = ChaChaRng::from_seed(5);
                ASSERT_EQ(count_wins_batched(c, h, 300, batched_rng, vector_kernels_for(level)),
                          count_wins(c, h, 300, reference_rng))
                    << "Beta(" << c1 << ", " << c2 << ") vs Beta(" << h1 << ", " << h2 << "), "
                    << to_string(level);
                expect_same_position(reference_rng, batched_rng);
            }
        }
    }
}

// Random arms and seeds with the process's own kernels: the wide net behind the table above.
TEST(count_wins_batched_random_test, matches_the_reference_on_random_arms) {
    std::mt19937_64 random(99);
    const auto count = [&](int mode) -> double {
        switch (mode) {
        case 0:
            return 0;
        case 1:
            return static_cast<double>(random() % 5);
        case 2:
            return static_cast<double>(random() % 200);
        default:
            return static_cast<double>(random() >> (random() % 64));
        }
    };
    for (int trial = 0; trial < 400; ++trial) {
        const BetaSampler c = posterior(count(trial % 4), count((trial / 4) % 4));
        const BetaSampler h =
            posterior(count((trial / 16) % 4), count(static_cast<int>(random() % 4)));
        const auto samples = static_cast<std::uint32_t>(random() % 3000);
        const std::uint64_t seed = random();
        auto reference_rng = ChaChaRng::from_seed(seed);
        auto batched_rng = ChaChaRng::from_seed(seed);
        ASSERT_EQ(count_wins_batched(c, h, samples, batched_rng),
                  count_wins(c, h, samples, reference_rng))
            << "trial " << trial << ": Beta(" << c.a() << ", " << c.b() << ") vs Beta(" << h.a()
            << ", " << h.b() << "), " << samples << " samples, seed " << seed;
        expect_same_position(reference_rng, batched_rng);
    }
}

} // namespace
} // namespace velmora::promotion
