// UniqueFunction: the sole owner of one callable, which may itself be move-only (a lambda that
// owns a Python reference or a message). libc++ 16 has no std::move_only_function, so the
// binding carries this small holder, with the same rules on every standard library.
//
// A callable of up to three pointers that moves without throwing lives inside the holder;
// a larger one is allocated once, when it is stored. Moving a holder never allocates or
// throws. Calling an empty holder is not allowed.
#pragma once

#include <cstddef>
#include <new>
#include <type_traits>
#include <utility>

namespace velmora::py {

template <class Signature>
class UniqueFunction;

template <class R, class... Args>
class UniqueFunction<R(Args...)> {
public:
    UniqueFunction() noexcept = default;
    UniqueFunction(std::nullptr_t) noexcept {}

    template <class F>
        requires(!std::is_same_v<std::remove_cvref_t<F>, UniqueFunction> &&
                 std::is_invocable_r_v<R, std::decay_t<F>&, Args...>)
    UniqueFunction(F&& callable) {
        using Target = std::decay_t<F>;
        if constexpr (stored_inside<Target>) {
            ::new (storage_.bytes) Target(std::forward<F>(callable));
        } else {
            storage_.heap = new Target(std::forward<F>(callable));
        }
        ops_ = &ops_for<Target>;
    }

    UniqueFunction(UniqueFunction&& other) noexcept { take(other); }
    UniqueFunction& operator=(UniqueFunction&& other) noexcept {
        if (this != &other) {
            reset();
            take(other);
        }
        return *this;
    }
    UniqueFunction& operator=(std::nullptr_t) noexcept {
        reset();
        return *this;
    }
    UniqueFunction(const UniqueFunction&) = delete;
    UniqueFunction& operator=(const UniqueFunction&) = delete;
    ~UniqueFunction() { reset(); }

    explicit operator bool() const noexcept { return ops_ != nullptr; }

    R operator()(Args... args) { return ops_->call(storage_, std::forward<Args>(args)...); }

private:
    union Storage {
        void* heap;
        alignas(void*) unsigned char bytes[3 * sizeof(void*)];
    };

    // Inside only if moving it between holders cannot throw: the holder's move is noexcept.
    template <class T>
    static constexpr bool stored_inside =
        sizeof(T) <= sizeof(Storage) && alignof(T) <= alignof(Storage) &&
        std::is_nothrow_move_constructible_v<T>;

    struct Ops {
        R (*call)(Storage&, Args&&...);
        // Moves the target from the first storage into the second, leaving the first empty.
        void (*move)(Storage&, Storage&) noexcept;
        void (*destroy)(Storage&) noexcept;
    };

    template <class T>
    static T& target(Storage& storage) noexcept {
        if constexpr (stored_inside<T>) {
            return *std::launder(reinterpret_cast<T*>(storage.bytes));
        } else {
            return *static_cast<T*>(storage.heap);
        }
    }

    template <class T>
    static constexpr Ops ops_for{
        [](Storage& storage, Args&&... args) -> R {
            return static_cast<R>(target<T>(storage)(std::forward<Args>(args)...));
        },
        [](Storage& from, Storage& to) noexcept {
            if constexpr (stored_inside<T>) {
                ::new (to.bytes) T(std::move(target<T>(from)));
                target<T>(from).~T();
            } else {
                to.heap = std::exchange(from.heap, nullptr);
            }
        },
        [](Storage& storage) noexcept {
            if constexpr (stored_inside<T>) {
                target<T>(storage).~T();
            } else {
                delete &target<T>(storage);
            }
        },
    };

    void take(UniqueFunction& other) noexcept {
        if (other.ops_ != nullptr) {
            other.ops_->move(other.storage_, storage_);
            ops_ = std::exchange(other.ops_, nullptr);
        }
    }

    void reset() noexcept {
        if (const Ops* ops = std::exchange(ops_, nullptr)) {
            ops->destroy(storage_);
        }
    }

    Storage storage_;
    const Ops* ops_ = nullptr;
};

} // namespace velmora::py
