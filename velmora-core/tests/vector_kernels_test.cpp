// Every processor-specific kernel against its portable counterpart, one variant at a time. A
// variant the processor cannot run is skipped, never silently replaced by another.
#include "isa/kernel_table.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "isa/cpu_level.hpp"
#include "math/exact_math.hpp"
#include "test_support.hpp"

namespace velmora {
namespace {

std::string level_name(const ::testing::TestParamInfo<CpuLevel>& info) {
    std::string name(to_string(info.param));
    std::erase(name, '.');
    return name;
}

class vector_kernels_test : public ::testing::TestWithParam<CpuLevel> {
protected:
    void SetUp() override {
        if (!cpu_supports(GetParam())) {
            GTEST_SKIP() << "this processor cannot run the " << to_string(GetParam()) << " variant";
        }
    }
    const VectorKernels& kernels() const { return vector_kernels_for(GetParam()); }
};

TEST(cpu_level_test, detection_is_stable_and_supported) {
    EXPECT_EQ(detect_cpu_level(), active_cpu_level());
    EXPECT_TRUE(cpu_supports(CpuLevel::Scalar));
    EXPECT_TRUE(cpu_supports(active_cpu_level()));
    EXPECT_EQ(active_vector_kernels().level, active_cpu_level());
#if defined(__x86_64__)
    // SSE2 is part of the x86-64 architecture itself.
    EXPECT_TRUE(cpu_supports(CpuLevel::Sse2));
#elif defined(__aarch64__)
    // Advanced SIMD is part of the aarch64 architecture itself: there is nothing to choose.
    EXPECT_EQ(active_cpu_level(), CpuLevel::Neon);
#endif
}

// The levels of one architecture are never reported on another: their rows would run the
// portable code under a vector level's name.
TEST(cpu_level_test, no_level_of_another_architecture_is_supported) {
    const bool on_arm = active_cpu_level() == CpuLevel::Neon;
    for (const CpuLevel level : ALL_CPU_LEVELS) {
        if (level == CpuLevel::Scalar) {
            continue;
        }
        const bool arm_level = level == CpuLevel::Neon;
        if (arm_level != on_arm) {
            EXPECT_FALSE(cpu_supports(level)) << to_string(level);
        }
    }
}

TEST(cpu_level_test, table_holds_each_level_at_its_own_index) {
    for (const CpuLevel level : ALL_CPU_LEVELS) {
        EXPECT_EQ(vector_kernels_for(level).level, level);
        EXPECT_NE(vector_kernels_for(level).refill, nullptr);
        EXPECT_NE(vector_kernels_for(level).wide_refill, nullptr);
        EXPECT_NE(vector_kernels_for(level).uniform_pairs, nullptr);
        EXPECT_NE(vector_kernels_for(level).compact, nullptr);
        EXPECT_NE(vector_kernels_for(level).attempts, nullptr);
    }
    EXPECT_EQ(vector_kernels_for(CpuLevel::Scalar).refill, &refill_scalar);
}

// Many refills from random keys, streams and counters, plus every counter where the low word
// carries into the high one or the whole counter wraps.
TEST_P(vector_kernels_test, refill_gives_the_scalar_words) {
    std::mt19937_64 random(20240611);
    std::vector<std::uint64_t> counters = {
        0,          4,           0xFFFFFFFC,         0xFFFFFFFD,         0xFFFFFFFE,
        0xFFFFFFFF, 0x1FFFFFFFE, 0xFFFFFFFFFFFFFFFC, 0xFFFFFFFFFFFFFFFE, 0xFFFFFFFFFFFFFFFF};
    for (int i = 0; i < 2000; ++i) {
        counters.push_back(random());
    }
    for (const std::uint64_t counter : counters) {
        ChaChaKey key;
        for (auto& word : key) {
            word = static_cast<std::uint32_t>(random());
        }
        // The generator's stream is always 0; other streams prove the lanes are not mixed up.
        const ChaChaStream stream = {static_cast<std::uint32_t>(random() % 3),
                                     static_cast<std::uint32_t>(random() % 3)};
        ChaChaBuffer expected;
        ChaChaBuffer actual;
        refill_scalar(key, counter, stream, expected);
        kernels().refill(key, counter, stream, actual);
        ASSERT_EQ(actual, expected) << "counter " << counter;
    }
}

// A stream of consecutive refills, fed back through the counter as the generator does.
TEST_P(vector_kernels_test, refill_runs_continue_across_the_counter_carry) {
    const ChaChaKey key = {1, 2, 3, 4, 5, 6, 7, 8};
    const ChaChaStream stream = {0, 0};
    for (const std::uint64_t start : {std::uint64_t{0xFFFFFFF0}, std::uint64_t{0} - 16}) {
        for (std::uint64_t counter = start; counter != start + 32; counter += 4) {
            ChaChaBuffer expected;
            ChaChaBuffer actual;
            refill_scalar(key, counter, stream, expected);
            kernels().refill(key, counter, stream, actual);
            ASSERT_EQ(actual, expected) << "counter " << counter;
        }
    }
}

// Sixteen blocks at once are four refills in a row, whichever block the counter carries or
// wraps at (each of the sixteen lanes meets it somewhere below).
TEST_P(vector_kernels_test, wide_refill_gives_four_scalar_refills) {
    std::mt19937_64 random(20261208);
    std::vector<std::uint64_t> counters = {0, 16, 0x100000000 - 16, 0x100000000 - 1};
    for (std::uint64_t back = 1; back <= 16; ++back) {
        counters.push_back(0x100000000 - back);
        counters.push_back(std::uint64_t{0} - back);
    }
    for (int i = 0; i < 500; ++i) {
        counters.push_back(random());
    }
    for (const std::uint64_t counter : counters) {
        ChaChaKey key;
        for (auto& word : key) {
            word = static_cast<std::uint32_t>(random());
        }
        const ChaChaStream stream = {static_cast<std::uint32_t>(random() % 3),
                                     static_cast<std::uint32_t>(random() % 3)};
        ChaChaWideBuffer actual;
        kernels().wide_refill(key, counter, stream, actual);
        for (std::uint64_t part = 0; part < 4; ++part) {
            ChaChaBuffer expected;
            refill_scalar(key, counter + 4 * part, stream, expected);
            for (std::size_t k = 0; k < expected.size(); ++k) {
                ASSERT_EQ(actual[64 * part + k], expected[k])
                    << "counter " << counter << " word " << 64 * part + k;
            }
        }
    }
}

// Every count up to a few vectors and a whole block, so that the vector body and the scalar
// tail both run at every offset; words include the ones that map to the ends of the interval.
TEST_P(vector_kernels_test, uniform_pairs_give_the_scalar_doubles) {
    std::mt19937_64 random(77);
    std::vector<std::uint32_t> words(4 * 256);
    for (auto& word : words) {
        word = static_cast<std::uint32_t>(random());
    }
    // u1 of pair 0 from an all-zero word, u2 of pair 1 from an all-ones word.
    words[0] = words[1] = 0;
    words[6] = words[7] = 0xFFFFFFFF;
    std::vector<std::size_t> counts(34);
    std::iota(counts.begin(), counts.end(), 0);
    counts.push_back(256);
    for (const std::size_t count : counts) {
        std::vector<double> expected_u1(count), expected_u2(count), u1(count), u2(count);
        uniform_pairs_scalar(words.data(), expected_u1.data(), expected_u2.data(), count);
        kernels().uniform_pairs(words.data(), u1.data(), u2.data(), count);
        for (std::size_t k = 0; k < count; ++k) {
            ASSERT_TRUE(test::same_double(expected_u1[k], u1[k])) << count << "/" << k;
            ASSERT_TRUE(test::same_double(expected_u2[k], u2[k])) << count << "/" << k;
        }
    }
}

// Empty, full, single-bit and patterned masks, then random ones: the same values in the same
// order, and the same count, as the bit-by-bit loop.
TEST_P(vector_kernels_test, compact_gives_the_values_at_the_set_bits) {
    std::array<double, 64> values;
    for (std::size_t i = 0; i < values.size(); ++i) {
        values[i] = static_cast<double>(i) + 0.5;
    }
    std::vector<std::uint64_t> masks = {0,
                                        ~std::uint64_t{0},
                                        1,
                                        std::uint64_t{1} << 63,
                                        0x5555555555555555,
                                        0xFF00FF00FF00FF00,
                                        0x8000000000000001};
    std::mt19937_64 random(5);
    for (int i = 0; i < 1000; ++i) {
        masks.push_back(random() & random());
    }
    for (const std::uint64_t bits : masks) {
        std::array<double, 64 + COMPACT_SLACK> expected{};
        std::array<double, 64 + COMPACT_SLACK> actual{};
        const std::size_t count = compact_values_scalar(bits, values.data(), expected.data());
        ASSERT_EQ(kernels().compact(bits, values.data(), actual.data()), count) << bits;
        for (std::size_t k = 0; k < count; ++k) {
            ASSERT_EQ(actual[k], expected[k]) << bits << "/" << k;
        }
    }
}

std::vector<double> padded(std::vector<double> values) {
    while (values.size() % ATTEMPT_BATCH_GRANULE != 0) {
        values.push_back(1.0);
    }
    return values;
}

// Every argument of the known-answer table (all exponent ranges, subnormals, zeros, infinities,
// NaN, the overflow and underflow edges), placed in every lane position.
TEST_P(vector_kernels_test, lane_ln_and_exp_match_the_known_answers) {
    const LaneMath math = kernels().lane_math;
    std::vector<double> ln_args;
    std::vector<double> ln_expected;
    std::vector<double> exp_args;
    std::vector<double> exp_expected;
    for (const auto& row : test::read_table("ln_exp.tsv")) {
        ASSERT_EQ(row.size(), 3u);
        const bool is_ln = row[0] == "ln";
        (is_ln ? ln_args : exp_args).push_back(test::parse_double(row[1]));
        (is_ln ? ln_expected : exp_expected).push_back(test::parse_double(row[2]));
    }
    ASSERT_GT(ln_args.size(), 1000u);
    ASSERT_GT(exp_args.size(), 1000u);
    for (std::size_t shift = 0; shift < 4; ++shift) {
        const auto check = [&](LaneMathFn fn, std::vector<double> args,
                               const std::vector<double>& expected, const char* name) {
            args.insert(args.begin(), shift, 1.0);
            args = padded(args);
            std::vector<double> out(args.size());
            fn(args.data(), out.data(), args.size());
            for (std::size_t i = 0; i < expected.size(); ++i) {
                ASSERT_TRUE(test::same_double(expected[i], out[i + shift]))
                    << name << "(" << std::hexfloat << args[i + shift] << ")";
            }
        };
        check(math.ln, ln_args, ln_expected, "ln");
        check(math.exp, exp_args, exp_expected, "exp");
    }
}

// Random arguments over the ranges the samplers use, against the scalar routines.
TEST_P(vector_kernels_test, lane_ln_and_exp_match_the_scalar_routines) {
    const LaneMath math = kernels().lane_math;
    std::mt19937_64 random(77);
    std::vector<double> ln_args;
    std::vector<double> exp_args;
    for (int i = 0; i < 200000; ++i) {
        // Arbitrary positive doubles, and doubles near 1 where the reduction is most delicate.
        ln_args.push_back(test::from_bits(random() >> 2));
        ln_args.push_back(1.0 + std::ldexp(static_cast<double>(random() >> 11), -60));
        exp_args.push_back(std::ldexp(static_cast<double>(random() >> 11), -53) * 1500.0 - 750.0);
        exp_args.push_back(std::ldexp(static_cast<double>(random() >> 11), -53) * 80.0 - 40.0);
    }
    std::vector<double> out(ln_args.size());
    math.ln(ln_args.data(), out.data(), ln_args.size());
    for (std::size_t i = 0; i < ln_args.size(); ++i) {
        ASSERT_TRUE(test::same_double(ln(ln_args[i]), out[i]))
            << "ln(" << std::hexfloat << ln_args[i] << ")";
    }
    math.exp(exp_args.data(), out.data(), exp_args.size());
    for (std::size_t i = 0; i < exp_args.size(); ++i) {
        ASSERT_TRUE(test::same_double(exp(exp_args[i]), out[i]))
            << "exp(" << std::hexfloat << exp_args[i] << ")";
    }
}

INSTANTIATE_TEST_SUITE_P(levels, vector_kernels_test, ::testing::ValuesIn(ALL_CPU_LEVELS),
                         level_name);

} // namespace
} // namespace velmora
