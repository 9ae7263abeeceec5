// The Monte Carlo comparison loop: how often the challenger's posterior draw is the larger.
#pragma once

#include <cstdint>

#include "generator/chacha_rng.hpp"
#include "sampler/beta_sampler.hpp"

namespace velmora::promotion {

// Runs `samples` iterations; each draws from the champion's sampler and then from the
// challenger's, both from `generator`, and counts a win when the challenger's draw is strictly
// larger. This is the reference loop: any faster engine must reproduce its counts exactly.
std::uint32_t count_wins(const BetaSampler& champion, const BetaSampler& challenger,
                         std::uint32_t samples, ChaChaRng& generator);

} // namespace velmora::promotion
