// The bytes of a table's keys, stored once, back to back; a key is named by (offset, length).
// Erasing a key only counts its bytes as garbage; the owning table compacts the arena (copies the
// live keys into a fresh one) once garbage outweighs what is live, so memory stays proportional
// to what is stored. Offsets are 32-bit: an arena that would pass 4 GiB fails as out of memory.
#pragma once

#include <algorithm>
#include <cstdint>
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
        const std::size_t end = size_ + padded(bytes.size());
        if (end > std::numeric_limits<std::uint32_t>::max()) throw std::bad_alloc();
        if (end > capacity_) {
            const char* base = bytes_.get();
            const bool inside = base && bytes.data() >= base && bytes.data() < base + size_;
            const std::size_t from = inside ? static_cast<std::size_t>(bytes.data() - base) : 0;
            // Growth by half keeps the unused tail smaller than doubling would.
            reserve(std::max(end, capacity_ + capacity_ / 2));
            if (inside) bytes = std::string_view(bytes_.get() + from, bytes.size());
        }
        const auto at = static_cast<std::uint32_t>(size_);
        append(bytes);
        size_ = at + padded(bytes.size());
        return at;
    }

    std::string_view view(std::uint32_t offset, std::uint32_t length) const {
        return {bytes_.get() + offset, length};
    }

    // A key takes its length rounded up to whole words: text handed to the interpreter from a
    // word boundary is decoded a word at a time.
    static std::size_t padded(std::size_t length) { return (length + 7) & ~std::size_t{7}; }

    void release(std::uint32_t length) { garbage_ += padded(length); }
    std::size_t live_bytes() const { return size_ - garbage_; }
    std::size_t garbage_bytes() const { return garbage_; }

    void reserve(std::size_t n) {
        if (n <= capacity_) return;
        std::unique_ptr<char[]> grown(new char[n]);
        if (size_ != 0) std::memcpy(grown.get(), bytes_.get(), size_);
        bytes_ = std::move(grown);
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
    static constexpr std::size_t kKeptCapacity = 256;

    // Only within capacity.
    void append(std::string_view bytes) {
        if (!bytes.empty()) std::memcpy(bytes_.get() + size_, bytes.data(), bytes.size());
        size_ += bytes.size();
    }

    std::unique_ptr<char[]> bytes_;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
    std::size_t garbage_ = 0;
};

}  // namespace vorn
