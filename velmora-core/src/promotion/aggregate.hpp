// Folds feedback signals into one weighted score in [0, 1] (NaN when a value is NaN).
#pragma once

#include <span>

#include "promotion/signal.hpp"

namespace velmora::promotion {

// Clamps to [0, 1] with ordered comparisons, so NaN passes through unchanged.
double clamp_unit(double x) noexcept;

// The weighted mean of the clamped values, summed in list order; NEUTRAL_SCORE when empty.
double aggregate(std::span<const Signal> signals, const SignalWeights& weights) noexcept;

} // namespace velmora::promotion
