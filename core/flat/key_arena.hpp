// The bytes of a table's keys, stored once, back to back; a key is named by (offset, length).
// Erasing a key only counts its bytes as garbage; the owning table compacts the arena (copies the
// live keys into a fresh one) once garbage outweighs what is live, so memory stays proportional
// to what is stored. Offsets are 32-bit: an arena that would pass 4 GiB fails as out of memory.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <string_view>
#include <utility>

namespace vorn {

class KeyArena {
  public:
    KeyArena() = default;
    KeyArena(const KeyArena& other) { *this = other; }
    KeyArena& operator=(const KeyArena& other) {
        if (this != &other) {
            KeyArena copy;
            copy.reserve(other.size_);
            copy.append(std::string_view(other.bytes_.get(), other.size_));
            copy.garbage_ = other.garbage_;
            *this = std::move(copy);
        }
        return *this;
    }
    KeyArena(KeyArena&& other) noexcept { *this = std::move(other); }
    KeyArena& operator=(KeyArena&& other) noexcept {
        if (this != &other) {
            bytes_ = std::move(other.bytes_);
            size_ = std::exchange(other.size_, 0);
            capacity_ = std::exchange(other.capacity_, 0);
            garbage_ = std::exchange(other.garbage_, 0);
        }
        return *this;
    }
    ~KeyArena() = default;

    // The offset of a copy of `bytes`, which may lie in this arena (the copy survives growth).
    std::uint32_t store(std::string_view bytes) {
        const std::size_t end = size_ + bytes.size();
        if (end > std::numeric_limits<std::uint32_t>::max()) throw std::bad_alloc();
        if (end > capacity_) {
            // Addresses as integers: the old buffer is not read once it has been reallocated.
            const auto base = reinterpret_cast<std::uintptr_t>(bytes_.get());
            const auto data = reinterpret_cast<std::uintptr_t>(bytes.data());
            const bool inside = base != 0 && data >= base && data < base + size_;
            const std::size_t from = inside ? data - base : 0;
            // Growth by an eighth keeps the unused tail small; growing by realloc keeps it cheap.
            reserve(std::max({end, capacity_ + capacity_ / 8, kMinCapacity}));
            if (inside) bytes = std::string_view(bytes_.get() + from, bytes.size());
        }
        const auto at = static_cast<std::uint32_t>(size_);
        append(bytes);
        return at;
    }

    std::string_view view(std::uint32_t offset, std::uint32_t length) const {
        return {bytes_.get() + offset, length};
    }

    void release(std::uint32_t length) { garbage_ += length; }
    std::size_t live_bytes() const { return size_ - garbage_; }
    std::size_t garbage_bytes() const { return garbage_; }

    void reserve(std::size_t n) {
        if (n <= capacity_) return;
        // A large buffer grows in place or by moving its pages, rather than by a copy.
        char* grown = static_cast<char*>(std::realloc(bytes_.get(), n));
        if (!grown) throw std::bad_alloc();
        static_cast<void>(bytes_.release());
        bytes_.reset(grown);
        capacity_ = n;
    }
    // Forgets every key; the memory goes too.
    void clear() { *this = KeyArena(); }
    // Forgets every key but keeps a small buffer: a table that empties and fills again one key at
    // a time would otherwise allocate on every insert.
    void reset() {
        if (capacity_ > kKeptCapacity) {
            clear();
        } else {
            size_ = 0;
            garbage_ = 0;
        }
    }

  private:
    static constexpr std::size_t kMinCapacity = 64;
    static constexpr std::size_t kKeptCapacity = 256;

    // Only within capacity.
    void append(std::string_view bytes) {
        if (!bytes.empty()) std::memcpy(bytes_.get() + size_, bytes.data(), bytes.size());
        size_ += bytes.size();
    }

    struct FreeBytes {
        void operator()(char* p) const { std::free(p); }
    };

    std::unique_ptr<char, FreeBytes> bytes_;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
    std::size_t garbage_ = 0;
};

}  // namespace vorn
