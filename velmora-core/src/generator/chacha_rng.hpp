// Seeded generator: an 8-round ChaCha keystream keyed from a 64-bit seed, handed out as 64-bit
// words and as uniform doubles strictly inside (0, 1).
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <tuple>

#include "generator/chacha_block.hpp"
#include "generator/uniform_pairs.hpp"

namespace velmora {

class ChaChaRng {
public:
    // Cannot fail; computes no block until the first draw.
    [[nodiscard]] static ChaChaRng from_seed(std::uint64_t seed);

    // A copy would replay the same words as the original, silently correlating two streams that
    // look independent; pass the generator by reference instead.
    ChaChaRng(const ChaChaRng&) = delete;
    ChaChaRng& operator=(const ChaChaRng&) = delete;
    ChaChaRng(ChaChaRng&&) = default;
    ChaChaRng& operator=(ChaChaRng&&) = default;

    // The next 64 bits of the stream; the earlier 32-bit word is the low half.
    std::uint64_t next_u64() {
        const std::uint64_t i = index_;
        if (i < buffer_.size() - 1) {
            index_ = i + 2;
            return pair(buffer_[i], buffer_[i + 1]);
        }
        return next_u64_across_refill();
    }

    // An odd multiple of 2^-53 in [2^-53, 1 - 2^-53]: never 0 and never 1, so callers may divide
    // by 1 - u and take logarithms of u freely.
    double uniform_open01() { return open01_from_word(next_u64()); }

    // count pairs of uniform_open01() draws, u1[i] before u2[i]: exactly the doubles (and the
    // position afterwards) of 2 * count calls in that order. Whole pairs come straight from the
    // buffer in one tight loop; only the words around a refill go one at a time.
    void fill_uniform_pairs(double* u1, double* u2, std::size_t count);

private:
    ChaChaRng() = default;

    static std::uint64_t pair(std::uint32_t low, std::uint32_t high) {
        return std::uint64_t{low} | (std::uint64_t{high} << 32);
    }

    // A wide refill's words make this many pairs of uniforms.
    static constexpr std::size_t WIDE_REFILL_PAIRS = std::tuple_size_v<ChaChaWideBuffer> / 4;

    // With the buffer used up: sixteen blocks at once, straight into WIDE_REFILL_PAIRS pairs.
    std::size_t fill_from_wide_refill(double* u1, double* u2);

    // Handles index 63 (one word left) and 64 (buffer exhausted); out of line, 1 call in 32.
    std::uint64_t next_u64_across_refill();
    // Writes four new blocks into the buffer and advances the counter by 4.
    void refill();

    // Tests read and set the counter and index through this seam; there is no public way.
    friend struct ChaChaRngTestAccess;

    ChaChaBuffer buffer_{};
    // Position of the next unread word; 64 means nothing is left.
    std::uint64_t index_ = 64;
    ChaChaKey key_{};
    // Blocks produced so far, modulo 2^64; a multiple of 4 between calls.
    std::uint64_t counter_ = 0;
    ChaChaStream stream_{};
};

} // namespace velmora
