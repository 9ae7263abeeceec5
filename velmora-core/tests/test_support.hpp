// Helpers shared by the core test suites: reading the known-answer tables and comparing doubles
// bit-exactly.
#pragma once

#include <gtest/gtest.h>

#include <bit>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace velmora::test {

using Row = std::vector<std::string>;

// The tab-separated fields of every line that is neither empty nor a '#' comment.
inline std::vector<Row> read_table(std::string_view file_name) {
    const std::string path = std::string(VELMORA_TEST_DATA_DIR) + "/" + std::string(file_name);
    std::ifstream in(path);
    if (!in) {
        ADD_FAILURE() << "cannot open " << path;
        return {};
    }
    std::vector<Row> rows;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line.front() == '#') {
            continue;
        }
        Row row;
        std::stringstream fields(line);
        std::string field;
        while (std::getline(fields, field, '\t')) {
            row.push_back(field);
        }
        rows.push_back(row);
    }
    return rows;
}

inline std::vector<std::string> split_spaces(const std::string& text) {
    std::vector<std::string> parts;
    std::stringstream in(text);
    std::string part;
    while (in >> part) {
        parts.push_back(part);
    }
    return parts;
}

// C99 hexadecimal floats as well as inf and nan; the whole text must be consumed.
inline double parse_double(const std::string& text) {
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(text.c_str(), &end);
    EXPECT_TRUE(end != text.c_str() && *end == '\0') << "not a number: '" << text << "'";
    return value;
}

inline std::uint64_t parse_u64(const std::string& text, int base) {
    char* end = nullptr;
    const std::uint64_t value = std::strtoull(text.c_str(), &end, base);
    EXPECT_TRUE(end != text.c_str() && *end == '\0') << "not an integer: '" << text << "'";
    return value;
}

inline double from_bits(std::uint64_t bits) {
    return std::bit_cast<double>(bits);
}
inline std::uint64_t to_bits(double x) {
    return std::bit_cast<std::uint64_t>(x);
}

// Exact equality that also tells +0 from -0; any NaN equals any NaN.
inline ::testing::AssertionResult same_double(double expected, double actual) {
    if ((expected != expected && actual != actual) || to_bits(expected) == to_bits(actual)) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure()
           << "expected " << std::hexfloat << expected << " but got " << actual;
}

} // namespace velmora::test
