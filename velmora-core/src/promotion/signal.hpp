// Feedback signals: their kinds, their weights and the parsing of a kind's text form.
#pragma once

#include <array>
#include <cstddef>
#include <expected>
#include <string>
#include <string_view>

namespace velmora::promotion {

enum class SignalKind : std::size_t { Explicit = 0, Implicit = 1 };

struct Signal {
    SignalKind kind;
    // Stored unchanged: out-of-range values, infinities and NaN are legal here; only the
    // aggregation clamps them.
    double value;
};

// One weight per kind, indexed by SignalKind. Weights are positive, so a non-empty list never
// has a zero total weight.
struct SignalWeights {
    std::array<double, 2> by_kind{5.0, 1.0};

    double operator[](SignalKind kind) const noexcept {
        return by_kind[static_cast<std::size_t>(kind)];
    }
};

inline constexpr SignalWeights DEFAULT_SIGNAL_WEIGHTS{};

// The score of an empty signal list.
inline constexpr double NEUTRAL_SCORE = 0.5;

// A kind text that names no kind, kept byte for byte as the caller gave it.
struct UnknownSignalKind {
    std::string text;

    // "unknown kind: " followed by the text, unquoted.
    std::string message() const;
};

// Exactly "explicit" or "implicit"; no trimming, case folding or normalisation.
std::expected<SignalKind, UnknownSignalKind> parse_signal_kind(std::string_view text);

} // namespace velmora::promotion
