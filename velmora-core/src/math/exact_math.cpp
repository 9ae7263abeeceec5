#include "math/exact_math.hpp"

#include <bit>
#include <cstdint>
#include <limits>

#include "math/exact_math_constants.hpp"

namespace velmora {
namespace {

using namespace exact_math;

constexpr std::uint32_t high_word(double x) {
    return static_cast<std::uint32_t>(std::bit_cast<std::uint64_t>(x) >> 32);
}
constexpr std::uint32_t low_word(double x) {
    return static_cast<std::uint32_t>(std::bit_cast<std::uint64_t>(x));
}
constexpr double from_words(std::uint32_t high, std::uint32_t low) {
    return from_bits((std::uint64_t{high} << 32) | low);
}

constexpr double infinity = std::numeric_limits<double>::infinity();

// y * 2^k, stepping through intermediate powers so that neither factor overflows or underflows
// before the final product.
double scale_by_power_of_two(double y, int k) {
    if (k > 1023) {
        y *= TWO_POW_1023;
        k -= 1023;
        if (k > 1023) {
            y *= TWO_POW_1023;
            k -= 1023;
            if (k > 1023) {
                k = 1023;
            }
        }
    } else if (k < -1022) {
        y *= TWO_POW_MINUS_969;
        k += 969;
        if (k < -1022) {
            y *= TWO_POW_MINUS_969;
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
    if (hx < LN_SMALLEST_NORMAL_HIGH || (hx >> 31) != 0) {
        if ((std::bit_cast<std::uint64_t>(x) << 1) == 0) {
            return -infinity;
        }
        if ((hx >> 31) != 0) {
            return std::numeric_limits<double>::quiet_NaN();
        }
        // Subnormal: scale into the normal range and account for it in the exponent.
        k -= 54;
        x *= TWO_POW_54;
        hx = high_word(x);
    } else if (hx >= LN_INFINITY_HIGH) {
        return x;
    } else if (x == 1.0) {
        return 0.0;
    }
    // Split x into 2^k * m with m in [sqrt(2)/2, sqrt(2)), so that f = m - 1 stays small.
    hx += 0x3FF00000 - SQRT_HALF_HIGH;
    k += static_cast<int>(hx >> 20) - 0x3FF;
    hx = (hx & 0x000FFFFF) + SQRT_HALF_HIGH;
    const double m = from_words(hx, low_word(x));

    const double f = m - 1.0;
    const double hfsq = (0.5 * f) * f;
    const double s = f / (2.0 + f);
    const double z = s * s;
    const double w = z * z;
    const double t1 = w * (LG2 + w * (LG4 + w * LG6));
    const double t2 = z * (LG1 + w * (LG3 + w * (LG5 + w * LG7)));
    const double r = t2 + t1;
    const double dk = k;
    return ((((s * (hfsq + r)) + dk * LN2_LO) - hfsq) + f) + dk * LN2_HI;
}

double exp(double x) {
    const std::uint32_t hx = high_word(x);
    const std::uint32_t sign = hx >> 31;
    const std::uint32_t hw = hx & 0x7FFFFFFF;

    if (hw >= EXP_RANGE_CHECK_HIGH) {
        if (x != x) {
            return x;
        }
        if (x > EXP_OVERFLOW_THRESHOLD) {
            return infinity;
        }
        if (x < EXP_UNDERFLOW_THRESHOLD) {
            return 0.0;
        }
    }

    // Reduce to x = k ln2 + r with |r| <= ln2 / 2, r carried as hi - lo for extra precision.
    int k = 0;
    double hi = 0.0;
    double lo = 0.0;
    if (hw > EXP_REDUCE_HIGH) {
        if (hw < EXP_UNIT_K_HIGH) {
            k = 1 - 2 * static_cast<int>(sign);
        } else {
            k = static_cast<int>(x * INV_LN2 + (sign != 0 ? -0.5 : 0.5));
        }
        const double dk = k;
        hi = x - dk * LN2_HI;
        lo = dk * LN2_LO;
        x = hi - lo;
    } else if (hw > EXP_TINY_HIGH) {
        hi = x;
    } else {
        // |x| so small that 1 + x is the answer.
        return 1.0 + x;
    }

    const double xx = x * x;
    const double c = x - xx * (P1 + xx * (P2 + xx * (P3 + xx * (P4 + xx * P5))));
    const double y = 1.0 + ((((x * c) / (2.0 - c)) - lo) + hi);
    if (k == 0) {
        return y;
    }
    return scale_by_power_of_two(y, k);
}

} // namespace velmora
