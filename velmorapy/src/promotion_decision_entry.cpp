// py_promotion_decision(champion, challenger, seed) -> (outcome, posterior, sessions_each)
//
// The promotion rule: "need_more_data" when either arm has fewer than 20 sessions, otherwise
// "promote" when the posterior estimate from 10000 samples is at least 0.95 and "hold" below.
#include <array>
#include <string_view>
#include <utility>

#include "arguments.hpp"
#include "boundary_frame.hpp"
#include "conversion.hpp"
#include "entries.hpp"
#include "generator/chacha_rng.hpp"
#include "promotion/promotion_decision.hpp"
#include "score_arms.hpp"

namespace velmora::py {

namespace {

constexpr std::array<std::string_view, 3> parameter_names{"champion", "challenger", "seed"};
constexpr ArgumentSpec promotion_decision_spec{"py_promotion_decision", parameter_names, 3};

PyResult<PyRef> promotion_decision_body(PyObject* args, PyObject* kwargs) {
    std::array<PyObject*, parameter_names.size()> slots{};
    if (auto bound = bind_arguments(promotion_decision_spec, args, kwargs, slots); !bound) {
        return std::unexpected(std::move(bound).error());
    }
    auto arms = convert_score_arms(slots[0], slots[1]);
    if (!arms) {
        return std::unexpected(std::move(arms).error());
    }
    auto seed = convert_argument("seed", slots[2], to_u64);
    if (!seed) {
        return std::unexpected(std::move(seed).error());
    }

    // Built before the rule looks at the lengths, so every call that converts seeds the same way.
    ChaChaRng generator = ChaChaRng::from_seed(*seed);
    // 10000 samples take milliseconds: no interruption check is needed here.
    const promotion::Decision decision =
        promotion::promotion_decision(arms->champion, arms->challenger, generator);
    return from_decision(decision.outcome, decision.posterior, decision.sessions_each);
}

PyObject* promotion_decision_entry(PyObject* /*self*/, PyObject* args, PyObject* kwargs) {
    return boundary_frame([&] { return promotion_decision_body(args, kwargs); });
}

} // namespace

PyMethodDef promotion_decision_method{
    "py_promotion_decision",
    reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&promotion_decision_entry)),
    ENTRY_FLAGS,
    "py_promotion_decision(champion, challenger, seed)\n"
    "--\n"
    "\n"
    "Full promotion decision. Returns a 3-tuple `(outcome, posterior, sessions_each)`.\n"
    "`outcome` is one of `\"need_more_data\"`, `\"hold\"`, `\"promote\"`.",
};

} // namespace velmora::py
