// Vector variants of compact_values_scalar; call one only where cpu_supports() says so.
#pragma once

#include "random/compact_values.hpp"
#include "simd/target.hpp"

#if VELMORA_X86

namespace velmora::x86 {

// Eight values per step with a register compress and a full-width store.
std::size_t compact_values_avx512(std::uint64_t bits, const double* values, double* out);

} // namespace velmora::x86

#endif
