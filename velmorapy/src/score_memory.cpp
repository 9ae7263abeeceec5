#include "score_memory.hpp"

#include <bit>
#include <cstring>
#include <limits>
#include <type_traits>

namespace velmora::py {
namespace {

using promotion::is_success;

// A half float widened exactly: every half is a double, so only the fields move.
double half_to_double(std::uint16_t bits) {
    const std::uint64_t sign = std::uint64_t{bits} >> 15 << 63;
    const unsigned exponent = (bits >> 10) & 0x1f;
    const std::uint64_t fraction = bits & 0x3ff;
    if (exponent == 0) {
        // Zero or subnormal: fraction * 2^-24, exact in a double.
        const double magnitude = static_cast<double>(fraction) * 0x1p-24;
        return sign != 0 ? -magnitude : magnitude;
    }
    // Infinity and NaN keep the all-ones exponent, and a NaN its payload.
    const std::uint64_t wide_exponent = exponent == 0x1f ? 0x7ff : exponent - 15 + 1023;
    return std::bit_cast<double>(sign | wide_exponent << 52 | fraction << 42);
}

// Each format's success test on its stored word (as an unsigned word of its size): true
// exactly when is_success holds for the double that the item path makes of the item.
template <ScoreFormat>
struct Item;

template <class Bits, bool (*Succeeds)(Bits)>
struct ItemOf {
    using Word = Bits;
    static bool success(Bits bits) { return Succeeds(bits); }
};

// An int becomes the nearest double (ties to even), as the interpreter converts it. That
// rounding never crosses 0.5: it is monotonic and exact at 0 and 1, so the double is at least
// 0.5 exactly when the integer is at least 1, and the test needs no conversion.
template <class Signed>
bool signed_success(std::make_unsigned_t<Signed> bits) {
    return std::bit_cast<Signed>(bits) >= 1;
}
template <class Unsigned>
bool unsigned_success(Unsigned bits) {
    return bits != 0;
}
// A bool item is True, 1.0, for any non-zero byte.
bool bool_success(std::uint8_t bits) {
    return bits != 0;
}
bool float16_success(std::uint16_t bits) {
    return is_success(half_to_double(bits));
}
// Widening a float to a double is exact.
bool float32_success(std::uint32_t bits) {
    return is_success(static_cast<double>(std::bit_cast<float>(bits)));
}
bool float64_success(std::uint64_t bits) {
    return is_success(std::bit_cast<double>(bits));
}

// clang-format off
template <> struct Item<ScoreFormat::boolean> : ItemOf<std::uint8_t, bool_success> {};
template <> struct Item<ScoreFormat::int8> : ItemOf<std::uint8_t, signed_success<std::int8_t>> {};
template <> struct Item<ScoreFormat::int16> : ItemOf<std::uint16_t, signed_success<std::int16_t>> {};
template <> struct Item<ScoreFormat::int32> : ItemOf<std::uint32_t, signed_success<std::int32_t>> {};
template <> struct Item<ScoreFormat::int64> : ItemOf<std::uint64_t, signed_success<std::int64_t>> {};
template <> struct Item<ScoreFormat::uint8> : ItemOf<std::uint8_t, unsigned_success<std::uint8_t>> {};
template <> struct Item<ScoreFormat::uint16> : ItemOf<std::uint16_t, unsigned_success<std::uint16_t>> {};
template <> struct Item<ScoreFormat::uint32> : ItemOf<std::uint32_t, unsigned_success<std::uint32_t>> {};
template <> struct Item<ScoreFormat::uint64> : ItemOf<std::uint64_t, unsigned_success<std::uint64_t>> {};
template <> struct Item<ScoreFormat::float16> : ItemOf<std::uint16_t, float16_success> {};
template <> struct Item<ScoreFormat::float32> : ItemOf<std::uint32_t, float32_success> {};
template <> struct Item<ScoreFormat::float64> : ItemOf<std::uint64_t, float64_success> {};
// clang-format on

template <class Word>
Word load(const std::byte* at) {
    Word word;
    std::memcpy(&word, at, sizeof word); // no alignment is promised
    return word;
}

// Successes among packed doubles in the machine's byte order, two lanes at a time and without
// a branch: scores that mix successes and failures at random would mispredict every other one.
// The lanes compare as is_success does (ordered, so NaN fails).
std::uint64_t count_packed_doubles(const std::byte* first, std::size_t count) {
    using Lanes = double __attribute__((vector_size(16)));
    using Flags = std::int64_t __attribute__((vector_size(16))); // -1 where the lane succeeds
    constexpr Lanes threshold{promotion::SUCCESS_THRESHOLD, promotion::SUCCESS_THRESHOLD};
    Flags front{};
    Flags back{};
    std::size_t i = 0;
    for (; i + 4 <= count; i += 4) {
        front -= load<Lanes>(first + i * sizeof(double)) >= threshold;
        back -= load<Lanes>(first + (i + 2) * sizeof(double)) >= threshold;
    }
    auto successes = static_cast<std::uint64_t>(front[0] + front[1] + back[0] + back[1]);
    for (; i < count; ++i) {
        successes += is_success(load<double>(first + i * sizeof(double))) ? 1 : 0;
    }
    return successes;
}

// Every other layout, one item after another. No branch depends on an item, and a stride known
// to be the item's size lets the compiler vectorise the loop.
template <class Format, bool Swapped, bool Packed>
std::uint64_t count_items(const ScoreMemory& scores) {
    using Word = typename Format::Word;
    const std::ptrdiff_t stride = Packed ? static_cast<std::ptrdiff_t>(sizeof(Word)) : scores.stride;
    std::uint64_t successes = 0;
    for (std::size_t i = 0; i < scores.count; ++i) {
        Word word = load<Word>(scores.first + static_cast<std::ptrdiff_t>(i) * stride);
        if constexpr (Swapped) {
            word = std::byteswap(word);
        }
        successes += Format::success(word) ? 1 : 0;
    }
    return successes;
}

template <ScoreFormat F>
std::uint64_t count_format(const ScoreMemory& scores) {
    using Format = Item<F>;
    constexpr auto size = static_cast<std::ptrdiff_t>(sizeof(typename Format::Word));
    const bool packed = scores.stride == size;
    if (scores.byte_swapped && size > 1) {
        return packed ? count_items<Format, true, true>(scores)
                      : count_items<Format, true, false>(scores);
    }
    if constexpr (F == ScoreFormat::float64) {
        if (packed) {
            return count_packed_doubles(scores.first, scores.count);
        }
    }
    return packed ? count_items<Format, false, true>(scores)
                  : count_items<Format, false, false>(scores);
}

std::uint64_t count_any(const ScoreMemory& scores) {
    switch (scores.format) {
    case ScoreFormat::boolean:
        return count_format<ScoreFormat::boolean>(scores);
    case ScoreFormat::int8:
        return count_format<ScoreFormat::int8>(scores);
    case ScoreFormat::int16:
        return count_format<ScoreFormat::int16>(scores);
    case ScoreFormat::int32:
        return count_format<ScoreFormat::int32>(scores);
    case ScoreFormat::int64:
        return count_format<ScoreFormat::int64>(scores);
    case ScoreFormat::uint8:
        return count_format<ScoreFormat::uint8>(scores);
    case ScoreFormat::uint16:
        return count_format<ScoreFormat::uint16>(scores);
    case ScoreFormat::uint32:
        return count_format<ScoreFormat::uint32>(scores);
    case ScoreFormat::uint64:
        return count_format<ScoreFormat::uint64>(scores);
    case ScoreFormat::float16:
        return count_format<ScoreFormat::float16>(scores);
    case ScoreFormat::float32:
        return count_format<ScoreFormat::float32>(scores);
    case ScoreFormat::float64:
        return count_format<ScoreFormat::float64>(scores);
    }
    return 0; // unreachable: every format is handled above
}

} // namespace

std::size_t item_size(ScoreFormat format) {
    switch (format) {
    case ScoreFormat::boolean:
    case ScoreFormat::int8:
    case ScoreFormat::uint8:
        return 1;
    case ScoreFormat::int16:
    case ScoreFormat::uint16:
    case ScoreFormat::float16:
        return 2;
    case ScoreFormat::int32:
    case ScoreFormat::uint32:
    case ScoreFormat::float32:
        return 4;
    case ScoreFormat::int64:
    case ScoreFormat::uint64:
    case ScoreFormat::float64:
        return 8;
    }
    return 0; // unreachable: every format is handled above
}

bool addressable(const std::byte* first, std::size_t count, std::ptrdiff_t stride,
                 std::size_t size) {
    if (count == 0) {
        return true; // nothing is read
    }
    constexpr std::uintptr_t top = std::numeric_limits<std::uintptr_t>::max();
    const auto base = reinterpret_cast<std::uintptr_t>(first);
    const std::uintptr_t step = stride < 0 ? std::uintptr_t{0} - static_cast<std::uintptr_t>(stride)
                                           : static_cast<std::uintptr_t>(stride);
    std::uintptr_t reach = 0; // distance from the first item to the farthest one
    if (first == nullptr || __builtin_mul_overflow(count - 1, step, &reach) ||
        reach > static_cast<std::uintptr_t>(std::numeric_limits<std::ptrdiff_t>::max()) ||
        size > top - base) {
        return false;
    }
    return stride < 0 ? reach <= base : reach <= top - base - size;
}

promotion::ArmCounts count_successes(const ScoreMemory& scores) {
    const std::uint64_t successes = count_any(scores);
    return promotion::ArmCounts{successes, scores.count - successes};
}

} // namespace velmora::py
