// The access flag each mutable object carries instead of a lock: any number of shared borrows, or
// one exclusive borrow. Acquisition never waits; it fails at once, so a callback that re-enters
// the object it was called from is refused instead of seeing (or making) a half-done change.
// Plain C++ so its rules can be tested without an interpreter.
#pragma once

#include <cstdint>
#include <limits>

namespace vorn::py {

class BorrowFlag {
  public:
    bool try_shared() {
        if (state_ == kExclusive || state_ == kExclusive - 1) return false;
        ++state_;
        return true;
    }
    void release_shared() { --state_; }

    bool try_exclusive() {
        if (state_ != 0) return false;
        state_ = kExclusive;
        return true;
    }
    void release_exclusive() { state_ = 0; }

    bool exclusively_held() const { return state_ == kExclusive; }
    bool free() const { return state_ == 0; }

  private:
    static constexpr std::uint32_t kExclusive = std::numeric_limits<std::uint32_t>::max();
    std::uint32_t state_ = 0;  // number of shared borrows, or kExclusive
};

}  // namespace vorn::py
