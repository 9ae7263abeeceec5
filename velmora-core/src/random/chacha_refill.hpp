// The four-block ChaCha refill behind one narrow function pointer, so that faster variants can
// be slotted in beside the scalar one without touching the generator.
#pragma once

#include <array>
#include <cstdint>

namespace velmora {

// State words 4 to 11: the key derived from the seed.
using ChaChaKey = std::array<std::uint32_t, 8>;
// State words 14 and 15.
using ChaChaStream = std::array<std::uint32_t, 2>;
// Four consecutive 16-word output blocks, lowest block counter first.
using ChaChaBuffer = std::array<std::uint32_t, 64>;

// Writes the blocks for counters counter, counter + 1, counter + 2 and counter + 3 (each
// modulo 2^64) into out. Every implementation must produce exactly the words of refill_scalar.
using RefillFn = void (*)(const ChaChaKey& key, std::uint64_t counter, const ChaChaStream& stream,
                          ChaChaBuffer& out);

// Portable reference implementation; correct on every processor.
void refill_scalar(const ChaChaKey& key, std::uint64_t counter, const ChaChaStream& stream,
                   ChaChaBuffer& out);

// The implementation this process uses, chosen once on first call. This is the single place
// that decides among implementations.
RefillFn active_refill();

} // namespace velmora
