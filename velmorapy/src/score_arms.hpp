// The two score lists that the posterior and the decision entries take first.
#pragma once

#include "promotion/arm_counts.hpp"
#include "py_err.hpp"

namespace velmora::py {

// Each arm's successes and failures: all that the estimate and the rule need of its scores.
struct ScoreArms {
    promotion::ArmCounts champion;
    promotion::ArmCounts challenger;
};

// Counts `champion`, then `challenger`; the first failure is reported, naming its argument.
PyResult<ScoreArms> convert_score_arms(PyObject* champion, PyObject* challenger);

} // namespace velmora::py
