#include <exception>
#include <string>

#include <gtest/gtest.h>

#include "failure/internal_failure.hpp"

namespace velmora::failure {
namespace {

struct Reported {
    int calls = 0;
    std::string message;
    unsigned line = 0;
    int machinery_frames = 0;
    bool while_unwinding = false;
};

Reported reported;

void record(std::string_view message, std::source_location where, int machinery_frames) noexcept {
    ++reported.calls;
    reported.message = message;
    reported.line = where.line();
    reported.machinery_frames = machinery_frames;
    reported.while_unwinding = std::uncaught_exceptions() > 0;
}

void other_reporter(std::string_view, std::source_location, int) noexcept {}

unsigned failing_line(std::string_view message) {
    const unsigned line = __LINE__ + 2;
    try {
        check(false, message);
    } catch (InternalFailure& failure) {
        EXPECT_EQ(failure.message(), message);
        EXPECT_EQ(failure.where().line(), line);
        return line;
    }
    ADD_FAILURE() << "check did not raise";
    return 0;
}

// One test, because the installation is once per process.
TEST(internal_failure_test, is_reported_before_it_is_thrown_once_a_reporter_is_installed) {
    failing_line("before any reporter");
    EXPECT_EQ(reported.calls, 0);

    ASSERT_TRUE(install_failure_reporter(record));
    const unsigned line = failing_line("core invariant");
    EXPECT_EQ(reported.calls, 1);
    EXPECT_EQ(reported.message, "core invariant");
    EXPECT_EQ(reported.line, line);
    EXPECT_EQ(reported.machinery_frames, 1);
    EXPECT_FALSE(reported.while_unwinding);

    EXPECT_TRUE(install_failure_reporter(record));
    EXPECT_FALSE(install_failure_reporter(other_reporter));
    failing_line("still the first reporter");
    EXPECT_EQ(reported.calls, 2);
}

} // namespace
} // namespace velmora::failure
