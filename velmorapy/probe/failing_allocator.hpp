// A global operator new for the probe that fails one chosen allocation, so the binding's own
// allocation failures can be driven one at a time.
#pragma once

namespace velmora::probe {

// Makes the `index`-th allocation from now (0-based) throw std::bad_alloc.
void fail_allocation_at(long index) noexcept;

// Lets every allocation succeed again; allocation_failed() keeps its answer.
void disarm_allocation_failure() noexcept;

// True once the chosen allocation has failed.
bool allocation_failed() noexcept;

} // namespace velmora::probe
