// The fixed constants of ln and exp, each given by its bit pattern so that no compiler or parser
// can round it differently. The scalar routines and their lane-wise forms both read them here.
#pragma once

#include <bit>
#include <cstdint>

namespace velmora::exact_math {

constexpr double from_bits(std::uint64_t bits) {
    return std::bit_cast<double>(bits);
}

// The double whose high 32 bits are `high` and low 32 bits are zero: the lane-wise code compares
// whole doubles where the scalar code compares high words.
constexpr double from_high_word(std::uint32_t high) {
    return from_bits(std::uint64_t{high} << 32);
}

// ln 2 split so that k * LN2_HI is exact for every exponent k in range.
inline constexpr double LN2_HI = from_bits(0x3FE62E42FEE00000);
inline constexpr double LN2_LO = from_bits(0x3DEA39EF35793C76);

// Logarithm polynomial in s^2, where s = f / (2 + f).
inline constexpr double LG1 = from_bits(0x3FE5555555555593);
inline constexpr double LG2 = from_bits(0x3FD999999997FA04);
inline constexpr double LG3 = from_bits(0x3FD2492494229359);
inline constexpr double LG4 = from_bits(0x3FCC71C51D8E78AF);
inline constexpr double LG5 = from_bits(0x3FC7466496CB03DE);
inline constexpr double LG6 = from_bits(0x3FC39A09D078C69F);
inline constexpr double LG7 = from_bits(0x3FC2F112DF3E5244);

// The logarithm's ordinary arguments: normal and finite (high words 0x00100000 to 0x7FEFFFFF).
inline constexpr std::uint32_t LN_SMALLEST_NORMAL_HIGH = 0x00100000;
inline constexpr std::uint32_t LN_INFINITY_HIGH = 0x7FF00000;
inline constexpr double TWO_POW_54 = from_bits(0x4350000000000000);
// High word of sqrt(2)/2: reduced mantissas land in [sqrt(2)/2, sqrt(2)).
inline constexpr std::uint32_t SQRT_HALF_HIGH = 0x3FE6A09E;

// Exponential: polynomial for the reduced argument.
inline constexpr double P1 = from_bits(0x3FC555555555553E);
inline constexpr double P2 = from_bits(0xBF66C16C16BEBD93);
inline constexpr double P3 = from_bits(0x3F11566AAF25DE2C);
inline constexpr double P4 = from_bits(0xBEBBBD41C5D26BF1);
inline constexpr double P5 = from_bits(0x3E66376972BEA4D0);
inline constexpr double INV_LN2 = from_bits(0x3FF71547652B82FE);

// Exponential: the high words of |x| where its cases change. At EXP_RANGE_CHECK_HIGH and above
// the result may overflow, underflow or be NaN; above EXP_REDUCE_HIGH the argument is reduced by
// k ln 2, with k = +-1 below EXP_UNIT_K_HIGH; at EXP_TINY_HIGH and below the result is 1 + x.
inline constexpr std::uint32_t EXP_RANGE_CHECK_HIGH = 0x4086232B;
inline constexpr std::uint32_t EXP_REDUCE_HIGH = 0x3FD62E42;
inline constexpr std::uint32_t EXP_UNIT_K_HIGH = 0x3FF0A2B2;
inline constexpr std::uint32_t EXP_TINY_HIGH = 0x3E300000;
inline constexpr double EXP_OVERFLOW_THRESHOLD = from_bits(0x40862E42FEFA39EF);
inline constexpr double EXP_UNDERFLOW_THRESHOLD = from_bits(0xC0874910D52D3051);
inline constexpr double TWO_POW_1023 = from_bits(0x7FE0000000000000);
inline constexpr double TWO_POW_MINUS_969 = from_bits(0x0360000000000000);

// Adding this to a double d with |d| < 2^51 rounds it to an integer held in the low mantissa
// bits; subtracting it again gives that integer as a double.
inline constexpr double ROUNDING_MAGIC = from_bits(0x4338000000000000); // 1.5 * 2^52

} // namespace velmora::exact_math
