#include "score_arms.hpp"

#include <utility>

#include "arguments.hpp"
#include "score_counts.hpp"

namespace velmora::py {

PyResult<ScoreArms> convert_score_arms(PyObject* champion, PyObject* challenger) {
    auto champion_scores = convert_argument("champion", champion, count_scores);
    if (!champion_scores) {
        return std::unexpected(std::move(champion_scores).error());
    }
    auto challenger_scores = convert_argument("challenger", challenger, count_scores);
    if (!challenger_scores) {
        return std::unexpected(std::move(challenger_scores).error());
    }
    return ScoreArms{*champion_scores, *challenger_scores};
}

} // namespace velmora::py
