// Reports built with the stack walker of another platform: the compiler's unwinder alone, as on
// musl, or none at all. Without frames a report keeps its header lines and the setting's note.
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "report_capture.hpp"
#include "runtime/backtrace.hpp"
#include "runtime/failure_report.hpp"

namespace velmora::runtime {
namespace {

using runtime_test::captured;

constexpr bool HAS_WALKER = VELMORA_STACK_WALKER != VELMORA_STACK_WALKER_NONE;
constexpr char NOTE_SHORT[] =
    "note: Some details are omitted, run with `VELMORAPY_BACKTRACE=full` for a verbose "
    "backtrace.\n";

// The report after its first line, the one with the thread id and the location.
std::string after_location(const std::string& report) {
    return report.substr(report.find(":\n") + 2);
}

std::string report(bool nested) {
    return captured([nested](int fd) {
        write_failure_report(
            fd, {.message = "inner", .where = std::source_location::current(), .nested = nested});
    });
}

bool starts_with_a_frame(const std::string& text) {
    return text.starts_with("  0: ") && text.find("\n             at ") != std::string::npos;
}

TEST(stack_walker_test, a_full_report_lists_exactly_the_frames_the_walker_has) {
    const std::string body = after_location(report(true));
    const std::string head = "inner\nstack backtrace:\n";
    ASSERT_TRUE(body.starts_with(head)) << body;
    const std::string frames = body.substr(head.size());
    if constexpr (HAS_WALKER) {
        EXPECT_TRUE(starts_with_a_frame(frames)) << body;
        // Every frame of this test lies in a loaded object; the end of the stack is no frame.
        EXPECT_EQ(frames.find(" at 0x"), std::string::npos) << body;
    } else {
        EXPECT_EQ(frames, "");
    }
}

// The only test here that reads the setting, so it is still unread in any order of the tests.
TEST(stack_walker_test, a_short_report_keeps_its_note) {
    ASSERT_EQ(setenv("VELMORAPY_BACKTRACE", "1", 1), 0);
    const std::string body = after_location(report(false));
    const std::string head = "inner\nstack backtrace:\n";
    ASSERT_TRUE(body.starts_with(head)) << body;
    ASSERT_TRUE(body.ends_with(NOTE_SHORT)) << body;
    const std::string frames =
        body.substr(head.size(), body.size() - head.size() - sizeof NOTE_SHORT + 1);
    if constexpr (HAS_WALKER) {
        EXPECT_TRUE(starts_with_a_frame(frames)) << body;
    } else {
        EXPECT_EQ(frames, "");
    }
}

} // namespace
} // namespace velmora::runtime
