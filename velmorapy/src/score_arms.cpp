#include "score_arms.hpp"

#include <utility>

#include "arguments.hpp"
#include "conversion.hpp"

namespace velmora::py {

PyResult<ScoreArms> convert_score_arms(PyObject* champion, PyObject* challenger) {
    auto champion_scores = convert_argument("champion", champion, to_double_list);
    if (!champion_scores) {
        return std::unexpected(std::move(champion_scores).error());
    }
    auto challenger_scores = convert_argument("challenger", challenger, to_double_list);
    if (!challenger_scores) {
        return std::unexpected(std::move(challenger_scores).error());
    }
    return ScoreArms{std::move(*champion_scores), std::move(*challenger_scores)};
}

} // namespace velmora::py
