#include <gtest/gtest.h>

#include <array>
#include <cstddef>
#include <utility>

#include "unique_function.hpp"

using velmora::py::UniqueFunction;

namespace {

// A move-only callable of N bytes that counts its live instances and reports where it lives.
template <std::size_t N>
struct Tracked {
    int* live; // null once moved from
    std::array<char, N> padding{};

    explicit Tracked(int* counter) : live(counter) { ++*live; }
    Tracked(Tracked&& other) noexcept : live(std::exchange(other.live, nullptr)) {}
    Tracked(const Tracked&) = delete;
    ~Tracked() {
        if (live != nullptr) {
            --*live;
        }
    }
    const void* operator()() const { return this; }
};

bool lives_inside(const void* holder, const void* target) {
    const auto* begin = static_cast<const char*>(holder);
    const auto* at = static_cast<const char*>(target);
    return at >= begin && at < begin + sizeof(UniqueFunction<const void*()>);
}

template <class Target>
class unique_function_test : public testing::Test {};
using Targets = testing::Types<Tracked<1>, Tracked<64>>;
TYPED_TEST_SUITE(unique_function_test, Targets);

TYPED_TEST(unique_function_test, moves_keep_one_live_target_and_destroy_it_once) {
    int live = 0;
    {
        UniqueFunction<const void*()> first = TypeParam(&live);
        EXPECT_EQ(live, 1);
        const void* before = first();
        EXPECT_EQ(lives_inside(&first, before), sizeof(TypeParam) <= 3 * sizeof(void*));

        UniqueFunction<const void*()> second = std::move(first);
        EXPECT_FALSE(first);
        EXPECT_EQ(live, 1);
        // A target on the heap is handed over, never copied; one inside moves with its holder.
        if (lives_inside(&first, before)) {
            EXPECT_TRUE(lives_inside(&second, second()));
        } else {
            EXPECT_EQ(second(), before);
        }

        UniqueFunction<const void*()> third = TypeParam(&live);
        EXPECT_EQ(live, 2);
        third = std::move(second);
        EXPECT_EQ(live, 1);
        third = nullptr;
        EXPECT_EQ(live, 0);
        EXPECT_FALSE(third);
        third = TypeParam(&live);
    }
    EXPECT_EQ(live, 0);
}

} // namespace
