#include "conversion.hpp"

#include <algorithm>
#include <limits>

#include "api_failure.hpp"
#include "arguments.hpp"

namespace velmora::py {
namespace {

// A sequence's reported length is only a hint (a __len__ may claim anything): reserve at most
// this many items up front and let the vector grow with what iteration really yields.
constexpr std::size_t MAX_RESERVED_ITEMS = 4096;

bool has_type_flag(PyObject* object, unsigned long flag) {
    return (PyType_GetFlags(Py_TYPE(object)) & flag) != 0;
}

std::size_t reservation_for(PyObject* sequence) {
    const Py_ssize_t length = PySequence_Size(sequence);
    if (length < 0) {
        // Through fetch, so that a PanicException raised by __len__ is resumed, not ignored.
        (void)PyErr::fetch();
        return 0;
    }
    return std::min(static_cast<std::size_t>(length), MAX_RESERVED_ITEMS);
}

// The errors of an object that is no sequence of items, a str included.
PyResult<void> require_sequence(PyObject* object) {
    if (has_type_flag(object, Py_TPFLAGS_UNICODE_SUBCLASS)) {
        return std::unexpected(PyErr::type_error("Can't extract `str` to `list`"));
    }
    if (!PySequence_Check(object)) {
        return std::unexpected(type_mismatch_error(object, "Sequence"));
    }
    return {};
}

// Converts each item that iteration yields, in order, and hands it to `consume`; the first
// failure ends the iteration.
template <class Converter, class Consumer>
PyResult<void> convert_iterated(PyObject* object, Converter convert, Consumer consume) {
    PyRef iterator = PyRef::steal(PyObject_GetIter(object));
    if (!iterator) {
        return std::unexpected(PyErr::fetch());
    }
    while (PyRef item = PyRef::steal(PyIter_Next(iterator.get()))) {
        auto converted = convert(item.get());
        if (!converted) {
            return std::unexpected(std::move(converted).error());
        }
        consume(std::move(*converted));
    }
    if (std::optional<PyErr> failed = PyErr::take()) {
        return std::unexpected(std::move(*failed));
    }
    return {};
}

template <class Converter>
auto to_list(PyObject* object, Converter convert)
    -> PyResult<std::vector<typename decltype(convert(object))::value_type>> {
    using Item = typename decltype(convert(object))::value_type;
    if (auto sequence = require_sequence(object); !sequence) {
        return std::unexpected(std::move(sequence).error());
    }
    std::vector<Item> items;
    items.reserve(reservation_for(object));
    auto converted =
        convert_iterated(object, convert, [&](Item&& item) { items.push_back(std::move(item)); });
    if (!converted) {
        return std::unexpected(std::move(converted).error());
    }
    return items;
}

} // namespace

PyResult<double> to_double(PyObject* object) {
    const double value = PyFloat_AsDouble(object);
    if (value == -1.0) {
        // -1.0 is also a genuine value: only a pending error makes it a failure.
        if (std::optional<PyErr> failed = PyErr::take()) {
            return std::unexpected(std::move(*failed));
        }
    }
    return value;
}

PyResult<std::uint64_t> to_u64(PyObject* object) {
    unsigned long long value = 0;
    if (has_type_flag(object, Py_TPFLAGS_LONG_SUBCLASS)) {
        value = PyLong_AsUnsignedLongLong(object);
    } else {
        PyRef index = PyRef::steal(PyNumber_Index(object));
        if (!index) {
            return std::unexpected(PyErr::fetch());
        }
        value = PyLong_AsUnsignedLongLong(index.get());
    }
    if (value == std::numeric_limits<unsigned long long>::max()) {
        // 2**64 - 1 is also a genuine value.
        if (std::optional<PyErr> failed = PyErr::take()) {
            return std::unexpected(std::move(*failed));
        }
    }
    return static_cast<std::uint64_t>(value);
}

PyResult<std::uint32_t> to_u32(PyObject* object) {
    PyResult<std::uint64_t> value = to_u64(object);
    if (!value) {
        return std::unexpected(std::move(value).error());
    }
    if (*value > std::numeric_limits<std::uint32_t>::max()) {
        return std::unexpected(
            PyErr::overflow_error("out of range integral type conversion attempted"));
    }
    return static_cast<std::uint32_t>(*value);
}

PyResult<std::string> to_text(PyObject* object) {
    if (!has_type_flag(object, Py_TPFLAGS_UNICODE_SUBCLASS)) {
        return std::unexpected(type_mismatch_error(object, "PyString"));
    }
    Py_ssize_t size = 0;
    const char* utf8 = PyUnicode_AsUTF8AndSize(object, &size);
    if (utf8 == nullptr) {
        return std::unexpected(PyErr::fetch()); // lone surrogates: the interpreter's error
    }
    return std::string(utf8, static_cast<std::size_t>(size));
}

PyResult<TextValuePair> to_signal_pair(PyObject* object) {
    if (!has_type_flag(object, Py_TPFLAGS_TUPLE_SUBCLASS)) {
        return std::unexpected(type_mismatch_error(object, "PyTuple"));
    }
    const Py_ssize_t length = PyTuple_Size(object);
    if (length != 2) {
        return std::unexpected(PyErr::value_error(
            "expected tuple of length 2, but got tuple of length " + std::to_string(length)));
    }
    PyObject* kind = PyTuple_GetItem(object, 0);
    PyObject* value = PyTuple_GetItem(object, 1);
    if (kind == nullptr || value == nullptr) {
        return std::unexpected(PyErr::fetch());
    }
    PyResult<std::string> text = to_text(kind);
    if (!text) {
        return std::unexpected(std::move(text).error());
    }
    PyResult<double> number = to_double(value);
    if (!number) {
        return std::unexpected(std::move(number).error());
    }
    return TextValuePair{std::move(*text), *number};
}

namespace {

// Successes among the scores seen so far; nothing is kept of the scores themselves.
struct SuccessTally {
    std::uint64_t sessions = 0;
    std::uint64_t successes = 0;

    void add(double score) {
        ++sessions;
        successes += promotion::is_success(score) ? 1 : 0;
    }
    promotion::ArmCounts counts() const { return {successes, sessions - successes}; }
};

// An exact list or tuple by index: the same items in the same order as its iterator yields, at a
// fraction of the cost. The length is read again before every item, as the list iterator does,
// because an item's __float__ may grow or shrink the list; and each item is held while it
// converts, since that same __float__ could drop the list's own reference to it. Subclasses,
// whose __len__ or __iter__ may say anything, take the general path.
PyResult<promotion::ArmCounts> count_exact_list_or_tuple(PyObject* object, bool is_list) {
    const auto size = [&] { return is_list ? PyList_Size(object) : PyTuple_Size(object); };
    SuccessTally tally;
    for (Py_ssize_t i = 0; i < size(); ++i) {
        PyRef item =
            PyRef::borrow(is_list ? PyList_GetItem(object, i) : PyTuple_GetItem(object, i));
        PyResult<double> converted = to_double(item.get());
        if (!converted) {
            return std::unexpected(std::move(converted).error());
        }
        tally.add(*converted);
    }
    return tally.counts();
}

} // namespace

PyResult<promotion::ArmCounts> count_score_items(PyObject* object) {
    if (PyList_CheckExact(object) || PyTuple_CheckExact(object)) {
        return count_exact_list_or_tuple(object, PyList_CheckExact(object));
    }
    if (auto sequence = require_sequence(object); !sequence) {
        return std::unexpected(std::move(sequence).error());
    }
    SuccessTally tally;
    auto converted = convert_iterated(object, to_double, [&](double score) { tally.add(score); });
    if (!converted) {
        return std::unexpected(std::move(converted).error());
    }
    return tally.counts();
}

PyResult<std::vector<TextValuePair>> to_pair_list(PyObject* object) {
    return to_list(object, to_signal_pair);
}

PyRef from_double(double value) {
    return made_or_api_failure(PyFloat_FromDouble(value));
}

PyRef from_decision(std::string_view outcome, double posterior, std::uint64_t sessions_each) {
    PyRef outcome_text = made_or_api_failure(
        PyUnicode_FromStringAndSize(outcome.data(), static_cast<Py_ssize_t>(outcome.size())));
    PyRef posterior_float = from_double(posterior);
    PyRef sessions = made_or_api_failure(PyLong_FromUnsignedLongLong(sessions_each));
    PyRef tuple = made_or_api_failure(PyTuple_New(3));
    // PyTuple_SetItem takes over each reference, also when it fails.
    PyTuple_SetItem(tuple.get(), 0, outcome_text.release());
    PyTuple_SetItem(tuple.get(), 1, posterior_float.release());
    PyTuple_SetItem(tuple.get(), 2, sessions.release());
    return tuple;
}

} // namespace velmora::py
