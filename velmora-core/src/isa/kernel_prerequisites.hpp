// Everything the generic kernels use, included by a level's source file before it opens its
// target region. The generic kernel headers include nothing themselves: a header first included
// inside a region would build its inline functions for that level, and the linker could then
// hand such a copy to baseline code.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

#include "generator/chacha_block.hpp"
#include "isa/level_code.hpp"
#include "isa/target.hpp"
#include "math/exact_math.hpp"
#include "math/exact_math_constants.hpp"
#include "sampler/attempt_block.hpp"

// Checked by every generic kernel header.
#define VELMORA_KERNEL_PREREQUISITES_INCLUDED 1
