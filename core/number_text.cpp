#include "core/number_text.hpp"

#include <charconv>
#include <cmath>
#include <string_view>

namespace vorn {

std::string number_text(double value) {
    if (std::isnan(value)) return "NaN";
    if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
    // The scientific form carries the shortest round-trip digits; spelled out here without the
    // exponent. 24 characters hold "-d.dddddddddddddddde-308".
    char buf[32];
    const char* end =
        std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific).ptr;
    const std::string_view sci(buf, static_cast<std::size_t>(end - buf));
    const std::size_t e_at = sci.find('e');
    std::string_view mantissa = sci.substr(0, e_at);
    int exponent = 0;
    const char* exp_at = sci.data() + e_at + 1;
    if (*exp_at == '+') ++exp_at;  // from_chars takes a minus sign only
    std::from_chars(exp_at, end, exponent);

    std::string out;
    if (mantissa.front() == '-') {
        out += '-';
        mantissa.remove_prefix(1);
    }
    std::string digits;
    for (const char c : mantissa) {
        if (c != '.') digits += c;
    }
    const long count = static_cast<long>(digits.size());
    const long point = exponent + 1L;  // digits before the decimal point
    if (point <= 0) {
        out += "0.";
        out.append(static_cast<std::size_t>(-point), '0');
        out += digits;
    } else if (point >= count) {
        out += digits;
        out.append(static_cast<std::size_t>(point - count), '0');
    } else {
        out.append(digits, 0, static_cast<std::size_t>(point));
        out += '.';
        out.append(digits, static_cast<std::size_t>(point));
    }
    return out;
}

}  // namespace vorn
