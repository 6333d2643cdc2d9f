// The shared machinery of the stateful targets: a reader that turns fuzz bytes into small choices
// (ids from a tiny alphabet, so that operations keep meeting the same keys; tickets that were
// really handed out, so that current and stale reports both occur), a record of the values an
// object hands out from its counter, and the loop that applies one operation per step and
// re-checks the object's invariants after each.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <optional>
#include <string_view>
#include <vector>

namespace vorn::fuzz {

// A broken invariant is a crash, so that libFuzzer saves the input that led to it.
// (clang 14 has no std::source_location over libstdc++, hence the builtins.)
inline void require(bool ok, const char* what, const char* file = __builtin_FILE(),
                    int line = __builtin_LINE()) {
    if (ok) return;
    std::fprintf(stderr, "invariant broken at %s:%d: %s\n", file, line, what);
    std::abort();
}

class ByteReader {
  public:
    ByteReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool empty() const { return pos_ >= size_; }
    // Zero once the input is used up, so every choice stays defined.
    std::uint8_t byte() { return empty() ? 0 : data_[pos_++]; }
    std::size_t below(std::size_t n) { return byte() % n; }
    bool flag() { return (byte() & 1) != 0; }
    std::uint64_t u64() {
        std::uint64_t v = 0;
        for (int i = 0; i < 8; ++i) v = v << 8 | byte();
        return v;
    }
    // Any bit pattern: NaN, infinities, subnormals and negative zero included.
    double f64() {
        const std::uint64_t bits = u64();
        double v;
        std::memcpy(&v, &bits, sizeof v);
        return v;
    }
    // Seconds as a host would pass them: mostly sensible spans, now and then any bit pattern.
    double seconds() {
        return flag() ? pick({0.0, 1e-10, 0.25, 1.0, 5.0, 9.999, 10.0, 30.0, 60.0, 300.0, 1e9})
                      : f64();
    }
    template <class T>
    T pick(std::initializer_list<T> options) {
        return options.begin()[below(options.size())];
    }
    template <class T, std::size_t N>
    const T& pick(const std::array<T, N>& options) {
        return options[below(N)];
    }
    // One of `handed_out` (the tickets an object gave so far) or, now and then, one it never gave.
    std::uint64_t ticket(const std::vector<std::uint64_t>& handed_out) {
        const std::size_t i = below(handed_out.size() + 1);
        return i < handed_out.size() ? handed_out[handed_out.size() - 1 - i] : u64();
    }

  private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

// The values (tickets, epochs, tokens) an object hands out from one 64-bit counter: it starts at 0
// or, when the input says so, a few short of the last value, which is never handed out.
class Counter {
  public:
    static constexpr std::uint64_t kLast = std::numeric_limits<std::uint64_t>::max();

    explicit Counter(ByteReader& in) : next_(in.flag() ? kLast - 3 : 0) {}

    std::uint64_t next() const { return next_; }
    bool exhausted() const { return next_ == kLast; }
    const std::vector<std::uint64_t>& handed_out() const { return handed_out_; }
    // A value the object handed out must be the next one; returns whether there was one.
    bool record(std::optional<std::uint64_t> got) {
        if (!got) return false;
        require(*got == next_ && !exhausted(), "values are handed out in order, never the last");
        handed_out_.push_back(next_++);
        return true;
    }

  private:
    std::uint64_t next_;
    std::vector<std::uint64_t> handed_out_;
};

template <class Machine>
using Op = void (*)(Machine&, ByteReader&);

// `Machine` is built from the first bytes (its configuration), then each step picks an operation
// by one byte and lets it read its arguments; `check()` runs after every step.
template <class Machine, std::size_t N>
int run_ops(const std::uint8_t* data, std::size_t size, const std::array<Op<Machine>, N>& ops) {
    ByteReader in(data, size);
    Machine machine(in);
    while (!in.empty()) {
        ops[in.below(N)](machine, in);
        machine.check();
    }
    return 0;
}

}  // namespace vorn::fuzz
