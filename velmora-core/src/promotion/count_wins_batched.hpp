// The Monte Carlo comparison loop, evaluated a block of the stream at a time.
#pragma once

#include <cstdint>
#include <optional>

#include "generator/chacha_rng.hpp"
#include "promotion/interrupt_check.hpp"
#include "sampler/beta_sampler.hpp"

namespace velmora {
struct VectorKernels;
}

namespace velmora::promotion {

// Exactly count_wins(champion, challenger, samples, generator): the same count, and the
// generator left at the same position. Faster, because the expensive part of every rejection
// attempt (two logarithms, an exponential and three divisions) runs for many pairs of uniforms
// side by side instead of one attempt waiting on the last.
std::uint32_t count_wins_batched(const BetaSampler& champion, const BetaSampler& challenger,
                                 std::uint32_t samples, ChaChaRng& generator);

// The same with the attempt kernel of `kernels` rather than the process's choice, so that tests
// can prove every variant.
std::uint32_t count_wins_batched(const BetaSampler& champion, const BetaSampler& challenger,
                                 std::uint32_t samples, ChaChaRng& generator,
                                 const VectorKernels& kernels);

// The same count, asking `should_stop` each time the iterations done reach a multiple of
// `check_interval` (a nonzero count) with some still to do; nothing once it says so. All the
// iterations run as one loop: stopping to ask costs nothing, where separate calls per interval
// would each end in a slow tail and leave the generator out of step with its wide refills.
std::optional<std::uint32_t> count_wins_batched(const BetaSampler& champion,
                                                const BetaSampler& challenger,
                                                std::uint32_t samples, ChaChaRng& generator,
                                                InterruptCheck should_stop,
                                                std::uint32_t check_interval);

} // namespace velmora::promotion
