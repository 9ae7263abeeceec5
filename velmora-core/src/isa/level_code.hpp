// The kernels an instruction-set level builds for itself. Each level's source file (isa/*.cpp,
// isa/x86/*.cpp) defines one LevelCode; the table in isa/kernel_table.cpp composes them.
#pragma once

#include <cstddef>

#include "generator/chacha_block.hpp"
#include "generator/uniform_pairs.hpp"
#include "promotion/compact_values.hpp"
#include "sampler/attempt_block.hpp"

namespace velmora {

// The lane-wise ln and exp inside a level's attempt kernel, over whole arrays (`count` a
// multiple of ATTEMPT_BATCH_GRANULE), so that tests can hold them to the scalar routines bit for
// bit.
using LaneMathFn = void (*)(const double* in, double* out, std::size_t count);
struct LaneMath {
    LaneMathFn ln = nullptr;
    LaneMathFn exp = nullptr;
};

// Null where the level has no kernel of that kind of its own: the table then gives it a lower
// level's.
struct LevelCode {
    RefillFn refill = nullptr;
    WideRefillFn wide_refill = nullptr;
    UniformPairsFn uniform_pairs = nullptr;
    AttemptKernel attempts = nullptr;
    LaneMath lane_math{};
    CompactFn compact = nullptr;
};

// A level whose own kernels are a one-block refill (the four-block one calls it four times)...
template <RefillFn Refill>
LevelCode own_refills() {
    return LevelCode{.refill = Refill, .wide_refill = four_refills<Refill>};
}

// ... and, besides, the generic attempt kernel instantiated for its lane type, with the ln and
// exp inside it.
template <RefillFn Refill, class Attempts>
LevelCode own_refills_and_attempts() {
    LevelCode code = own_refills<Refill>();
    code.attempts = Attempts::evaluate;
    code.lane_math = {Attempts::ln_array, Attempts::exp_array};
    return code;
}

} // namespace velmora
