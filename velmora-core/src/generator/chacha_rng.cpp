#include "generator/chacha_rng.hpp"

#include <algorithm>

#include "isa/kernel_table.hpp"

namespace velmora {
namespace {

// One step of a 64-bit permuted congruential generator (XSH-RR output), used only to spread the
// seed over the 256-bit key.
constexpr std::uint64_t pcg_multiplier = 0x5851F42D4C957F2D;
constexpr std::uint64_t pcg_increment = 0xA17654E46FBE17F3;

std::uint32_t next_key_word(std::uint64_t& state) {
    // Advance before output: the raw seed is never part of the key.
    state = state * pcg_multiplier + pcg_increment;
    const auto xorshifted = static_cast<std::uint32_t>(((state >> 18) ^ state) >> 27);
    const auto rotation = static_cast<int>(state >> 59);
    return std::rotr(xorshifted, rotation);
}

} // namespace

ChaChaRng ChaChaRng::from_seed(std::uint64_t seed) {
    ChaChaRng rng;
    std::uint64_t state = seed;
    for (auto& word : rng.key_) {
        word = next_key_word(state);
    }
    return rng;
}

std::uint64_t ChaChaRng::next_u64_across_refill() {
    if (index_ < buffer_.size()) {
        // One word left: it becomes the low half, the first word of the next refill the high
        // half, so the stream stays seamless across the boundary.
        const std::uint32_t low = buffer_[buffer_.size() - 1];
        refill();
        index_ = 1;
        return pair(low, buffer_[0]);
    }
    refill();
    index_ = 2;
    return pair(buffer_[0], buffer_[1]);
}

void ChaChaRng::fill_uniform_pairs(double* u1, double* u2, std::size_t count) {
    std::size_t i = 0;
    while (i < count) {
        if (index_ == buffer_.size()) {
            if (count - i >= WIDE_REFILL_PAIRS) {
                i += fill_from_wide_refill(u1 + i, u2 + i);
                continue;
            }
            // The refill next_u64 would make, then its words from the start.
            refill();
            index_ = 0;
        }
        // A pair is four words; take every whole pair left in the buffer without a check each.
        const std::size_t direct = std::min((buffer_.size() - index_) / 4, count - i);
        active_vector_kernels().uniform_pairs(buffer_.data() + index_, u1 + i, u2 + i, direct);
        index_ += 4 * direct;
        i += direct;
        if (i < count && index_ < buffer_.size()) {
            // One to three words left: the ordinary path straddles the refill.
            u1[i] = uniform_open01();
            u2[i] = uniform_open01();
            ++i;
        }
    }
}

std::size_t ChaChaRng::fill_from_wide_refill(double* u1, double* u2) {
    const VectorKernels& kernels = active_vector_kernels();
    ChaChaWideBuffer words;
    kernels.wide_refill(key_, counter_, stream_, words);
    kernels.uniform_pairs(words.data(), u1, u2, WIDE_REFILL_PAIRS);
    // Leave the generator as four ordinary refills would: the last one's words in the buffer,
    // all of them used.
    std::copy(words.end() - buffer_.size(), words.end(), buffer_.begin());
    counter_ += 16;
    index_ = buffer_.size();
    return WIDE_REFILL_PAIRS;
}

void ChaChaRng::refill() {
    active_vector_kernels().refill(key_, counter_, stream_, buffer_);
    counter_ += 4;
}

} // namespace velmora
