#include "promotion/posterior_probability.hpp"

#include <source_location>
#include <string>

#include "failure/internal_failure.hpp"
#include "promotion/count_wins_batched.hpp"

namespace velmora::promotion {

namespace {

struct ArmPosteriors {
    BetaSampler champion;
    BetaSampler challenger;
};

// Construction in a fixed order (champion first) keeps the steps reproducible.
ArmPosteriors arm_posteriors(const ArmCounts& champion, const ArmCounts& challenger) {
    BetaSampler champion_sampler = posterior_sampler(champion);
    BetaSampler challenger_sampler = posterior_sampler(challenger);
    return ArmPosteriors{champion_sampler, challenger_sampler};
}

double win_rate(std::uint32_t wins, std::uint32_t samples) {
    return static_cast<double>(wins) / static_cast<double>(samples);
}

} // namespace

BetaSampler checked_beta_sampler(double shape1, double shape2) {
    auto sampler = BetaSampler::create(shape1, shape2);
    if (!sampler) {
        failure::raise_internal_failure("valid Beta params: " +
                                            std::string(to_string(sampler.error())),
                                        std::source_location::current());
    }
    return *sampler;
}

BetaSampler posterior_sampler(const ArmCounts& counts) {
    // Each count is converted exactly to a double before 1 is added.
    return checked_beta_sampler(static_cast<double>(counts.successes) + 1.0,
                                static_cast<double>(counts.failures) + 1.0);
}

double posterior_probability(std::span<const double> champion, std::span<const double> challenger,
                             std::uint32_t samples, ChaChaRng& generator) {
    return posterior_probability(count_successes(champion), count_successes(challenger), samples,
                                 generator);
}

std::optional<double> posterior_probability(std::span<const double> champion,
                                            std::span<const double> challenger,
                                            std::uint32_t samples, ChaChaRng& generator,
                                            InterruptCheck should_stop) {
    return posterior_probability(count_successes(champion), count_successes(challenger), samples,
                                 generator, should_stop);
}

double posterior_probability(const ArmCounts& champion, const ArmCounts& challenger,
                             std::uint32_t samples, ChaChaRng& generator) {
    const ArmPosteriors arms = arm_posteriors(champion, challenger);
    return win_rate(count_wins_batched(arms.champion, arms.challenger, samples, generator),
                    samples);
}

std::optional<double> posterior_probability(const ArmCounts& champion, const ArmCounts& challenger,
                                            std::uint32_t samples, ChaChaRng& generator,
                                            InterruptCheck should_stop) {
    const ArmPosteriors arms = arm_posteriors(champion, challenger);
    const std::optional<std::uint32_t> wins = count_wins_batched(
        arms.champion, arms.challenger, samples, generator, should_stop, INTERRUPT_CHECK_INTERVAL);
    if (!wins) {
        return std::nullopt;
    }
    return win_rate(*wins, samples);
}

} // namespace velmora::promotion
