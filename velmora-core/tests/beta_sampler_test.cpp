// Beta sampler: construction, the worked draws, known streams and the distribution's moments.
#include "sampler/beta_sampler.hpp"

#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <limits>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "test_support.hpp"

namespace velmora {
namespace {

using test::same_double;

constexpr double inf = std::numeric_limits<double>::infinity();
constexpr double nan = std::numeric_limits<double>::quiet_NaN();

// A readable test name for a shape pair, e.g. "0_5_and_1".
std::string shape_name(double shape1, double shape2) {
    std::ostringstream out;
    out << shape1 << "_and_" << shape2;
    std::string name = out.str();
    for (char& ch : name) {
        if (!std::isalnum(static_cast<unsigned char>(ch))) {
            ch = '_';
        }
    }
    return name;
}

BetaSampler make(double shape1, double shape2) {
    const auto sampler = BetaSampler::create(shape1, shape2);
    EXPECT_TRUE(sampler.has_value()) << shape1 << ", " << shape2;
    return *sampler;
}

struct FailureCase {
    double shape1;
    double shape2;
    BetaError error;
};

class beta_sampler_failure_test : public ::testing::TestWithParam<FailureCase> {};

// shape1 is checked first, and NaN fails as "not greater than 0".
TEST_P(beta_sampler_failure_test, refuses_non_positive_shapes) {
    const auto [shape1, shape2, error] = GetParam();
    const auto sampler = BetaSampler::create(shape1, shape2);
    ASSERT_FALSE(sampler.has_value());
    EXPECT_EQ(sampler.error(), error);
}

INSTANTIATE_TEST_SUITE_P(shapes, beta_sampler_failure_test,
                         ::testing::Values(FailureCase{0, 1, BetaError::AlphaTooSmall},
                                           FailureCase{nan, 1, BetaError::AlphaTooSmall},
                                           FailureCase{-0.0, 2, BetaError::AlphaTooSmall},
                                           FailureCase{-inf, -1, BetaError::AlphaTooSmall},
                                           FailureCase{1, 0, BetaError::BetaTooSmall},
                                           FailureCase{1, nan, BetaError::BetaTooSmall},
                                           FailureCase{0x1p-1074, -3, BetaError::BetaTooSmall}),
                         [](const auto& info) {
                             return shape_name(info.param.shape1, info.param.shape2);
                         });

TEST(beta_sampler_test, error_names) {
    EXPECT_EQ(to_string(BetaError::AlphaTooSmall), "AlphaTooSmall");
    EXPECT_EQ(to_string(BetaError::BetaTooSmall), "BetaTooSmall");
}

struct WorkedCase {
    double shape1;
    double shape2;
    BetaAlgorithm algorithm;
    double a;
    double b;
    bool switched;
    std::optional<double> beta;
    std::optional<double> gamma;
    std::optional<double> kappa1;
    std::optional<double> kappa2;
    std::vector<double> first_samples; // from a fresh seed-0 generator
};

class beta_sampler_worked_test : public ::testing::TestWithParam<WorkedCase> {};

TEST_P(beta_sampler_worked_test, constants_and_first_samples) {
    const WorkedCase& c = GetParam();
    const BetaSampler sampler = make(c.shape1, c.shape2);
    EXPECT_EQ(sampler.algorithm(), c.algorithm);
    EXPECT_EQ(sampler.a(), c.a);
    EXPECT_EQ(sampler.b(), c.b);
    EXPECT_EQ(sampler.switched(), c.switched);
    EXPECT_EQ(sampler.alpha(), c.shape1 + c.shape2);
    const std::pair<const std::optional<double>&, double> constants[] = {
        {c.beta, sampler.beta()},
        {c.gamma, sampler.gamma()},
        {c.kappa1, sampler.kappa1()},
        {c.kappa2, sampler.kappa2()}};
    for (const auto& [expected, actual] : constants) {
        if (expected) {
            EXPECT_TRUE(same_double(*expected, actual));
        }
    }
    auto rng = ChaChaRng::from_seed(0);
    for (std::size_t i = 0; i < c.first_samples.size(); ++i) {
        EXPECT_TRUE(same_double(c.first_samples[i], sampler.sample(rng))) << "sample " << i;
    }
}

constexpr auto BB = BetaAlgorithm::BB;
constexpr auto BC = BetaAlgorithm::BC;

INSTANTIATE_TEST_SUITE_P(
    cases, beta_sampler_worked_test,
    ::testing::Values(
        WorkedCase{3,
                   2,
                   BB,
                   2,
                   3,
                   true,
                   0.6546536707079771,
                   3.5275252316519468,
                   {},
                   {},
                   {0.4556755560342457, 0.46342721841174184, 0.2904105037802842, 0.3733991623218758,
                    0.2883706635558502}},
        WorkedCase{2,
                   3,
                   BB,
                   2,
                   3,
                   false,
                   0.6546536707079771,
                   3.5275252316519468,
                   {},
                   {},
                   {0.5443244439657544, 0.5365727815882582, 0.7095894962197158, 0.6266008376781242,
                    0.7116293364441497}},
        // A smaller shape of exactly 1 selects BC; Beta(1, 1) then returns u1 itself.
        WorkedCase{1, 1, BC, 1, 1, false, 1, {}, 0.25, 1, {0.7090754154265618, 0.6991432426747318}},
        WorkedCase{0.5,
                   0.5,
                   BC,
                   0.5,
                   0.5,
                   false,
                   2,
                   {},
                   0.15625000000000003,
                   0.625,
                   {0.8559184483879041, 0.8437557762793624}},
        WorkedCase{1,
                   5,
                   BC,
                   5,
                   1,
                   true,
                   1,
                   {},
                   0.06578947368421052,
                   0.8,
                   {0.07583464759234952, 0.0792442973300424}},
        WorkedCase{150,
                   40,
                   BB,
                   40,
                   150,
                   true,
                   0.1261693820034115,
                   47.92585319925686,
                   {},
                   {},
                   {0.7701842397609443, 0.7712472209631598}},
        // exp underflows or overflows: w = 0 maps to 0 (switched), w = inf to exactly 1.
        WorkedCase{0.001, 1e6, BC, 1e6, 0.001, true, 1000, {}, {}, {}, {0.0, 0.0, 0.0}},
        WorkedCase{1e6, 0.001, BC, 1e6, 0.001, false, 1000, {}, {}, {}, {1, 1, 1, 1, 1}},
        // Huge shapes give beta = 0 and gamma = inf; the NaN comparisons accept at once.
        WorkedCase{1e300, 1e300, BB, 1e300, 1e300, true, 0.0, inf, {}, {}, {0.5, 0.5}}),
    [](const auto& info) { return shape_name(info.param.shape1, info.param.shape2); });

// The fourth draw of Beta(3, 2) needs a second attempt: five draws use twelve uniforms.
TEST(beta_sampler_test, every_attempt_draws_two_uniforms) {
    const BetaSampler sampler = make(3, 2);
    auto rng = ChaChaRng::from_seed(0);
    auto reference = ChaChaRng::from_seed(0);
    for (int i = 0; i < 5; ++i) {
        sampler.sample(rng);
    }
    for (int i = 0; i < 12; ++i) {
        reference.uniform_open01();
    }
    EXPECT_EQ(rng.next_u64(), reference.next_u64());
}

// Every line of the table: 25 draws for each shape pair and seed, bit for bit.
TEST(beta_sampler_test, known_streams) {
    const auto rows = test::read_table("beta.tsv");
    ASSERT_GT(rows.size(), 100u);
    for (const auto& row : rows) {
        ASSERT_EQ(row.size(), 4u);
        const double shape1 = test::parse_double(row[0]);
        const double shape2 = test::parse_double(row[1]);
        const auto expected = test::split_spaces(row[3]);
        ASSERT_EQ(expected.size(), 25u);
        const BetaSampler sampler = make(shape1, shape2);
        auto rng = ChaChaRng::from_seed(test::parse_u64(row[2], 10));
        for (std::size_t i = 0; i < expected.size(); ++i) {
            ASSERT_TRUE(same_double(test::parse_double(expected[i]), sampler.sample(rng)))
                << row[0] << ", " << row[1] << ", seed " << row[2] << ", sample " << i;
        }
    }
}

struct Shapes {
    double shape1;
    double shape2;
};

class beta_sampler_moments_test : public ::testing::TestWithParam<Shapes> {};

// E[X^r] of Beta(p, q).
double raw_moment(double p, double q, int r) {
    double m = 1;
    for (int k = 0; k < r; ++k) {
        m *= (p + k) / (p + q + k);
    }
    return m;
}

// Mean and variance of a million draws against the distribution's, within six standard errors.
// A wrong branch, a swapped mapping or a mistyped constant moves one of them by far more.
TEST_P(beta_sampler_moments_test, mean_and_variance) {
    const auto [p, q] = GetParam();
    const BetaSampler sampler = make(p, q);
    auto rng = ChaChaRng::from_seed(20240601);
    constexpr int n = 1'000'000;
    double sum = 0;
    double sum_sq = 0;
    for (int i = 0; i < n; ++i) {
        const double x = sampler.sample(rng);
        ASSERT_TRUE(x >= 0 && x <= 1) << x;
        sum += x;
        sum_sq += x * x;
    }
    const double mean = sum / n;
    const double variance = sum_sq / n - mean * mean;

    const double m1 = raw_moment(p, q, 1);
    const double m2 = raw_moment(p, q, 2);
    const double m3 = raw_moment(p, q, 3);
    const double m4 = raw_moment(p, q, 4);
    const double expected_variance = m2 - m1 * m1;
    const double fourth_central = m4 - 4 * m1 * m3 + 6 * m1 * m1 * m2 - 3 * m1 * m1 * m1 * m1;
    const double mean_error = std::sqrt(expected_variance / n);
    const double variance_error =
        std::sqrt((fourth_central - expected_variance * expected_variance) / n);

    EXPECT_NEAR(mean, m1, 6 * mean_error);
    EXPECT_NEAR(variance, expected_variance, 6 * variance_error);
}

INSTANTIATE_TEST_SUITE_P(shapes, beta_sampler_moments_test,
                         ::testing::Values(Shapes{11, 9},    // BB, switched
                                           Shapes{2, 7.5},   // BB, not switched
                                           Shapes{40, 40},   // BB, equal shapes
                                           Shapes{1, 5},     // BC, a shape of exactly 1, switched
                                           Shapes{5, 1},     // BC, not switched
                                           Shapes{1, 1},     // BC, uniform
                                           Shapes{0.5, 0.5}, // BC, U-shaped
                                           Shapes{0.3, 2.5}, // BC, J-shaped
                                           Shapes{3.5, 0.8}),
                         [](const auto& info) {
                             return shape_name(info.param.shape1, info.param.shape2);
                         });

} // namespace
} // namespace velmora
