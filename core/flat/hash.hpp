// Hashing of key bytes for the flat tables: a key's text is hashed once per call into a
// `HashedText`, which every table the call asks then takes as it is. A table folds in a 32-bit
// scope (the slot of an owning record, such as a room) without reading the bytes again.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace vorn {

namespace hash_detail {

__extension__ using U128 = unsigned __int128;

inline std::uint64_t fold_multiply(std::uint64_t a, std::uint64_t b) {
    const U128 product = static_cast<U128>(a) * b;
    return static_cast<std::uint64_t>(product) ^ static_cast<std::uint64_t>(product >> 64);
}

inline std::uint64_t load64(const char* p) {
    std::uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline std::uint64_t load32(const char* p) {
    std::uint32_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline constexpr std::uint64_t kSeed = 0x243f6a8885a308d3ULL;
inline constexpr std::uint64_t kOdd1 = 0xa0761d6478bd642fULL;
inline constexpr std::uint64_t kOdd2 = 0xe7037ed1a0b428dbULL;

}  // namespace hash_detail

// 64 well-mixed bits of `bytes`; the length takes part, so no key hashes as its own prefix.
inline std::uint64_t hash_bytes(std::string_view bytes) {
    using namespace hash_detail;
    const char* p = bytes.data();
    std::size_t n = bytes.size();
    std::uint64_t h = kSeed ^ (n * kOdd2);
    for (; n > 16; p += 16, n -= 16) h = fold_multiply(load64(p) ^ kOdd1, load64(p + 8) ^ h);
    std::uint64_t a = 0;
    std::uint64_t b = 0;
    if (n > 8) {
        a = load64(p);
        b = load64(p + n - 8);
    } else if (n >= 4) {
        a = load32(p);
        b = load32(p + n - 4);
    } else if (n > 0) {
        a = (std::uint64_t{static_cast<unsigned char>(p[0])} << 16) |
            (std::uint64_t{static_cast<unsigned char>(p[n / 2])} << 8) |
            static_cast<unsigned char>(p[n - 1]);
    }
    return fold_multiply(fold_multiply(a ^ kOdd1, b ^ h) ^ kOdd2, kOdd1);
}

// Whether the `n` bytes at `a` and `b` are equal. Keys are short, and a library call costs more
// than comparing them a word at a time here.
inline bool same_bytes(const char* a, const char* b, std::size_t n) {
    using hash_detail::load32;
    using hash_detail::load64;
    if (n >= 8) {
        for (; n > 8; a += 8, b += 8, n -= 8) {
            if (load64(a) != load64(b)) return false;
        }
        return load64(a + n - 8) == load64(b + n - 8);
    }
    if (n >= 4) return load32(a) == load32(b) && load32(a + n - 4) == load32(b + n - 4);
    for (; n > 0; ++a, ++b, --n) {
        if (*a != *b) return false;
    }
    return true;
}

// A key's text and its hash, computed the first time a table needs it and then shared by every
// table the call asks: a table that remembers its last key finds that key by its bytes alone, and
// a host asks about one key several times in a row. Converts implicitly from any string, so an
// operation that takes one is called with plain text as well.
class HashedText {
  public:
    HashedText(std::string_view t) : text(t) {}
    HashedText(const char* t) : HashedText(std::string_view(t)) {}
    HashedText(const std::string& t) : HashedText(std::string_view(t)) {}

    std::uint64_t hash() const {
        if (!hashed_) {
            hash_ = hash_bytes(text);
            hashed_ = true;
        }
        return hash_;
    }

    std::string_view text;

  private:
    mutable std::uint64_t hash_ = 0;
    mutable bool hashed_ = false;
};

// The 32 bits a table stores for a key of `text_hash` under `scope` (0 for unscoped tables).
inline std::uint32_t scoped_hash(std::uint64_t text_hash, std::uint32_t scope) {
    const std::uint64_t h = hash_detail::fold_multiply(text_hash + scope, hash_detail::kOdd2);
    return static_cast<std::uint32_t>(h ^ (h >> 32));
}

}  // namespace vorn
