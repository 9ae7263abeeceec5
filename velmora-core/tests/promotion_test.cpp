// Success counting, the posterior estimate and the promotion rule, against worked results and
// the known-good vectors in data/posterior.tsv and data/decision.tsv.
#include <gtest/gtest.h>

#include <sys/mman.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <vector>

#include "failure/internal_failure.hpp"
#include "generator/chacha_rng.hpp"
#include "promotion/arm_counts.hpp"
#include "promotion/posterior_probability.hpp"
#include "promotion/promotion_decision.hpp"
#include "test_support.hpp"

namespace velmora::promotion {

// Readable failure messages; found by argument-dependent lookup, so not in the unnamed namespace.
void PrintTo(const ArmCounts& counts, std::ostream* out) {
    *out << "{successes " << counts.successes << ", failures " << counts.failures << "}";
}
void PrintTo(const Decision& decision, std::ostream* out) {
    *out << "{" << decision.outcome << ", " << decision.posterior << ", " << decision.sessions_each
         << "}";
}

namespace {

constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double inf = std::numeric_limits<double>::infinity();

// An arm of `successes` scores of 0.7 followed by `failures` scores of 0.1.
std::vector<double> arm(std::uint64_t successes, std::uint64_t failures) {
    std::vector<double> scores(successes, 0.7);
    scores.insert(scores.end(), failures, 0.1);
    return scores;
}

std::vector<double> repeat(double score, std::size_t count) {
    return std::vector<double>(count, score);
}

double estimate(std::span<const double> champion, std::span<const double> challenger,
                std::uint32_t samples, std::uint64_t seed) {
    ChaChaRng generator = ChaChaRng::from_seed(seed);
    return posterior_probability(champion, challenger, samples, generator);
}

std::uint64_t to_u64(const std::string& text) {
    return test::parse_u64(text, 10);
}

TEST(count_successes_test, threshold_is_inclusive_and_nan_fails) {
    const std::vector<double> scores{0.5, 0.49999999999999994, nan, 1.0, -inf, inf, -0.0};
    EXPECT_EQ(count_successes(scores), (ArmCounts{3, 4}));
    EXPECT_EQ(count_successes({}), (ArmCounts{0, 0}));
}

// 2^32 + 1 scores would need 32 GiB; an untouched anonymous mapping reads as zeros without
// taking memory, so only the page with the one success is real.
TEST(count_successes_test, counts_an_arm_of_more_than_2_pow_32_scores) {
    constexpr std::uint64_t count = (std::uint64_t{1} << 32) + 1;
    const std::size_t bytes = count * sizeof(double);
    void* memory = mmap(nullptr, bytes, PROT_READ | PROT_WRITE,
                        MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (memory == MAP_FAILED) {
        GTEST_SKIP() << "cannot reserve " << bytes << " bytes of address space";
    }
    // Huge zero pages, where the kernel offers them, make reading the zeros much cheaper.
    madvise(memory, bytes, MADV_HUGEPAGE);
    auto* scores = static_cast<double*>(memory);
    scores[0] = 1.0;
    const ArmCounts counts = count_successes(std::span<const double>(scores, count));
    munmap(memory, bytes);
    EXPECT_EQ(counts, (ArmCounts{1, std::uint64_t{1} << 32}));
}

struct WorkedPosterior {
    std::vector<double> champion;
    std::vector<double> challenger;
    std::uint32_t samples;
    std::uint64_t seed;
    double expected;
};

TEST(posterior_probability_test, worked_results) {
    const std::vector<WorkedPosterior> cases{
        {{0.9, 0.2, 0.7, 0.6}, {0.1, 0.8}, 200, 0, 0.24},
        {{}, {}, 50, 1, 0.6},
        {arm(12, 8), arm(15, 5), 500, 123, 0.838},
        {repeat(1.0, 10), repeat(0.0, 10), 100, 7, 0.0},
        {repeat(0.0, 10), repeat(1.0, 10), 100, 7, 1.0},
        {{0.5, nan}, {0.5, 0.5}, 100, 9, 0.82},
    };
    for (const WorkedPosterior& c : cases) {
        EXPECT_EQ(estimate(c.champion, c.challenger, c.samples, c.seed), c.expected)
            << "samples " << c.samples << ", seed " << c.seed;
    }
}

TEST(posterior_probability_test, zero_samples_give_nan) {
    EXPECT_TRUE(std::isnan(estimate(arm(3, 4), arm(5, 6), 0, 1)));
}

TEST(posterior_probability_test, matches_every_vector) {
    const auto rows = test::read_table("posterior.tsv");
    ASSERT_GT(rows.size(), 200u);
    for (const auto& row : rows) {
        ASSERT_EQ(row.size(), 7u);
        const double result =
            estimate(arm(to_u64(row[0]), to_u64(row[1])), arm(to_u64(row[2]), to_u64(row[3])),
                     static_cast<std::uint32_t>(to_u64(row[4])), to_u64(row[5]));
        EXPECT_TRUE(test::same_double(test::parse_double(row[6]), result))
            << row[0] << ' ' << row[1] << ' ' << row[2] << ' ' << row[3] << ' ' << row[4] << ' '
            << row[5];
    }
}

// Crossing chunk boundaries must not change the result, and the check runs between chunks.
TEST(posterior_probability_test, interruptible_estimate_equals_plain_one) {
    const auto champion = arm(11, 9);
    const auto challenger = arm(16, 6);
    struct Case {
        std::uint32_t samples;
        int checks;
    };
    for (const Case c : {Case{0, 0}, Case{65536, 0}, Case{65537, 1}, Case{3 * 65536 + 5, 3}}) {
        int checks = 0;
        auto never_stop = [&checks] {
            ++checks;
            return false;
        };
        ChaChaRng generator = ChaChaRng::from_seed(99);
        const std::optional<double> result =
            posterior_probability(champion, challenger, c.samples, generator, never_stop);
        ASSERT_TRUE(result.has_value());
        const double plain = estimate(champion, challenger, c.samples, 99);
        EXPECT_TRUE(test::same_double(plain, *result)) << c.samples;
        EXPECT_EQ(checks, c.checks) << c.samples;
    }
}

TEST(posterior_probability_test, stops_at_the_first_check_that_says_so) {
    int checks = 0;
    auto stop_at_second = [&checks] { return ++checks == 2; };
    ChaChaRng generator = ChaChaRng::from_seed(5);
    const auto result = posterior_probability(arm(1, 1), arm(1, 1), 10 * INTERRUPT_CHECK_INTERVAL,
                                              generator, stop_at_second);
    EXPECT_FALSE(result.has_value());
    EXPECT_EQ(checks, 2);
}

// Posterior parameters are at least 1, so this is unreachable from the estimate itself.
TEST(posterior_probability_test, rejected_beta_parameter_is_an_internal_failure) {
    struct Case {
        double shape1;
        double shape2;
        std::string message;
    };
    for (const Case& c : {Case{0.0, 1.0, "valid Beta params: AlphaTooSmall"},
                          Case{1.0, nan, "valid Beta params: BetaTooSmall"}}) {
        try {
            checked_beta_sampler(c.shape1, c.shape2);
            ADD_FAILURE() << "no failure for " << c.message;
        } catch (failure::InternalFailure& caught) {
            failure::mark_internal_failure_caught();
            EXPECT_EQ(caught.message(), c.message);
            EXPECT_TRUE(
                std::string(caught.where().file_name()).ends_with("posterior_probability.cpp"));
        }
    }
}

struct WorkedDecision {
    std::vector<double> champion;
    std::vector<double> challenger;
    std::uint64_t seed;
    Decision expected;
};

TEST(promotion_decision_test, worked_results) {
    const std::vector<WorkedDecision> cases{
        {{}, {}, 0, {OUTCOME_NEED_MORE_DATA, 0.0, 0}},
        {arm(19, 0), arm(1000, 0), 3, {OUTCOME_NEED_MORE_DATA, 0.0, 19}},
        {arm(12, 8), arm(15, 5), 123, {OUTCOME_HOLD, 0.838, 20}},
        {arm(10, 10), arm(18, 2), 5, {OUTCOME_PROMOTE, 0.9963, 20}},
        {arm(10, 10), arm(16, 4), 5, {OUTCOME_PROMOTE, 0.9738, 20}},
        {repeat(0.6, 25), repeat(0.4, 30), 11, {OUTCOME_HOLD, 0.0, 25}},
    };
    for (const WorkedDecision& c : cases) {
        ChaChaRng generator = ChaChaRng::from_seed(c.seed);
        EXPECT_EQ(promotion_decision(c.champion, c.challenger, generator), c.expected)
            << "seed " << c.seed;
    }
}

TEST(promotion_decision_test, too_few_sessions_draw_nothing) {
    ChaChaRng used = ChaChaRng::from_seed(8);
    ChaChaRng fresh = ChaChaRng::from_seed(8);
    EXPECT_EQ(promotion_decision(arm(30, 0), arm(10, 9), used).outcome, OUTCOME_NEED_MORE_DATA);
    EXPECT_EQ(used.next_u64(), fresh.next_u64());
}

TEST(promotion_decision_test, posterior_is_the_estimate_with_decision_samples) {
    const auto champion = arm(12, 14);
    const auto challenger = arm(20, 15);
    ChaChaRng generator = ChaChaRng::from_seed(77);
    const Decision decision = promotion_decision(champion, challenger, generator);
    EXPECT_EQ(decision.posterior, estimate(champion, challenger, DECISION_SAMPLES, 77));
    EXPECT_EQ(decision.sessions_each, 26u);
}

TEST(promotion_decision_test, matches_every_vector) {
    const auto rows = test::read_table("decision.tsv");
    ASSERT_GT(rows.size(), 30u);
    for (const auto& row : rows) {
        ASSERT_EQ(row.size(), 8u);
        const auto champion = arm(to_u64(row[0]), to_u64(row[1]));
        const auto challenger = arm(to_u64(row[2]), to_u64(row[3]));
        ChaChaRng generator = ChaChaRng::from_seed(to_u64(row[4]));
        const Decision decision = promotion_decision(champion, challenger, generator);
        EXPECT_EQ(decision.outcome, row[5]) << row[4];
        EXPECT_TRUE(test::same_double(test::parse_double(row[6]), decision.posterior)) << row[4];
        EXPECT_EQ(decision.sessions_each, to_u64(row[7])) << row[4];
    }
}

} // namespace
} // namespace velmora::promotion
