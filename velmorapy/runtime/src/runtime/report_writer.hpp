// A writer for failure reports that never allocates: text goes through a fixed buffer straight
// to a file descriptor, so a report can still be written when memory has run out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace velmora::runtime {

class ReportWriter {
public:
    explicit ReportWriter(int fd) noexcept : fd_(fd) {}
    ReportWriter(const ReportWriter&) = delete;
    ReportWriter& operator=(const ReportWriter&) = delete;
    ~ReportWriter() { flush(); }

    ReportWriter& operator<<(std::string_view text) noexcept;
    ReportWriter& operator<<(char c) noexcept { return *this << std::string_view(&c, 1); }
    ReportWriter& operator<<(std::uint64_t number) noexcept;
    ReportWriter& hex(std::uintptr_t number) noexcept;

    // A write error drops the rest of the report; there is nobody left to tell.
    void flush() noexcept;

private:
    int fd_;
    bool failed_ = false;
    std::size_t used_ = 0;
    char buffer_[1024];
};

} // namespace velmora::runtime
