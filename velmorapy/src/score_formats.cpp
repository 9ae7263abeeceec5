#include "score_formats.hpp"

#include <bit>
#include <cstdint>

namespace velmora::py {
namespace {

template <class Integer>
constexpr ScoreFormat integer_format() {
    constexpr bool is_signed = static_cast<Integer>(-1) < 0;
    switch (sizeof(Integer)) {
    case 1:
        return is_signed ? ScoreFormat::int8 : ScoreFormat::uint8;
    case 2:
        return is_signed ? ScoreFormat::int16 : ScoreFormat::uint16;
    case 4:
        return is_signed ? ScoreFormat::int32 : ScoreFormat::uint32;
    default:
        static_assert(sizeof(Integer) <= 8);
        return is_signed ? ScoreFormat::int64 : ScoreFormat::uint64;
    }
}

std::optional<ScoreFormat> typestr_kind(char kind, char size) {
    switch (kind) {
    case 'b':
        return size == '1' ? std::optional(ScoreFormat::boolean) : std::nullopt;
    case 'i':
    case 'u': {
        const bool is_signed = kind == 'i';
        switch (size) {
        case '1':
            return is_signed ? ScoreFormat::int8 : ScoreFormat::uint8;
        case '2':
            return is_signed ? ScoreFormat::int16 : ScoreFormat::uint16;
        case '4':
            return is_signed ? ScoreFormat::int32 : ScoreFormat::uint32;
        case '8':
            return is_signed ? ScoreFormat::int64 : ScoreFormat::uint64;
        default:
            return std::nullopt;
        }
    }
    case 'f':
        switch (size) {
        case '2':
            return ScoreFormat::float16;
        case '4':
            return ScoreFormat::float32;
        case '8':
            return ScoreFormat::float64;
        default:
            return std::nullopt; // long double ("f12", "f16") rounds: the item path does that
        }
    default:
        return std::nullopt;
    }
}

} // namespace

std::optional<StoredFormat> from_array_typestr(std::string_view typestr) {
    if (typestr.size() != 3) {
        return std::nullopt;
    }
    const std::optional<ScoreFormat> format = typestr_kind(typestr[1], typestr[2]);
    if (!format) {
        return std::nullopt;
    }
    constexpr bool little_machine = std::endian::native == std::endian::little;
    switch (typestr[0]) {
    case '=':
        return StoredFormat{*format, false};
    case '|': // "not applicable": only a one-byte item has no byte order
        return item_size(*format) == 1 ? std::optional(StoredFormat{*format, false})
                                       : std::nullopt;
    case '<':
        return StoredFormat{*format, !little_machine && item_size(*format) > 1};
    case '>':
        return StoredFormat{*format, little_machine && item_size(*format) > 1};
    default:
        return std::nullopt;
    }
}

std::optional<ScoreFormat> from_native_buffer_format(std::string_view format,
                                                     std::size_t item_size_in_bytes) {
    if (format.starts_with('@')) {
        format.remove_prefix(1);
    }
    if (format.size() != 1) {
        return std::nullopt;
    }
    std::optional<ScoreFormat> score_format;
    switch (format[0]) {
    case '?':
        score_format = ScoreFormat::boolean;
        break;
    case 'b':
        score_format = integer_format<signed char>();
        break;
    case 'B':
        score_format = integer_format<unsigned char>();
        break;
    case 'h':
        score_format = integer_format<short>();
        break;
    case 'H':
        score_format = integer_format<unsigned short>();
        break;
    case 'i':
        score_format = integer_format<int>();
        break;
    case 'I':
        score_format = integer_format<unsigned int>();
        break;
    case 'l':
        score_format = integer_format<long>();
        break;
    case 'L':
        score_format = integer_format<unsigned long>();
        break;
    case 'q':
        score_format = integer_format<long long>();
        break;
    case 'Q':
        score_format = integer_format<unsigned long long>();
        break;
    case 'n':
        score_format = integer_format<std::ptrdiff_t>();
        break;
    case 'N':
        score_format = integer_format<std::size_t>();
        break;
    case 'P': // a pointer iterates as its address, an int
        score_format = integer_format<std::uintptr_t>();
        break;
    case 'f':
        score_format = ScoreFormat::float32;
        break;
    case 'd':
        score_format = ScoreFormat::float64;
        break;
    default:
        // 'e' among others: a memoryview does not iterate half floats, so the item path raises.
        return std::nullopt;
    }
    if (item_size(*score_format) != item_size_in_bytes) {
        return std::nullopt;
    }
    return score_format;
}

} // namespace velmora::py
