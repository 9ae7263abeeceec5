// The exact logarithm and exponential: known answers, special values, range limits, and
// closeness to the platform's routines.
#include "math/exact_math.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>

#include "test_support.hpp"

namespace velmora {
namespace {

using test::from_bits;
using test::same_double;

constexpr double inf = std::numeric_limits<double>::infinity();
constexpr double nan = std::numeric_limits<double>::quiet_NaN();

// Every line of the table, bit for bit: these are the results the samplers' reproducibility
// rests on.
TEST(exact_math_test, known_answers) {
    const auto rows = test::read_table("ln_exp.tsv");
    ASSERT_GT(rows.size(), 60000u);
    int mismatches = 0;
    for (const auto& row : rows) {
        ASSERT_EQ(row.size(), 3u);
        const double argument = test::parse_double(row[1]);
        const double expected = test::parse_double(row[2]);
        ASSERT_TRUE(row[0] == "ln" || row[0] == "exp") << row[0];
        const double actual = row[0] == "ln" ? ln(argument) : exp(argument);
        const auto same = same_double(expected, actual);
        if (!same && ++mismatches <= 10) {
            ADD_FAILURE() << row[0] << "(" << row[1] << "): " << same.message();
        }
    }
    EXPECT_EQ(mismatches, 0);
}

struct Case {
    const char* name;
    double (*function)(double);
    double argument;
    double expected;
};

class exact_math_special_test : public ::testing::TestWithParam<Case> {};

TEST_P(exact_math_special_test, exact_result) {
    const Case& c = GetParam();
    EXPECT_TRUE(same_double(c.expected, c.function(c.argument)));
}

constexpr double ln_2 = 0x1.62e42fefa39efp-1;

INSTANTIATE_TEST_SUITE_P(
    ln, exact_math_special_test,
    ::testing::Values(Case{"plus_zero", ln, 0.0, -inf}, Case{"minus_zero", ln, -0.0, -inf},
                      Case{"negative", ln, -1.0, nan}, Case{"minus_inf", ln, -inf, nan},
                      Case{"negative_subnormal", ln, -0x1p-1074, nan},
                      Case{"plus_inf", ln, inf, inf}, Case{"nan", ln, nan, nan},
                      Case{"one_is_plus_zero", ln, 1.0, 0.0},
                      // Powers of two reduce to m = 1, leaving k * ln 2 split in two halves.
                      Case{"two", ln, 2.0, ln_2}, Case{"half", ln, 0.5, -ln_2},
                      Case{"smallest_subnormal", ln, 0x1p-1074, -0x1.74385446d71c3p+9},
                      Case{"smallest_normal", ln, 0x1p-1022, -0x1.6232bdd7abcd2p+9},
                      Case{"largest", ln, std::numeric_limits<double>::max(),
                           0x1.62e42fefa39efp+9}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    exp, exact_math_special_test,
    ::testing::Values(
        Case{"plus_zero", exp, 0.0, 1.0}, Case{"minus_zero", exp, -0.0, 1.0},
        Case{"nan", exp, nan, nan}, Case{"plus_inf", exp, inf, inf},
        Case{"minus_inf_is_plus_zero", exp, -inf, 0.0},
        // Below about 2^-28 the answer is 1 + x, rounded once.
        Case{"tiny", exp, 0x1p-30, 1.0 + 0x1p-30},
        Case{"tiny_negative", exp, -0x1p-29, 1.0 - 0x1p-29},
        Case{"overflow_threshold_is_finite", exp, 0x1.62e42fefa39efp+9, 0x1.fffffffffff2ap+1023},
        Case{"just_above_overflow", exp, 0x1.62e42fefa39f0p+9, inf},
        Case{"underflow_threshold_is_subnormal", exp, -0x1.74910d52d3051p+9, 0x1p-1074},
        Case{"just_below_underflow", exp, -0x1.74910d52d3052p+9, 0.0},
        Case{"large_negative_is_plus_zero", exp, -1000.0, 0.0}),
    [](const auto& info) { return std::string(info.param.name); });

// Maps a double's bits onto a line where neighbouring doubles differ by 1, across zero.
std::int64_t ordered(double x) {
    const auto bits = static_cast<std::int64_t>(test::to_bits(x));
    return bits < 0 ? std::numeric_limits<std::int64_t>::min() - bits : bits;
}

// Distance in units in the last place; exact agreement of infinities counts as 0.
std::uint64_t ulps_apart(double a, double b) {
    if (a == b) {
        return 0;
    }
    const std::int64_t d = ordered(a) - ordered(b);
    return static_cast<std::uint64_t>(d < 0 ? -d : d);
}

constexpr int random_arguments = 1'000'000;

// Not identical by design, but never more than one ulp away: a wrong coefficient, a lost
// correction term or a bad reduction would show up as a large distance here.
TEST(exact_math_test, ln_within_one_ulp_of_platform) {
    std::mt19937_64 gen(1);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::uniform_real_distribution<double> near_one(0.5, 2.0);
    std::uint64_t worst = 0;
    for (int i = 0; i < random_arguments; ++i) {
        double x;
        switch (i % 4) {
        case 0: // any positive finite double, subnormals included
            x = from_bits(gen() >> 1);
            if (!std::isfinite(x) || x == 0) {
                continue;
            }
            break;
        case 1: // the sampler's u and z
            x = unit(gen);
            break;
        case 2: // the sampler's u / (1 - u)
            x = unit(gen);
            x = x / (1 - x);
            break;
        default: // around 1, where the result is tiny and cancellation matters
            x = near_one(gen);
            break;
        }
        if (x == 0) {
            continue;
        }
        const auto d = ulps_apart(ln(x), std::log(x));
        worst = std::max(worst, d);
        ASSERT_LE(d, 1u) << std::hexfloat << "ln(" << x << ")";
    }
    RecordProperty("worst_ulps", static_cast<int>(worst));
}

TEST(exact_math_test, exp_within_one_ulp_of_platform) {
    std::mt19937_64 gen(2);
    std::uniform_real_distribution<double> full(-745.2, 709.8);
    std::uniform_real_distribution<double> moderate(-40.0, 40.0);
    std::uniform_real_distribution<double> small(-1.0, 1.0);
    for (int i = 0; i < random_arguments; ++i) {
        double x;
        switch (i % 4) {
        case 0: // the whole finite-result range, subnormal results included
            x = full(gen);
            break;
        case 1: // the sampler's v
            x = moderate(gen);
            break;
        case 2: // both reduction branches and the 1 + x shortcut
            x = small(gen);
            break;
        default: // tiny arguments around the 2^-28 cut-off
            x = std::ldexp(small(gen), -20 - static_cast<int>(gen() % 20));
            break;
        }
        ASSERT_LE(ulps_apart(exp(x), std::exp(x)), 1u) << std::hexfloat << "exp(" << x << ")";
    }
}

} // namespace
} // namespace velmora
