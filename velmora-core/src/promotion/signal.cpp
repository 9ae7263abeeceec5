#include "promotion/signal.hpp"

namespace velmora::promotion {

std::string UnknownSignalKind::message() const {
    std::string text_of_message = "unknown kind: ";
    text_of_message += text;
    return text_of_message;
}

std::expected<SignalKind, UnknownSignalKind> parse_signal_kind(std::string_view text) {
    // Whole-byte comparison: "Explicit", " explicit" and "explicitly" are all unknown.
    if (text == "explicit") {
        return SignalKind::Explicit;
    }
    if (text == "implicit") {
        return SignalKind::Implicit;
    }
    return std::unexpected(UnknownSignalKind{std::string(text)});
}

} // namespace velmora::promotion
