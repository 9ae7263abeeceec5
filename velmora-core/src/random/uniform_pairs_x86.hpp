// Vector conversion of stream words to uniform pairs; exactly the doubles of
// uniform_pairs_scalar. Call only where cpu_supports() says so.
#pragma once

#include "random/uniform_pairs.hpp"
#include "simd/target.hpp"

#if VELMORA_X86

namespace velmora::x86 {

// Eight pairs per step: two 512-bit loads of words, converted as eight 64-bit lanes each, then
// the u1 and u2 lanes separated.
void uniform_pairs_avx512(const std::uint32_t* words, double* u1, double* u2, std::size_t count);

} // namespace velmora::x86

#endif
