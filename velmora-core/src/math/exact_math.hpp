// Natural logarithm and exponential with results fixed bit for bit on every platform.
//
// The platform's math library rounds differently in the last bit for many arguments, which would
// change sampled values for a given seed. These routines use a fixed argument reduction and
// polynomial, in a fixed order of operations, so every build returns identical bits. They are
// faithful (within one ulp), not correctly rounded.
#pragma once

namespace velmora {

// ln(±0) = -inf, ln(negative) = NaN, ln(+inf) = +inf, ln(NaN) = NaN, ln(1) = +0.
[[nodiscard]] double ln(double x);

// exp(NaN) = NaN; overflows to +inf above 0x1.62e42fefa39efp+9, underflows to +0 below
// -0x1.74910d52d3051p+9; exp(x) = 1 + x for |x| <= about 2^-28.
[[nodiscard]] double exp(double x);

} // namespace velmora
