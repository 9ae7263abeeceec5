// Vector implementations of the four-block ChaCha refill, one per x86 instruction-set level.
// Each produces exactly the words of refill_scalar; call one only where cpu_supports() says so.
#pragma once

#include "random/chacha_refill.hpp"
#include "simd/target.hpp"

#if VELMORA_X86

namespace velmora::x86 {

void refill_sse2(const ChaChaKey& key, std::uint64_t counter, const ChaChaStream& stream,
                 ChaChaBuffer& out);
void refill_ssse3(const ChaChaKey& key, std::uint64_t counter, const ChaChaStream& stream,
                  ChaChaBuffer& out);
void refill_sse41(const ChaChaKey& key, std::uint64_t counter, const ChaChaStream& stream,
                  ChaChaBuffer& out);
void refill_avx(const ChaChaKey& key, std::uint64_t counter, const ChaChaStream& stream,
                ChaChaBuffer& out);
void refill_avx2(const ChaChaKey& key, std::uint64_t counter, const ChaChaStream& stream,
                 ChaChaBuffer& out);
// Sixteen blocks side by side, one per 32-bit lane of 512-bit registers.
void wide_refill_avx512(const ChaChaKey& key, std::uint64_t counter, const ChaChaStream& stream,
                        ChaChaWideBuffer& out);

} // namespace velmora::x86

#endif
