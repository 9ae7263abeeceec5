// The SSSE3 level: the four-block refill in 128-bit rows, its 16- and 8-bit rotations one byte
// shuffle each.
#include <immintrin.h>

#include "isa/kernel_prerequisites.hpp"

VELMORA_BEGIN_TARGET("ssse3")

#include "generator/chacha_rounds.hpp"
#include "isa/x86/rows128.hpp"

namespace velmora::isa::ssse3 {
namespace {

struct Isa {
    static constexpr bool BYTE_SHUFFLE = true;
};

constexpr RefillFn refill = chacha::refill_rows<x86::Rows128<Isa>>;

} // namespace
} // namespace velmora::isa::ssse3

VELMORA_END_TARGET

namespace velmora::isa::ssse3 {

LevelCode level_code() {
    return own_refills<refill>();
}

} // namespace velmora::isa::ssse3
