#include "runtime/report_writer.hpp"

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace velmora::runtime {

ReportWriter& ReportWriter::operator<<(std::string_view text) noexcept {
    while (!text.empty()) {
        if (used_ == sizeof buffer_) {
            flush();
        }
        const std::size_t chunk = std::min(text.size(), sizeof buffer_ - used_);
        std::memcpy(buffer_ + used_, text.data(), chunk);
        used_ += chunk;
        text.remove_prefix(chunk);
    }
    return *this;
}

ReportWriter& ReportWriter::operator<<(std::uint64_t number) noexcept {
    char digits[20];
    std::size_t count = 0;
    do {
        digits[sizeof digits - ++count] = static_cast<char>('0' + number % 10);
        number /= 10;
    } while (number != 0);
    return *this << std::string_view(digits + sizeof digits - count, count);
}

ReportWriter& ReportWriter::hex(std::uintptr_t number) noexcept {
    char digits[2 * sizeof number];
    std::size_t count = 0;
    do {
        digits[sizeof digits - ++count] = "0123456789abcdef"[number % 16];
        number /= 16;
    } while (number != 0);
    return *this << "0x" << std::string_view(digits + sizeof digits - count, count);
}

void ReportWriter::flush() noexcept {
    const char* next = buffer_;
    while (!failed_ && next < buffer_ + used_) {
        const ssize_t written =
            ::write(fd_, next, static_cast<std::size_t>(buffer_ + used_ - next));
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            failed_ = true;
            break;
        }
        next += written;
    }
    used_ = 0;
}

} // namespace velmora::runtime
