#include "random/exact_math.hpp"

#include <bit>
#include <cstdint>
#include <limits>

namespace velmora {
namespace {

constexpr double from_bits(std::uint64_t bits) {
    return std::bit_cast<double>(bits);
}

constexpr std::uint32_t high_word(double x) {
    return static_cast<std::uint32_t>(std::bit_cast<std::uint64_t>(x) >> 32);
}
constexpr std::uint32_t low_word(double x) {
    return static_cast<std::uint32_t>(std::bit_cast<std::uint64_t>(x));
}
constexpr double from_words(std::uint32_t high, std::uint32_t low) {
    return from_bits((std::uint64_t{high} << 32) | low);
}

// ln 2 split so that k * ln2_hi is exact for every exponent k in range.
constexpr double ln2_hi = from_bits(0x3FE62E42FEE00000);
constexpr double ln2_lo = from_bits(0x3DEA39EF35793C76);

constexpr double infinity = std::numeric_limits<double>::infinity();

// Logarithm polynomial in s^2, where s = f / (2 + f).
constexpr double lg1 = from_bits(0x3FE5555555555593);
constexpr double lg2 = from_bits(0x3FD999999997FA04);
constexpr double lg3 = from_bits(0x3FD2492494229359);
constexpr double lg4 = from_bits(0x3FCC71C51D8E78AF);
constexpr double lg5 = from_bits(0x3FC7466496CB03DE);
constexpr double lg6 = from_bits(0x3FC39A09D078C69F);
constexpr double lg7 = from_bits(0x3FC2F112DF3E5244);

constexpr double two_pow_54 = from_bits(0x4350000000000000);
// High word of sqrt(2)/2: reduced mantissas land in [sqrt(2)/2, sqrt(2)).
constexpr std::uint32_t sqrt_half_high = 0x3FE6A09E;

// Exponential: polynomial for the reduced argument and the range limits.
constexpr double p1 = from_bits(0x3FC555555555553E);
constexpr double p2 = from_bits(0xBF66C16C16BEBD93);
constexpr double p3 = from_bits(0x3F11566AAF25DE2C);
constexpr double p4 = from_bits(0xBEBBBD41C5D26BF1);
constexpr double p5 = from_bits(0x3E66376972BEA4D0);
constexpr double inv_ln2 = from_bits(0x3FF71547652B82FE);
constexpr double overflow_threshold = from_bits(0x40862E42FEFA39EF);
constexpr double underflow_threshold = from_bits(0xC0874910D52D3051);
constexpr double two_pow_1023 = from_bits(0x7FE0000000000000);
constexpr double two_pow_minus_969 = from_bits(0x0360000000000000);

// y * 2^k, stepping through intermediate powers so that neither factor overflows or underflows
// before the final product.
double scale_by_power_of_two(double y, int k) {
    if (k > 1023) {
        y *= two_pow_1023;
        k -= 1023;
        if (k > 1023) {
            y *= two_pow_1023;
            k -= 1023;
            if (k > 1023) {
                k = 1023;
            }
        }
    } else if (k < -1022) {
        y *= two_pow_minus_969;
        k += 969;
        if (k < -1022) {
            y *= two_pow_minus_969;
            k += 969;
            if (k < -1022) {
                k = -1022;
            }
        }
    }
    return y * from_bits(static_cast<std::uint64_t>(0x3FF + k) << 52);
}

} // namespace

double ln(double x) {
    std::uint32_t hx = high_word(x);
    int k = 0;
    if (hx < 0x00100000 || (hx >> 31) != 0) {
        if ((std::bit_cast<std::uint64_t>(x) << 1) == 0) {
            return -infinity;
        }
        if ((hx >> 31) != 0) {
            return std::numeric_limits<double>::quiet_NaN();
        }
        // Subnormal: scale into the normal range and account for it in the exponent.
        k -= 54;
        x *= two_pow_54;
        hx = high_word(x);
    } else if (hx >= 0x7FF00000) {
        return x;
    } else if (x == 1.0) {
        return 0.0;
    }
    // Split x into 2^k * m with m in [sqrt(2)/2, sqrt(2)), so that f = m - 1 stays small.
    hx += 0x3FF00000 - sqrt_half_high;
    k += static_cast<int>(hx >> 20) - 0x3FF;
    hx = (hx & 0x000FFFFF) + sqrt_half_high;
    const double m = from_words(hx, low_word(x));

    const double f = m - 1.0;
    const double hfsq = (0.5 * f) * f;
    const double s = f / (2.0 + f);
    const double z = s * s;
    const double w = z * z;
    const double t1 = w * (lg2 + w * (lg4 + w * lg6));
    const double t2 = z * (lg1 + w * (lg3 + w * (lg5 + w * lg7)));
    const double r = t2 + t1;
    const double dk = k;
    return ((((s * (hfsq + r)) + dk * ln2_lo) - hfsq) + f) + dk * ln2_hi;
}

double exp(double x) {
    const std::uint32_t hx = high_word(x);
    const std::uint32_t sign = hx >> 31;
    const std::uint32_t hw = hx & 0x7FFFFFFF;

    if (hw >= 0x4086232B) {
        if (x != x) {
            return x;
        }
        if (x > overflow_threshold) {
            return infinity;
        }
        if (x < underflow_threshold) {
            return 0.0;
        }
    }

    // Reduce to x = k ln2 + r with |r| <= ln2 / 2, r carried as hi - lo for extra precision.
    int k = 0;
    double hi = 0.0;
    double lo = 0.0;
    if (hw > 0x3FD62E42) {
        if (hw < 0x3FF0A2B2) {
            k = 1 - 2 * static_cast<int>(sign);
        } else {
            k = static_cast<int>(x * inv_ln2 + (sign != 0 ? -0.5 : 0.5));
        }
        const double dk = k;
        hi = x - dk * ln2_hi;
        lo = dk * ln2_lo;
        x = hi - lo;
    } else if (hw > 0x3E300000) {
        hi = x;
    } else {
        // |x| so small that 1 + x is the answer.
        return 1.0 + x;
    }

    const double xx = x * x;
    const double c = x - xx * (p1 + xx * (p2 + xx * (p3 + xx * (p4 + xx * p5))));
    const double y = 1.0 + ((((x * c) / (2.0 - c)) - lo) + hi);
    if (k == 0) {
        return y;
    }
    return scale_by_power_of_two(y, k);
}

} // namespace velmora
