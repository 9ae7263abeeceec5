#include "promotion/aggregate.hpp"

namespace velmora::promotion {

double clamp_unit(double x) noexcept {
    // Two ordered comparisons in this order: NaN fails both and comes out unchanged.
    if (x < 0.0) {
        x = 0.0;
    }
    if (x > 1.0) {
        x = 1.0;
    }
    return x;
}

double aggregate(std::span<const Signal> signals, const SignalWeights& weights) noexcept {
    if (signals.empty()) {
        return NEUTRAL_SCORE;
    }
    double sum = 0.0;
    double total = 0.0;
    for (const Signal& signal : signals) {
        const double weight = weights[signal.kind];
        // The product is rounded on its own before the addition (the core is built without
        // contraction), so results match bit for bit everywhere.
        const double weighted = clamp_unit(signal.value) * weight;
        sum += weighted;
        total += weight;
    }
    return clamp_unit(sum / total);
}

} // namespace velmora::promotion
