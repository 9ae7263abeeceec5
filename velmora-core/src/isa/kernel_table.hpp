// Which kernels run at each instruction-set level, chosen once per process. The table itself is
// in isa/kernel_table.cpp; every kernel gives exactly the results of its portable counterpart.
#pragma once

#include "isa/cpu_level.hpp"
#include "isa/level_code.hpp"

namespace velmora {

struct VectorKernels {
    CpuLevel level;
    RefillFn refill;
    WideRefillFn wide_refill;
    UniformPairsFn uniform_pairs;
    AttemptKernel attempts;
    LaneMath lane_math;
    CompactFn compact;
};

// The kernels of `level`, whether or not this processor can run them. Tests use this to force
// every variant in turn (where cpu_supports(level)); production code uses the one below.
const VectorKernels& vector_kernels_for(CpuLevel level);

// The kernels for active_cpu_level(), chosen on first use.
const VectorKernels& active_vector_kernels();

} // namespace velmora
