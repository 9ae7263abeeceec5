#include "generator/uniform_pairs.hpp"

namespace velmora {
namespace {

std::uint64_t word_at(const std::uint32_t* words) {
    return std::uint64_t{words[0]} | (std::uint64_t{words[1]} << 32);
}

} // namespace

void uniform_pairs_scalar(const std::uint32_t* words, double* u1, double* u2, std::size_t count) {
    for (std::size_t k = 0; k < count; ++k) {
        u1[k] = open01_from_word(word_at(words + 4 * k));
        u2[k] = open01_from_word(word_at(words + 4 * k + 2));
    }
}

} // namespace velmora
