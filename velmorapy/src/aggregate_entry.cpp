// py_aggregate(signals) -> float
//
// The weighted mean of a list of (kind, value) signals: "explicit" weighs 5, "implicit" 1,
// values and result clamped to [0, 1]; 0.5 for an empty list; NaN passes through. Every item is
// converted before any kind is examined; the first unknown kind is a ValueError.
#include <array>

#include "arguments.hpp"
#include "boundary_frame.hpp"
#include "conversion.hpp"
#include "entries.hpp"
#include "promotion/aggregate.hpp"

namespace velmora::py {
namespace {

constexpr std::string_view AGGREGATE_PARAMETERS[] = {"signals"};
constexpr ArgumentSpec AGGREGATE_SPEC{"py_aggregate", AGGREGATE_PARAMETERS, 1};

PyResult<std::vector<promotion::Signal>> parse_signals(const std::vector<TextValuePair>& pairs) {
    std::vector<promotion::Signal> signals;
    signals.reserve(pairs.size());
    for (const auto& [kind_text, value] : pairs) {
        auto kind = promotion::parse_signal_kind(kind_text);
        if (!kind) {
            return std::unexpected(PyErr::value_error(kind.error().message()));
        }
        signals.push_back(promotion::Signal{*kind, value});
    }
    return signals;
}

PyResult<PyRef> aggregate_body(PyObject* args, PyObject* kwargs) {
    std::array<PyObject*, 1> slots{};
    if (auto bound = bind_arguments(AGGREGATE_SPEC, args, kwargs, slots); !bound) {
        return std::unexpected(std::move(bound).error());
    }
    auto pairs = convert_argument("signals", slots[0], to_pair_list);
    if (!pairs) {
        return std::unexpected(std::move(pairs).error());
    }
    auto signals = parse_signals(*pairs);
    if (!signals) {
        return std::unexpected(std::move(signals).error());
    }
    return from_double(promotion::aggregate(*signals, promotion::DEFAULT_SIGNAL_WEIGHTS));
}

PyObject* aggregate_entry(PyObject* /*module*/, PyObject* args, PyObject* kwargs) {
    return boundary_frame([&] { return aggregate_body(args, kwargs); });
}

constexpr char AGGREGATE_DOC[] =
    "py_aggregate(signals)\n"
    "--\n"
    "\n"
    "Weighted-mean aggregate over a list of `(kind, value)` signal tuples.\n"
    "\n"
    "`kind` is the string `\"explicit\"` or `\"implicit\"`.";

} // namespace

PyMethodDef aggregate_method{
    "py_aggregate",
    // METH_KEYWORDS entries take a third argument; CPython calls them by the flags.
    reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(aggregate_entry)),
    ENTRY_FLAGS,
    AGGREGATE_DOC,
};

} // namespace velmora::py
