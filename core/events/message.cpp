#include "core/events/message.hpp"

#include <charconv>

namespace vorn {

std::string_view MentionPath::element(std::size_t index) {
    buffer_.assign("metadata.mentions[");
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, index).ptr;
    buffer_.append(digits, end);
    buffer_ += ']';
    return buffer_;
}

std::string_view MentionPath::field(std::size_t index, std::string_view name) {
    element(index);
    buffer_ += '.';
    buffer_ += name;
    return buffer_;
}

}  // namespace vorn
