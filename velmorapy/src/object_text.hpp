// The text of a Python object in a message.
#pragma once

#include <string>

#include "python.hpp"

namespace velmora::py {

// str() of the object as UTF-8 (lone surrogates become U+FFFD). When str() raises, the error
// goes to the unraisable hook and the text is "<unprintable {type name} object>".
std::string str_text(PyObject* object);

// As str_text, with repr().
std::string repr_text(PyObject* object);

// The UTF-8 text of a str object; a lone surrogate becomes U+FFFD instead of failing.
std::string unicode_text(PyObject* string);

} // namespace velmora::py
