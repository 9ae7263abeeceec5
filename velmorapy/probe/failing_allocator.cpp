#include "failing_allocator.hpp"

#include <atomic>
#include <cstdlib>
#include <new>

namespace velmora::probe {
namespace {

std::atomic<long> allocations_until_failure{-1};
std::atomic<bool> failed{false};

bool this_allocation_fails() noexcept {
    long remaining = allocations_until_failure.load();
    while (remaining >= 0) {
        if (allocations_until_failure.compare_exchange_weak(remaining, remaining - 1)) {
            if (remaining == 0) {
                failed.store(true);
                return true;
            }
            return false;
        }
    }
    return false;
}

} // namespace

void fail_allocation_at(long index) noexcept {
    failed.store(false);
    allocations_until_failure.store(index);
}

void disarm_allocation_failure() noexcept {
    allocations_until_failure.store(-1);
}

bool allocation_failed() noexcept {
    return failed.load();
}

} // namespace velmora::probe

void* operator new(std::size_t size) {
    if (velmora::probe::this_allocation_fails()) {
        throw std::bad_alloc();
    }
    if (void* memory = std::malloc(size == 0 ? 1 : size)) {
        return memory;
    }
    throw std::bad_alloc();
}

void operator delete(void* memory) noexcept {
    std::free(memory);
}
void operator delete(void* memory, std::size_t) noexcept {
    std::free(memory);
}
