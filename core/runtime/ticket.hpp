// Tickets: unsigned 64-bit identifiers that an object hands out from its own counter, starting at
// 0, strictly increasing and never reused. The counter's last value, 2^64 - 1, is never handed
// out: once the counter reaches it, every further request is refused, so no ticket ever repeats.
#pragma once

#include <cstdint>
#include <limits>
#include <optional>

namespace vorn {

using Ticket = std::uint64_t;

class TicketCounter {
  public:
    static constexpr Ticket kLimit = std::numeric_limits<Ticket>::max();

    constexpr TicketCounter() = default;
    // A counter whose next ticket is `next` (an owner resuming where it stopped, or a test
    // reaching the limit without 2^64 calls).
    constexpr explicit TicketCounter(Ticket next) : next_(next) {}

    // The next ticket, or nothing once the counter is exhausted.
    constexpr std::optional<Ticket> take() {
        if (exhausted()) return std::nullopt;
        return next_++;
    }
    constexpr bool exhausted() const { return next_ == kLimit; }
    // The value the next `take` would hand out.
    constexpr Ticket next() const { return next_; }

  private:
    Ticket next_ = 0;
};

}  // namespace vorn
