// The two notations that describe an item in memory, read into the score formats counted from
// memory. A notation not listed gives nothing: such items take the item-by-item path.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

#include "score_memory.hpp"

namespace velmora::py {

struct StoredFormat {
    ScoreFormat format;
    bool byte_swapped;
};

// A numpy array-interface typestr: byte order ('<', '>', '=', or '|' for one byte), kind and
// size in bytes, such as "<f8", ">i2" or "|b1".
std::optional<StoredFormat> from_array_typestr(std::string_view typestr);

// A buffer's struct-module format of a single native item, such as "d" or "@q", as a
// memoryview iterates it: only the formats whose items it converts to bool, int or float.
// `item_size` must be the size that format has on this machine.
std::optional<ScoreFormat> from_native_buffer_format(std::string_view format,
                                                     std::size_t item_size);

} // namespace velmora::py
