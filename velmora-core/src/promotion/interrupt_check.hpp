// A non-owning reference to "should this long computation stop now?".
#pragma once

#include <concepts>
#include <type_traits>

namespace velmora::promotion {

// Lets a caller (the Python binding, say) poll for cancellation without the core knowing who
// asks or why. Like a function reference, it does not own the callable: it must not outlive it.
class InterruptCheck {
public:
    template <typename Check>
    requires(!std::same_as<std::remove_cvref_t<Check>, InterruptCheck>) &&
        std::is_invocable_r_v<bool, Check&> InterruptCheck(
            Check& check) noexcept // NOLINT: implicit by design, like a function reference
        : target_(&check),
    call_([](void* target) -> bool { return (*static_cast<Check*>(target))(); }) {}

    // True when the computation should stop.
    bool operator()() const { return call_(target_); }

private:
    void* target_;
    bool (*call_)(void*);
};

} // namespace velmora::promotion
