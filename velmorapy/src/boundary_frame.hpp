// The boundary frame: the wrapper around the body of every entry point the interpreter calls.
//
// The body returns PyResult<PyRef>: a new reference, or a Python error as a value. The frame
// returns the reference, or sets the error as the current exception and returns NULL. An
// internal failure unwinds to here and leaves as a PanicException; an allocation of the
// module's own that fails leaves as MemoryError. Nothing unwinds into the interpreter: a failure
// while the frame itself raises meets the guard, which ends the process.
#pragma once

#include <new>
#include <optional>
#include <utility>
#include <variant>

#include "failure/internal_failure.hpp"
#include "py_err.hpp"
#include "runtime/failure_reporting.hpp"

namespace velmora::py {

namespace detail {

struct OutOfMemory {};

using BodyOutcome = std::variant<PyResult<PyRef>, failure::InternalFailure, OutOfMemory>;

// Step 3 of the frame: hands the outcome to the interpreter.
PyObject* finish_boundary_frame(BodyOutcome outcome) noexcept;

} // namespace detail

template <class Body>
PyObject* boundary_frame(Body&& body) noexcept {
    std::optional<detail::BodyOutcome> outcome;
    try {
        outcome.emplace(std::in_place_index<0>, std::forward<Body>(body)());
    } catch (failure::InternalFailure& caught) {
        runtime::mark_internal_failure_caught();
        outcome.emplace(std::in_place_index<1>, std::move(caught));
    } catch (std::bad_alloc&) {
        outcome.emplace(std::in_place_index<2>);
    }
    return detail::finish_boundary_frame(std::move(*outcome));
}

} // namespace velmora::py
