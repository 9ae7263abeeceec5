// The two score lists that the posterior and the decision entries take first.
#pragma once

#include <vector>

#include "py_err.hpp"

namespace velmora::py {

struct ScoreArms {
    std::vector<double> champion;
    std::vector<double> challenger;
};

// Converts `champion`, then `challenger`; the first failure is reported, naming its argument.
PyResult<ScoreArms> convert_score_arms(PyObject* champion, PyObject* challenger);

} // namespace velmora::py
