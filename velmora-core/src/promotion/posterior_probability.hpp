// Monte Carlo estimate of P(challenger's success rate > champion's) from per-session scores.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "generator/chacha_rng.hpp"
#include "promotion/arm_counts.hpp"
#include "promotion/interrupt_check.hpp"
#include "sampler/beta_sampler.hpp"

namespace velmora::promotion {

// Iterations between two interruption checks: frequent enough that a cancelled call stops
// within milliseconds, rare enough that the check costs nothing measurable.
inline constexpr std::uint32_t INTERRUPT_CHECK_INTERVAL = 65536;

// A Beta sampler whose parameters are known to be valid; a rejection means an invariant broke
// and is raised as an internal failure.
BetaSampler checked_beta_sampler(double shape1, double shape2);

// The arm's Beta(successes + 1, failures + 1) posterior under a uniform prior.
BetaSampler posterior_sampler(const ArmCounts& counts);

// Each arm gets its posterior, then `samples` iterations draw from both (champion first) and
// the result is wins / samples: NaN when `samples` is 0.
double posterior_probability(std::span<const double> champion, std::span<const double> challenger,
                             std::uint32_t samples, ChaChaRng& generator);

// The same estimate, asking `should_stop` about every INTERRUPT_CHECK_INTERVAL iterations. It
// returns nothing once `should_stop` says so; otherwise the very result of the overload above.
std::optional<double> posterior_probability(std::span<const double> champion,
                                            std::span<const double> challenger,
                                            std::uint32_t samples, ChaChaRng& generator,
                                            InterruptCheck should_stop);

} // namespace velmora::promotion
