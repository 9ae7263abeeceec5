#include <string>

// GCC 12 warns of an uninitialized member deep inside <regex> at -O2, a false report. Clang
// has no such warning and would report the unknown name instead.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <regex>
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

#include <gtest/gtest.h>

#include "failure/internal_failure.hpp"
#include "report_capture.hpp"
#include "runtime/failure_report.hpp"
#include "runtime/failure_reporting.hpp"

namespace velmora::runtime {
namespace {

using failure::InternalFailure;
using runtime_test::captured;

struct SettingCase {
    const char* value;
    BacktraceSetting expected;
};

class backtrace_setting_test : public testing::TestWithParam<SettingCase> {};

TEST_P(backtrace_setting_test, parses_the_variable) {
    EXPECT_EQ(parse_backtrace_setting(GetParam().value), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(table, backtrace_setting_test,
                         testing::Values(SettingCase{nullptr, BacktraceSetting::Off},
                                         SettingCase{"0", BacktraceSetting::Off},
                                         SettingCase{"1", BacktraceSetting::Short},
                                         SettingCase{"", BacktraceSetting::Short},
                                         SettingCase{"FULL", BacktraceSetting::Short},
                                         SettingCase{"full", BacktraceSetting::Full}));

TEST(failure_report_test, nested_reports_show_every_frame_and_no_note) {
    const std::string report = captured([](int fd) {
        write_failure_report(
            fd, {.message = "inner", .where = std::source_location::current(), .nested = true});
    });
    const std::regex header("^\nthread '<unnamed>' \\([0-9]+\\) panicked at "
                            ".*failure_report_test\\.cpp:[0-9]+:[0-9]+:\n"
                            "inner\nstack backtrace:\n  0: ");
    EXPECT_TRUE(std::regex_search(report, header)) << report;
    EXPECT_EQ(report.find("note:"), std::string::npos) << report;
}

TEST(failure_report_test, a_huge_message_is_written_whole) {
    const std::string message(100000, 'x');
    const std::string report = captured([&](int fd) {
        write_failure_report(
            fd, {.message = message, .where = std::source_location::current(), .nested = true});
    });
    EXPECT_NE(report.find("\n" + message + "\n"), std::string::npos);
}

TEST(internal_failure_test, carries_message_and_location_and_counts_in_progress) {
    install_failure_reporting();
    const int line = __LINE__ + 2;
    try {
        failure::check(false, "core invariant");
        FAIL() << "check did not raise";
    } catch (InternalFailure& failure) {
        EXPECT_EQ(internal_failures_in_progress(), 1);
        mark_internal_failure_caught();
        EXPECT_EQ(failure.message(), "core invariant");
        EXPECT_EQ(static_cast<int>(failure.where().line()), line);
    }
    EXPECT_EQ(internal_failures_in_progress(), 0);
}

} // namespace
} // namespace velmora::runtime
