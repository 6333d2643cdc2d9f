// A small strict JSON text reader for the targets: RFC 8259 syntax without "\u" escapes (which the
// validators never look inside), numbers as the core holds them (a signed integer when it fits,
// else an unsigned one, else a finite double), objects built through the core's own
// unsorted-then-`finish` path, so a repeated key keeps its last value. Nesting is bounded, so a
// deep input cannot exhaust the stack.
#pragma once

#include <charconv>
#include <cmath>
#include <optional>
#include <string>
#include <string_view>

#include "core/json.hpp"

namespace vorn::fuzz {

class JsonReader {
  public:
    static std::optional<Json> read(std::string_view text) {
        JsonReader r{text};
        std::optional<Json> v = r.value(0);
        r.skip_blanks();
        return v && r.pos_ == text.size() ? v : std::nullopt;
    }

  private:
    explicit JsonReader(std::string_view text) : text_(text) {}

    std::string_view text_;
    std::size_t pos_ = 0;

    char peek() const { return pos_ < text_.size() ? text_[pos_] : '\0'; }
    void skip_blanks() {
        while (peek() == ' ' || peek() == '\t' || peek() == '\n' || peek() == '\r') ++pos_;
    }
    // Takes `c` if it comes next, after blanks.
    bool eat(char c) {
        skip_blanks();
        if (pos_ >= text_.size() || peek() != c) return false;
        ++pos_;
        return true;
    }
    bool word(std::string_view w) {
        if (text_.substr(pos_, w.size()) != w) return false;
        pos_ += w.size();
        return true;
    }

    std::optional<Json> value(int depth) {
        if (depth > 32) return std::nullopt;
        if (eat('{')) return object(depth);
        if (eat('[')) return array(depth);
        if (eat('"')) {
            std::optional<std::string> s = string();
            return s ? std::optional(Json::string(*s)) : std::nullopt;
        }
        if (word("true")) return Json::boolean(true);
        if (word("false")) return Json::boolean(false);
        if (word("null")) return Json::null();
        return number();
    }

    std::optional<Json> object(int depth) {
        JsonObject out;
        if (eat('}')) return Json::object(std::move(out));
        do {
            std::optional<std::string> key = eat('"') ? string() : std::nullopt;
            std::optional<Json> item = key && eat(':') ? value(depth + 1) : std::nullopt;
            if (!item) return std::nullopt;
            out.append_unsorted(JsonString(*key, out.resource()), std::move(*item));
        } while (eat(','));
        out.finish();
        return eat('}') ? std::optional(Json::object(std::move(out))) : std::nullopt;
    }

    std::optional<Json> array(int depth) {
        Json out = Json::array();
        if (eat(']')) return out;
        do {
            std::optional<Json> item = value(depth + 1);
            if (!item) return std::nullopt;
            out.if_array()->push_back(std::move(*item));
        } while (eat(','));
        return eat(']') ? std::optional(std::move(out)) : std::nullopt;
    }

    // The rest of a string whose opening quote was taken.
    std::optional<std::string> string() {
        static constexpr std::string_view kEscapes = "\"\"\\\\//b\bf\fn\nr\rt\t";
        std::string out;
        while (pos_ < text_.size()) {
            const char c = text_[pos_++];
            if (c == '"') return out;
            if (static_cast<unsigned char>(c) < 0x20) return std::nullopt;
            if (c != '\\') {
                out += c;
                continue;
            }
            const std::size_t e = kEscapes.find(peek());
            if (e == std::string_view::npos || e % 2 != 0) return std::nullopt;
            out += kEscapes[e + 1];
            ++pos_;
        }
        return std::nullopt;
    }

    // RFC 8259 numbers: no plus sign, no leading zeros, digits on both sides of a point.
    std::optional<Json> number() {
        const std::size_t start = pos_;
        word("-");
        const std::size_t int_start = pos_;
        const bool integral = digits() && !(peek() == '.' || peek() == 'e' || peek() == 'E');
        if (pos_ == int_start || (text_[int_start] == '0' && pos_ - int_start > 1))
            return std::nullopt;
        if (word(".") && !digits()) return std::nullopt;
        if (word("e") || word("E")) {
            if (!word("+")) word("-");
            if (!digits()) return std::nullopt;
        }
        const char* first = text_.data() + start;
        const char* last = text_.data() + pos_;
        std::int64_t i = 0;
        std::uint64_t u = 0;
        double d = 0;
        if (integral && std::from_chars(first, last, i).ec == std::errc()) return Json::integer(i);
        if (integral && std::from_chars(first, last, u).ec == std::errc())
            return Json::unsigned_integer(u);
        const auto [end, ec] = std::from_chars(first, last, d);
        if (ec != std::errc() || end != last || !std::isfinite(d)) return std::nullopt;
        return Json::number(d);
    }
    bool digits() {
        const std::size_t start = pos_;
        while (peek() >= '0' && peek() <= '9') ++pos_;
        return pos_ > start;
    }
};

}  // namespace vorn::fuzz
