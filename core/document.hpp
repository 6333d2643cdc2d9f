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

#include <cstddef>
#include <string_view>

namespace vorn {

// The name of a field the rules look up. Only string literals convert to it, so a document may
// keep its own key objects keyed by the literal's address, which never changes.
class FieldName {
  public:
    template <std::size_t N>
    consteval FieldName(const char (&text)[N]) : text_(text, N - 1) {}

    std::string_view text() const { return text_; }
    const char* data() const { return text_.data(); }

  private:
    std::string_view text_;
};

}  // namespace vorn
