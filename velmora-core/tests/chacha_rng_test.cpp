// Known answers and stream mechanics of the seeded ChaCha generator.
#include "generator/chacha_rng.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <type_traits>
#include <vector>

#include "isa/kernel_table.hpp"
#include "test_support.hpp"

namespace velmora {

struct ChaChaRngTestAccess {
    static std::uint64_t counter(const ChaChaRng& rng) { return rng.counter_; }
    static void set_counter(ChaChaRng& rng, std::uint64_t counter) { rng.counter_ = counter; }
    static std::uint64_t index(const ChaChaRng& rng) { return rng.index_; }
    static void set_index(ChaChaRng& rng, std::uint64_t index) { rng.index_ = index; }
    static const ChaChaKey& key(const ChaChaRng& rng) { return rng.key_; }
    static ChaChaBuffer& buffer(ChaChaRng& rng) { return rng.buffer_; }
};

namespace {

using Access = ChaChaRngTestAccess;
using test::same_double;

// A deliberately plain second implementation of one 8-round block, written from the round
// description rather than shared with the library, so that both must agree.
std::array<std::uint32_t, 16> reference_block(const ChaChaKey& key, std::uint64_t block) {
    std::array<std::uint32_t, 16> in = {0x61707865, 0x3320646E, 0x79622D32, 0x6B206574};
    for (int i = 0; i < 8; ++i) {
        in[4 + i] = key[i];
    }
    in[12] = static_cast<std::uint32_t>(block & 0xFFFFFFFFu);
    in[13] = static_cast<std::uint32_t>(block >> 32);
    auto x = in;
    auto rotl = [](std::uint32_t v, int n) { return (v << n) | (v >> (32 - n)); };
    auto qr = [&](int a, int b, int c, int d) {
        x[a] += x[b], x[d] = rotl(x[d] ^ x[a], 16);
        x[c] += x[d], x[b] = rotl(x[b] ^ x[c], 12);
        x[a] += x[b], x[d] = rotl(x[d] ^ x[a], 8);
        x[c] += x[d], x[b] = rotl(x[b] ^ x[c], 7);
    };
    const int rounds[8][4] = {{0, 4, 8, 12},  {1, 5, 9, 13},  {2, 6, 10, 14}, {3, 7, 11, 15},
                              {0, 5, 10, 15}, {1, 6, 11, 12}, {2, 7, 8, 13},  {3, 4, 9, 14}};
    for (int twice = 0; twice < 4; ++twice) {
        for (const auto& q : rounds) {
            qr(q[0], q[1], q[2], q[3]);
        }
    }
    for (int i = 0; i < 16; ++i) {
        x[i] += in[i];
    }
    return x;
}

// Word k (0 to 63) of the four blocks starting at block counter first_block.
std::uint32_t reference_word(const ChaChaKey& key, std::uint64_t first_block, int k) {
    return reference_block(key, first_block + static_cast<std::uint64_t>(k / 16))[k % 16];
}

std::uint64_t reference_pair(const ChaChaKey& key, std::uint64_t first_block, int k) {
    return reference_word(key, first_block, k) |
           (std::uint64_t{reference_word(key, first_block, k + 1)} << 32);
}

std::string hex(std::uint64_t value) {
    std::ostringstream out;
    out << std::hex << value;
    return out.str();
}

std::vector<std::uint64_t> draws(ChaChaRng& rng, int count) {
    std::vector<std::uint64_t> out;
    for (int i = 0; i < count; ++i) {
        out.push_back(rng.next_u64());
    }
    return out;
}

TEST(chacha_rng_test, seed_0_worked_words) {
    auto rng = ChaChaRng::from_seed(0);
    const auto words = draws(rng, 33);
    EXPECT_EQ(words[0], 0xB585F767A79A3B6Cu);
    EXPECT_EQ(words[1], 0x7746A55FBAD8C037u);
    EXPECT_EQ(words[2], 0xB2FB0D3281E2A6E6u);
    EXPECT_EQ(words[31], 0x57A1550C68AC854Eu);
    // The 33rd word is the first of the second refill, blocks 4 to 7.
    EXPECT_EQ(words[32], 0x66BBD30ED39CB892u);
    EXPECT_EQ(Access::counter(rng), 8u);
}

TEST(chacha_rng_test, seed_42_worked_words) {
    auto rng = ChaChaRng::from_seed(42);
    EXPECT_EQ(draws(rng, 3), (std::vector<std::uint64_t>{0xAE90BFB5395D5BA1u, 0xF3453FC625799188u,
                                                         0x6D71B708C5B6538Cu}));
}

TEST(chacha_rng_test, seed_0_worked_uniforms) {
    auto rng = ChaChaRng::from_seed(0);
    EXPECT_EQ(rng.uniform_open01(), 0.7090754154265618);
    EXPECT_EQ(rng.uniform_open01(), 0.46592172228961026);
    EXPECT_EQ(rng.uniform_open01(), 0.6991432426747318);
}

// A copy would replay the original's words; only moves are allowed.
static_assert(!std::is_copy_constructible_v<ChaChaRng> && !std::is_copy_assignable_v<ChaChaRng>);
static_assert(std::is_nothrow_move_constructible_v<ChaChaRng>);

TEST(chacha_rng_test, construction_computes_nothing) {
    auto rng = ChaChaRng::from_seed(7);
    EXPECT_EQ(Access::counter(rng), 0u);
    EXPECT_EQ(Access::index(rng), 64u);
    for (const auto word : Access::buffer(rng)) {
        ASSERT_EQ(word, 0u);
    }
}

// Every line of the table: 70 words span three refills, so seeding, block layout, half order
// and the refill boundary are all exercised for 50 seeds.
TEST(chacha_rng_test, known_streams) {
    const auto rows = test::read_table("chacha.tsv");
    ASSERT_EQ(rows.size(), 50u);
    for (const auto& row : rows) {
        ASSERT_EQ(row.size(), 2u);
        const std::uint64_t seed = test::parse_u64(row[0], 10);
        const auto expected = test::split_spaces(row[1]);
        ASSERT_EQ(expected.size(), 70u);
        auto rng = ChaChaRng::from_seed(seed);
        for (std::size_t i = 0; i < expected.size(); ++i) {
            ASSERT_EQ(rng.next_u64(), test::parse_u64(expected[i], 16))
                << "seed " << seed << ", word " << i;
        }
    }
}

TEST(chacha_rng_test, refill_matches_reference_blocks) {
    auto rng = ChaChaRng::from_seed(123456789);
    const auto& key = Access::key(rng);
    for (int refill = 0; refill < 3; ++refill) {
        for (int k = 0; k < 64; k += 2) {
            ASSERT_EQ(rng.next_u64(), reference_pair(key, 4u * refill, k)) << refill << "/" << k;
        }
    }
}

TEST(chacha_rng_test, scalar_and_active_refill_agree) {
    const ChaChaKey key = {1, 2, 3, 0xFFFFFFFF, 5, 6, 7, 0x80000000};
    for (const std::uint64_t counter :
         {std::uint64_t{0}, std::uint64_t{0xFFFFFFFE}, ~std::uint64_t{0} - 1}) {
        ChaChaBuffer scalar{};
        ChaChaBuffer active{};
        refill_scalar(key, counter, ChaChaStream{}, scalar);
        active_vector_kernels().refill(key, counter, ChaChaStream{}, active);
        EXPECT_EQ(scalar, active);
        for (int k = 0; k < 64; ++k) {
            ASSERT_EQ(scalar[k], reference_word(key, counter, k)) << counter << "/" << k;
        }
    }
}

// With one word left, it becomes the low half and the next refill's first word the high half.
TEST(chacha_rng_test, odd_index_straddles_the_refill) {
    auto rng = ChaChaRng::from_seed(99);
    const auto& key = Access::key(rng);
    rng.next_u64();
    Access::set_index(rng, 63);
    const std::uint64_t straddling = rng.next_u64();
    EXPECT_EQ(straddling,
              reference_word(key, 0, 63) | (std::uint64_t{reference_word(key, 4, 0)} << 32));
    EXPECT_EQ(Access::index(rng), 1u);
    EXPECT_EQ(Access::counter(rng), 8u);
    EXPECT_EQ(rng.next_u64(), reference_pair(key, 4, 1));
    EXPECT_EQ(Access::index(rng), 3u);
}

TEST(chacha_rng_test, index_62_takes_the_last_pair_without_refilling) {
    auto rng = ChaChaRng::from_seed(99);
    const auto& key = Access::key(rng);
    rng.next_u64();
    Access::set_index(rng, 62);
    EXPECT_EQ(rng.next_u64(), reference_pair(key, 0, 62));
    EXPECT_EQ(Access::index(rng), 64u);
    EXPECT_EQ(Access::counter(rng), 4u);
    EXPECT_EQ(rng.next_u64(), reference_pair(key, 4, 0));
}

struct BulkCase {
    std::uint64_t start_index;
    std::size_t pairs;
};

class chacha_bulk_test : public ::testing::TestWithParam<BulkCase> {};

// The bulk draw is the one-at-a-time draw: the same doubles in the same order, and the stream
// left where the single draws leave it, from any position (odd ones straddle each refill).
TEST_P(chacha_bulk_test, fill_uniform_pairs_matches_single_draws) {
    const auto [start_index, pairs] = GetParam();
    auto bulk = ChaChaRng::from_seed(31);
    auto single = ChaChaRng::from_seed(31);
    bulk.next_u64();
    single.next_u64();
    Access::set_index(bulk, start_index);
    Access::set_index(single, start_index);
    std::vector<double> u1(pairs), u2(pairs);
    bulk.fill_uniform_pairs(u1.data(), u2.data(), pairs);
    for (std::size_t i = 0; i < pairs; ++i) {
        ASSERT_TRUE(same_double(u1[i], single.uniform_open01())) << "u1 " << i;
        ASSERT_TRUE(same_double(u2[i], single.uniform_open01())) << "u2 " << i;
    }
    EXPECT_EQ(Access::index(bulk), Access::index(single));
    EXPECT_EQ(Access::counter(bulk), Access::counter(single));
    EXPECT_EQ(bulk.next_u64(), single.next_u64());
}

INSTANTIATE_TEST_SUITE_P(positions, chacha_bulk_test,
                         ::testing::Values(BulkCase{64, 0}, BulkCase{64, 1}, BulkCase{64, 16},
                                           BulkCase{64, 300}, BulkCase{2, 15}, BulkCase{2, 16},
                                           BulkCase{62, 1}, BulkCase{62, 40}, BulkCase{60, 1},
                                           BulkCase{63, 1}, BulkCase{63, 2}, BulkCase{61, 33},
                                           BulkCase{1, 16}, BulkCase{3, 300}),
                         [](const auto& info) {
                             return "index_" + std::to_string(info.param.start_index) + "_pairs_" +
                                    std::to_string(info.param.pairs);
                         });

struct CounterCase {
    std::uint64_t start;
    std::uint64_t next;
};

class chacha_counter_test : public ::testing::TestWithParam<CounterCase> {};

// The block counter is 64 bits wide: the low word carries into the high word, and the last
// refill before 2^64 wraps to block 0.
TEST_P(chacha_counter_test, refill_uses_and_advances_the_full_counter) {
    const auto [start, next] = GetParam();
    auto rng = ChaChaRng::from_seed(2024);
    const auto& key = Access::key(rng);
    Access::set_counter(rng, start);
    for (int k = 0; k < 64; k += 2) {
        ASSERT_EQ(rng.next_u64(), reference_pair(key, start, k)) << k;
    }
    EXPECT_EQ(Access::counter(rng), next);
    EXPECT_EQ(rng.next_u64(), reference_pair(key, next, 0));
}

INSTANTIATE_TEST_SUITE_P(carries, chacha_counter_test,
                         ::testing::Values(CounterCase{0xFFFFFFFC, 0x100000000},
                                           CounterCase{0xFFFFFFFE, 0x100000002},
                                           CounterCase{~std::uint64_t{0} - 3, 0}),
                         [](const auto& info) { return "from_" + hex(info.param.start); });

TEST(chacha_rng_test, wrap_returns_to_the_first_refill) {
    auto fresh = ChaChaRng::from_seed(5);
    auto wrapped = ChaChaRng::from_seed(5);
    Access::set_counter(wrapped, ~std::uint64_t{0} - 3);
    draws(wrapped, 32);
    EXPECT_EQ(Access::counter(wrapped), 0u);
    EXPECT_EQ(draws(wrapped, 32), draws(fresh, 32));
}

struct UniformCase {
    std::uint64_t word;
    double expected;
};

class chacha_uniform_test : public ::testing::TestWithParam<UniformCase> {};

// The mapping keeps the top 52 bits and lands on odd multiples of 2^-53, never 0 or 1.
TEST_P(chacha_uniform_test, maps_word_to_open_interval) {
    const auto [word, expected] = GetParam();
    auto rng = ChaChaRng::from_seed(0);
    rng.next_u64();
    // Plant the word as the next pair of the buffer.
    Access::buffer(rng)[2] = static_cast<std::uint32_t>(word);
    Access::buffer(rng)[3] = static_cast<std::uint32_t>(word >> 32);
    EXPECT_TRUE(same_double(expected, rng.uniform_open01()));
}

INSTANTIATE_TEST_SUITE_P(bounds, chacha_uniform_test,
                         ::testing::Values(UniformCase{0, 0x1p-53},
                                           UniformCase{~std::uint64_t{0}, 1 - 0x1p-53},
                                           UniformCase{0xFFF, 0x1p-53},
                                           UniformCase{0x1000, 3 * 0x1p-53},
                                           UniformCase{0x8000000000000000, 0.5 + 0x1p-53},
                                           UniformCase{0x7FFFFFFFFFFFFFFF, 0.5 - 0x1p-53}),
                         [](const auto& info) { return "word_" + hex(info.param.word); });

} // namespace
} // namespace velmora
