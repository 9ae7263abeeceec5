// The processor-specific kernels of the random source, chosen once per process by instruction-set
// level. Every kernel gives exactly the results of its portable counterpart.
#pragma once

#include "random/beta_attempts.hpp"
#include "random/chacha_refill.hpp"
#include "random/compact_values.hpp"
#include "random/uniform_pairs.hpp"
#include "simd/cpu_level.hpp"

namespace velmora {

struct VectorKernels {
    CpuLevel level;
    RefillFn refill;
    WideRefillFn wide_refill;
    UniformPairsFn uniform_pairs;
    AttemptKernel attempts;
    CompactFn compact;
};

// The kernels built for `level`, whether or not this processor can run them. Tests use this to
// force every variant in turn (where cpu_supports(level)); production code uses the one below.
const VectorKernels& vector_kernels_for(CpuLevel level);

// The kernels for active_cpu_level(), chosen on first use.
const VectorKernels& active_vector_kernels();

} // namespace velmora
