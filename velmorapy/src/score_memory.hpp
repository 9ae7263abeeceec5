// One arm's scores as they lie in another object's memory, and their success count.
//
// Plain C++: the readers of numpy's array interface, of buffers and of bytes describe the
// memory; this counts it without copying it anywhere.
#pragma once

#include <cstddef>
#include <cstdint>

#include "promotion/arm_counts.hpp"

namespace velmora::py {

// The numeric item formats whose items iteration turns into floats, ints or bools.
enum class ScoreFormat : std::uint8_t {
    boolean,
    int8,
    int16,
    int32,
    int64,
    uint8,
    uint16,
    uint32,
    uint64,
    float16,
    float32,
    float64,
};

std::size_t item_size(ScoreFormat format);

// `count` items, the first at `first`, each `stride` bytes after the one before: negative for
// a reversed view, zero for one item repeated. Items need not be aligned.
struct ScoreMemory {
    const std::byte* first;
    std::size_t count;
    std::ptrdiff_t stride;
    ScoreFormat format;
    bool byte_swapped; // stored in the byte order opposite to this machine's
};

// Whether every item of `count` items of `size` bytes, `stride` apart from `first`, lies within
// the address space: the address arithmetic of reading them cannot overflow.
bool addressable(const std::byte* first, std::size_t count, std::ptrdiff_t stride,
                 std::size_t size);

// Each item counts as the double that converting the item iteration yields would give: a
// bool is 0 or 1, an integer rounds to nearest as the interpreter rounds it, a half or single
// float widens exactly, and NaN stays NaN (a failure).
promotion::ArmCounts count_successes(const ScoreMemory& scores);

} // namespace velmora::py
