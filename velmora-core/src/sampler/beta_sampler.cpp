#include "sampler/beta_sampler.hpp"

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

#include "math/exact_math.hpp"

namespace velmora {
namespace {

constexpr double from_bits(std::uint64_t bits) {
    return std::bit_cast<double>(bits);
}

// Each constant is fixed by its bit pattern, so no compiler or parser can round it differently.
constexpr double one_twenty_fourth = from_bits(0x3FA5555555555555);
constexpr double one_seventy_second = from_bits(0x3F8C71C71C71C71C);
constexpr double seven_ninths = from_bits(0x3FE8E38E38E38E39);

constexpr double not_applicable = std::numeric_limits<double>::quiet_NaN();
constexpr double infinity = std::numeric_limits<double>::infinity();

} // namespace

std::string_view to_string(BetaError error) {
    switch (error) {
    case BetaError::AlphaTooSmall:
        return "AlphaTooSmall";
    case BetaError::BetaTooSmall:
        return "BetaTooSmall";
    }
    return "BetaError(unknown)";
}

std::expected<BetaSampler, BetaError> BetaSampler::create(double shape1, double shape2) {
    // Written as "not greater than 0" so that NaN is refused too.
    if (!(shape1 > 0)) {
        return std::unexpected(BetaError::AlphaTooSmall);
    }
    if (!(shape2 > 0)) {
        return std::unexpected(BetaError::BetaTooSmall);
    }
    const bool lt = shape1 < shape2;
    const double larger = shape2 > shape1 ? shape2 : shape1;
    const double smaller = shape1 < shape2 ? shape1 : shape2;

    BetaSampler sampler;
    sampler.alpha_ = shape1 + shape2;
    sampler.gamma_ = not_applicable;
    sampler.delta_ = not_applicable;
    sampler.kappa1_ = not_applicable;
    sampler.kappa2_ = not_applicable;
    if (smaller > 1) {
        sampler.algorithm_ = BetaAlgorithm::BB;
        sampler.a_ = smaller;
        sampler.b_ = larger;
        sampler.switched_ = !lt;
        sampler.beta_ =
            std::sqrt((sampler.alpha_ - 2) / ((smaller + smaller) * larger - sampler.alpha_));
        sampler.gamma_ = 1 / sampler.beta_ + smaller;
    } else {
        sampler.algorithm_ = BetaAlgorithm::BC;
        sampler.a_ = larger;
        sampler.b_ = smaller;
        sampler.switched_ = lt;
        sampler.beta_ = 1 / smaller;
        sampler.delta_ = (larger + 1) - smaller;
        // The divisor multiplies by the stored reciprocal rather than dividing by smaller; the
        // two differ in the last bit for some shapes.
        sampler.kappa1_ = ((one_twenty_fourth * smaller + one_seventy_second) * sampler.delta_) /
                          (larger * sampler.beta_ - seven_ninths);
        sampler.kappa2_ = (0.25 / sampler.delta_ + 0.5) * smaller + 0.25;
    }
    return sampler;
}

double BetaSampler::sample(ChaChaRng& rng) const {
    return algorithm_ == BetaAlgorithm::BB ? sample_bb(rng) : sample_bc(rng);
}

double BetaSampler::sample_bb(ChaChaRng& rng) const {
    for (;;) {
        const double u1 = rng.uniform_open01();
        const double u2 = rng.uniform_open01();
        const double v = beta_ * ln(u1 / (1 - u1));
        const double w = a_ * exp(v);
        const double z = (u1 * u1) * u2;
        const double r = gamma_ * v - LN_4;
        const double s = (a_ + r) - w;
        // Cheap squeeze first: most attempts end here without another logarithm.
        if ((s + 1) + LN_5 >= 5 * z) {
            return result_from(w);
        }
        const double t = ln(z);
        if (s >= t) {
            return result_from(w);
        }
        // Written as "not less than" so that a NaN comparison accepts.
        if (!(r + alpha_ * ln(alpha_ / (b_ + w)) < t)) {
            return result_from(w);
        }
    }
}

double BetaSampler::sample_bc(ChaChaRng& rng) const {
    for (;;) {
        const double u1 = rng.uniform_open01();
        const double u2 = rng.uniform_open01();
        double z;
        if (u1 < 0.5) {
            const double y = u1 * u2;
            z = u1 * y;
            if ((0.25 * u2 + z) - y >= kappa1_) {
                continue;
            }
        } else {
            z = (u1 * u1) * u2;
            if (z <= 0.25) {
                // Inside the region accepted outright: no final test needed.
                const double v = beta_ * ln(u1 / (1 - u1));
                return result_from(a_ * exp(v));
            }
            if (z >= kappa2_) {
                continue;
            }
        }
        const double v = beta_ * ln(u1 / (1 - u1));
        const double w = a_ * exp(v);
        if (!(alpha_ * (ln(alpha_ / (b_ + w)) + v) - LN_4 < ln(z))) {
            return result_from(w);
        }
    }
}

double BetaSampler::result_from(double w) const {
    if (switched_) {
        return b_ / (b_ + w);
    }
    // w / (b + w) would be inf / inf = NaN; the limit is 1.
    return w == infinity ? 1.0 : w / (b_ + w);
}

} // namespace velmora
