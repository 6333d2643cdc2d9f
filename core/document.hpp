// The document interface the event validators and routing read payloads through, so that one set
// of rules runs both over the core's own JSON values and over objects the host owns, without
// copying them into either form first.
//
// A document type D provides, for a cheap handle `D::Node` (a default-constructed node is absent):
//   Json::Kind kind(Node)                   the JSON kind of a present node
//   Node find(Node object, FieldName key)   the member, or absent
//   std::string_view text(Node)             of a string
//   TextRef text_ref(Node)                  of a string, with its origin where it has one
//   bool boolean(Node)                      of a boolean
//   std::int64_t int_value(Node), std::uint64_t uint_value(Node), double float_value(Node)
//   std::size_t size(Node array), Node item(Node array, std::size_t i)
//   bool writable()                         whether normalizations may write; when false the
//                                           setters below are never called
//   void set_bool / set_int / set_null(Node object, FieldName key, ...)
//   Node set_empty_array / set_empty_object(Node object, FieldName key)
//   void erase(Node object, FieldName key)
// A setter replaces the member's value where the key exists, and adds the key otherwise.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <type_traits>

namespace vorn {

// The first eight bytes of a key as one little-endian word (zero-padded), so that most keys that
// differ are told apart by one comparison.
constexpr std::uint64_t key_head(std::string_view key) {
    if (!std::is_constant_evaluated() && std::endian::native == std::endian::little &&
        key.size() >= 8) {
        std::uint64_t head = 0;
        std::memcpy(&head, key.data(), 8);
        return head;
    }
    std::uint64_t head = 0;
    for (std::size_t i = 0; i < key.size() && i < 8; ++i) {
        head |= std::uint64_t{static_cast<unsigned char>(key[i])} << (8 * i);
    }
    return head;
}

// The name of a field the rules look up. Only string literals convert to it, so a document may
// keep its own key objects keyed by the literal's address, which never changes.
class FieldName {
  public:
    template <std::size_t N>
    consteval FieldName(const char (&text)[N]) : text_(text, N - 1), head_(key_head(text_)) {}

    std::string_view text() const { return text_; }
    const char* data() const { return text_.data(); }
    std::uint64_t head() const { return head_; }

  private:
    std::string_view text_;
    std::uint64_t head_;
};

}  // namespace vorn
