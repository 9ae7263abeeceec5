#include "sampler/beta_constants.hpp"

#include "sampler/beta_sampler.hpp"

namespace velmora {

BetaConstants BetaConstants::of(const BetaSampler& sampler) {
    return BetaConstants{
        .algorithm = sampler.algorithm(),
        .switched = sampler.switched(),
        .a = sampler.a(),
        .b = sampler.b(),
        .alpha = sampler.alpha(),
        .beta = sampler.beta(),
        .gamma = sampler.gamma(),
        .kappa1 = sampler.kappa1(),
        .kappa2 = sampler.kappa2(),
    };
}

bool BetaConstants::identical_to(const BetaConstants& other) const {
    const auto same = [](double x, double y) {
        return std::bit_cast<std::uint64_t>(x) == std::bit_cast<std::uint64_t>(y);
    };
    return algorithm == other.algorithm && switched == other.switched && same(a, other.a) &&
           same(b, other.b) && same(alpha, other.alpha) && same(beta, other.beta) &&
           same(gamma, other.gamma) && same(kappa1, other.kappa1) && same(kappa2, other.kappa2);
}

} // namespace velmora
