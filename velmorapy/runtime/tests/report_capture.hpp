// Everything a report writes to a file descriptor, read back.
#pragma once

#include <cstdio>
#include <string>

namespace velmora::runtime_test {

template <class Write>
std::string captured(Write write) {
    std::FILE* file = std::tmpfile();
    write(fileno(file));
    std::rewind(file);
    std::string text;
    for (int c; (c = std::fgetc(file)) != EOF;) {
        text += static_cast<char>(c);
    }
    std::fclose(file);
    return text;
}

} // namespace velmora::runtime_test
