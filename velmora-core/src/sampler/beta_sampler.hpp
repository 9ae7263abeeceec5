// Beta(shape1, shape2) variates from uniform doubles of a ChaChaRng, by Cheng's rejection
// algorithms: BB when both shape parameters exceed 1, BC otherwise.
#pragma once

#include <expected>
#include <string_view>

#include "generator/chacha_rng.hpp"
#include "sampler/beta_constants.hpp"

namespace velmora {

enum class BetaError {
    AlphaTooSmall, // shape1 is not greater than 0 (NaN included)
    BetaTooSmall,  // shape2 is not greater than 0 (NaN included)
};

std::string_view to_string(BetaError error);

// An immutable value, cheap to copy; all changing state lives in the generator.
class BetaSampler {
public:
    // Validates the shapes (shape1 first) and precomputes every constant of the chosen algorithm.
    // Infinite, huge or subnormal shapes are accepted; they may yield NaN draws.
    [[nodiscard]] static std::expected<BetaSampler, BetaError> create(double shape1, double shape2);

    // One variate in [0, 1]; draws two uniforms per attempt until an attempt is accepted.
    double sample(ChaChaRng& rng) const;

    BetaAlgorithm algorithm() const { return algorithm_; }
    // BB: the smaller shape, BC: the larger one.
    double a() const { return a_; }
    // BB: the larger shape, BC: the smaller one.
    double b() const { return b_; }
    // true: a draw maps to b / (b + w); false: to w / (b + w).
    bool switched() const { return switched_; }
    // The sum of the shapes.
    double alpha() const { return alpha_; }
    // BB: the square-root scale; BC: 1 / smaller shape.
    double beta() const { return beta_; }
    // BB only; NaN under BC.
    double gamma() const { return gamma_; }
    // BC only; NaN under BB.
    double delta() const { return delta_; }
    // BC only (the two rejection bounds); NaN under BB.
    double kappa1() const { return kappa1_; }
    double kappa2() const { return kappa2_; }

private:
    BetaSampler() = default;

    double sample_bb(ChaChaRng& rng) const;
    double sample_bc(ChaChaRng& rng) const;
    double result_from(double w) const;

    BetaAlgorithm algorithm_ = BetaAlgorithm::BB;
    double a_ = 0;
    double b_ = 0;
    bool switched_ = false;
    double alpha_ = 0;
    double beta_ = 0;
    double gamma_ = 0;
    double delta_ = 0;
    double kappa1_ = 0;
    double kappa2_ = 0;
};

} // namespace velmora
