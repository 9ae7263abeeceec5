// py_posterior_probability(champion, challenger, samples, seed) -> float
//
// Monte Carlo estimate of P(challenger > champion): each arm's scores become a Beta posterior,
// `samples` draws from each are compared, and the share of challenger wins is returned (NaN for
// zero samples). Arguments convert in parameter order; the first failure is the one reported.
#include <array>
#include <string_view>
#include <utility>

#include "arguments.hpp"
#include "boundary_frame.hpp"
#include "conversion.hpp"
#include "entries.hpp"
#include "generator/chacha_rng.hpp"
#include "pending_signals.hpp"
#include "promotion/posterior_probability.hpp"
#include "score_arms.hpp"

namespace velmora::py {

namespace {

constexpr std::array<std::string_view, 4> parameter_names{"champion", "challenger", "samples",
                                                          "seed"};
constexpr ArgumentSpec posterior_probability_spec{"py_posterior_probability", parameter_names, 4};

PyResult<PyRef> posterior_probability_body(PyObject* args, PyObject* kwargs) {
    std::array<PyObject*, parameter_names.size()> slots{};
    if (auto bound = bind_arguments(posterior_probability_spec, args, kwargs, slots); !bound) {
        return std::unexpected(std::move(bound).error());
    }
    auto arms = convert_score_arms(slots[0], slots[1]);
    if (!arms) {
        return std::unexpected(std::move(arms).error());
    }
    auto samples = convert_argument("samples", slots[2], to_u32);
    if (!samples) {
        return std::unexpected(std::move(samples).error());
    }
    auto seed = convert_argument("seed", slots[3], to_u64);
    if (!seed) {
        return std::unexpected(std::move(seed).error());
    }

    // Seeded only now: a call that fails to convert never samples.
    ChaChaRng generator = ChaChaRng::from_seed(*seed);
    // A call of up to 2^32 - 1 samples can run for minutes with the lock held; polling for
    // signals between chunks keeps it interruptible without changing any result.
    PendingSignals pending_signals;
    const auto estimate = promotion::posterior_probability(arms->champion, arms->challenger,
                                                           *samples, generator, pending_signals);
    if (!estimate) {
        return std::unexpected(*pending_signals.take_error());
    }
    return from_double(*estimate);
}

PyObject* posterior_probability_entry(PyObject* /*self*/, PyObject* args, PyObject* kwargs) {
    return boundary_frame([&] { return posterior_probability_body(args, kwargs); });
}

} // namespace

PyMethodDef posterior_probability_method{
    "py_posterior_probability",
    reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&posterior_probability_entry)),
    ENTRY_FLAGS,
    "py_posterior_probability(champion, challenger, samples, seed)\n"
    "--\n"
    "\n"
    "Monte Carlo estimate of `P(challenger > champion)`.",
};

} // namespace velmora::py
