// Picking the values at the set bits of a 64-bit mask, in order: how the batched loop collects
// the accepted draws each sampler is handed. Behind one narrow function pointer, so that a
// compress instruction can replace the bit-by-bit loop.
#pragma once

#include <cstddef>
#include <cstdint>

namespace velmora {

// Room a CompactFn may write past the values it returns: a vector variant stores whole vectors.
inline constexpr std::size_t COMPACT_SLACK = 8;

// Writes values[i] for every set bit i of bits, lowest first, to out and returns how many. out
// needs room for that many plus COMPACT_SLACK; values needs all 64 entries readable.
using CompactFn = std::size_t (*)(std::uint64_t bits, const double* values, double* out);

std::size_t compact_values_scalar(std::uint64_t bits, const double* values, double* out);

} // namespace velmora
