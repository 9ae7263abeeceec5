#include "promotion/compact_values.hpp"

#include <bit>

namespace velmora {

std::size_t compact_values_scalar(std::uint64_t bits, const double* values, double* out) {
    std::size_t n = 0;
    for (; bits != 0; bits &= bits - 1) {
        out[n++] = values[std::countr_zero(bits)];
    }
    return n;
}

} // namespace velmora
