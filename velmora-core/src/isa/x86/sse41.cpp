// The SSE4.1 level: the four-block refill in 128-bit rows with byte-shuffle rotations, built
// for SSE4.1.
#include <immintrin.h>

#include "isa/kernel_prerequisites.hpp"

VELMORA_BEGIN_TARGET("sse4.1")

#include "generator/chacha_rounds.hpp"
#include "isa/x86/rows128.hpp"

namespace velmora::isa::sse41 {
namespace {

struct Isa {
    static constexpr bool BYTE_SHUFFLE = true;
};

constexpr RefillFn refill = chacha::refill_rows<x86::Rows128<Isa>>;

} // namespace
} // namespace velmora::isa::sse41

VELMORA_END_TARGET

namespace velmora::isa::sse41 {

LevelCode level_code() {
    return own_refills<refill>();
}

} // namespace velmora::isa::sse41
