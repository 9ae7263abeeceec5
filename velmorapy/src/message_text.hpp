// The text of an error message: a static literal, or an owned copy.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <variant>

namespace velmora::py {

class MessageText {
public:
    // A string literal lives for the whole process; keeping a view costs no allocation.
    template <std::size_t N>
    MessageText(const char (&literal)[N]) noexcept : text_(std::string_view(literal, N - 1)) {}
    MessageText(std::string owned) noexcept : text_(std::move(owned)) {}

    std::string_view view() const noexcept {
        return std::visit([](const auto& text) { return std::string_view(text); }, text_);
    }
    std::string into_owned() && {
        if (auto* owned = std::get_if<std::string>(&text_)) {
            return std::move(*owned);
        }
        return std::string(std::get<std::string_view>(text_));
    }

private:
    std::variant<std::string_view, std::string> text_;
};

} // namespace velmora::py
