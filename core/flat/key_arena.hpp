// The bytes of a table's keys, stored once, back to back; a key is named by (offset, length).
// Erasing a key only counts its bytes as garbage; the owning table compacts the arena (copies the
// live keys into a fresh one) once garbage outweighs what is live, so memory stays proportional
// to what is stored. Offsets are 32-bit: an arena that would pass 4 GiB fails as out of memory.
#pragma once

#include <algorithm>
#include <cstdint>
#include <limits>
#include <new>
#include <string_view>
#include <utility>
#include <vector>

namespace vorn {

class KeyArena {
  public:
    KeyArena() = default;
    KeyArena(const KeyArena&) = default;
    KeyArena& operator=(const KeyArena&) = default;
    KeyArena(KeyArena&& other) noexcept
        : bytes_(std::move(other.bytes_)), garbage_(std::exchange(other.garbage_, 0)) {
        other.bytes_.clear();
    }
    KeyArena& operator=(KeyArena&& other) noexcept {
        if (this != &other) {
            bytes_ = std::move(other.bytes_);
            garbage_ = std::exchange(other.garbage_, 0);
            other.bytes_.clear();
        }
        return *this;
    }
    ~KeyArena() = default;

    // The offset of a copy of `bytes`, which may lie in this arena (the copy survives growth).
    std::uint32_t store(std::string_view bytes) {
        const std::size_t at = bytes_.size();
        const std::size_t end = at + bytes.size();
        if (end > std::numeric_limits<std::uint32_t>::max()) throw std::bad_alloc();
        if (end > bytes_.capacity()) {
            const bool inside = !bytes_.empty() && bytes.data() >= bytes_.data() &&
                                bytes.data() < bytes_.data() + bytes_.size();
            const std::size_t from =
                inside ? static_cast<std::size_t>(bytes.data() - bytes_.data()) : 0;
            // Growth by half keeps the unused tail smaller than doubling would.
            bytes_.reserve(std::max(end, bytes_.capacity() + bytes_.capacity() / 2));
            if (inside) bytes = std::string_view(bytes_.data() + from, bytes.size());
        }
        bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
        return static_cast<std::uint32_t>(at);
    }

    std::string_view view(std::uint32_t offset, std::uint32_t length) const {
        return {bytes_.data() + offset, length};
    }

    void release(std::uint32_t length) { garbage_ += length; }
    std::size_t live_bytes() const { return bytes_.size() - garbage_; }
    std::size_t garbage_bytes() const { return garbage_; }
    std::size_t capacity() const { return bytes_.capacity(); }

    void reserve(std::size_t n) { bytes_.reserve(n); }
    // Forgets every key; the memory goes too.
    void clear() {
        std::vector<char>().swap(bytes_);
        garbage_ = 0;
    }

  private:
    std::vector<char> bytes_;
    std::size_t garbage_ = 0;
};

}  // namespace vorn
