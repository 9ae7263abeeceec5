#include <cmath>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "promotion/aggregate.hpp"
#include "promotion/signal.hpp"

namespace velmora::promotion {
namespace {

constexpr double INF = std::numeric_limits<double>::infinity();
constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr SignalKind E = SignalKind::Explicit;
constexpr SignalKind I = SignalKind::Implicit;

struct AggregateCase {
    const char* name;
    std::vector<Signal> signals;
    double expected;
};

class aggregate_test : public testing::TestWithParam<AggregateCase> {};

TEST_P(aggregate_test, matches_the_weighted_mean_bit_for_bit) {
    const AggregateCase& c = GetParam();
    const double result = aggregate(c.signals, DEFAULT_SIGNAL_WEIGHTS);
    if (std::isnan(c.expected)) {
        EXPECT_TRUE(std::isnan(result));
    } else {
        EXPECT_EQ(result, c.expected);
    }
}

INSTANTIATE_TEST_SUITE_P(
    table, aggregate_test,
    testing::Values(AggregateCase{"empty", {}, NEUTRAL_SCORE},
                    AggregateCase{"explicit_outweighs", {{E, 1.0}, {I, 0.0}}, 5.0 / 6.0},
                    AggregateCase{"implicit_one", {{E, 0.0}, {I, 1.0}}, 1.0 / 6.0},
                    AggregateCase{
                        "list_order_rounding", {{E, 0.2}, {I, 0.9}, {I, 0.9}}, 0.39999999999999997},
                    AggregateCase{"clamped_high", {{I, 2.0}}, 1.0},
                    AggregateCase{"clamped_low", {{E, -3.0}}, 0.0},
                    AggregateCase{"infinities", {{E, INF}, {I, -INF}}, 5.0 / 6.0},
                    AggregateCase{"nan", {{I, 0.5}, {E, NaN}}, NaN}),
    [](const auto& info) { return info.param.name; });

TEST(clamp_unit_test, passes_nan_and_clamps_the_rest) {
    EXPECT_TRUE(std::isnan(clamp_unit(NaN)));
    EXPECT_EQ(clamp_unit(-0.5), 0.0);
    EXPECT_EQ(clamp_unit(1.5), 1.0);
    EXPECT_EQ(clamp_unit(0.25), 0.25);
}

TEST(parse_signal_kind_test, accepts_only_the_exact_texts) {
    EXPECT_EQ(parse_signal_kind("explicit"), E);
    EXPECT_EQ(parse_signal_kind("implicit"), I);
    const std::string_view unknown[] = {
        "Explicit", " explicit", "explicit ", "", "explicitly", std::string_view("implicit\0", 9)};
    for (std::string_view text : unknown) {
        auto parsed = parse_signal_kind(text);
        ASSERT_FALSE(parsed.has_value()) << text;
        EXPECT_EQ(parsed.error().message(), "unknown kind: " + std::string(text));
    }
}

} // namespace
} // namespace velmora::promotion
