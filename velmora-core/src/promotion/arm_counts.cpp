#include "promotion/arm_counts.hpp"

namespace velmora::promotion {

ArmCounts count_successes(std::span<const double> scores) {
    std::uint64_t successes = 0;
    for (const double score : scores) {
        if (is_success(score)) {
            ++successes;
        }
    }
    return ArmCounts{successes, scores.size() - successes};
}

} // namespace velmora::promotion
