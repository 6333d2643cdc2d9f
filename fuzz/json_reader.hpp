// A small JSON text reader for the targets, reading only what the validators look at: objects,
// arrays, strings (escapes only for the quote and the backslash), numbers as the core holds them
// (a signed integer when it fits, else an unsigned one, else a finite double), true, false and
// null. Objects are built through the core's own unsorted-then-`finish` path, so a repeated key
// keeps its last value. Nesting is bounded, so a deep input cannot exhaust the stack. Each reader
// takes what it reads off the front of `s`.
#pragma once

#include <algorithm>
#include <charconv>
#include <cmath>
#include <optional>
#include <string>
#include <string_view>

#include "core/json.hpp"

namespace vorn::fuzz::json_text {

// Takes `word` if it comes next, after blanks.
inline bool eat(std::string_view& s, std::string_view word) {
    s.remove_prefix(std::min(s.find_first_not_of(" \t\n\r"), s.size()));
    if (!s.starts_with(word)) return false;
    s.remove_prefix(word.size());
    return true;
}

// Reads `item`s separated by commas up to `close`; false on a syntax error.
template <class Item>
bool items(std::string_view& s, std::string_view close, Item item) {
    if (eat(s, close)) return true;
    do {
        if (!item()) return false;
    } while (eat(s, ","));
    return eat(s, close);
}

// Whether all of `text` reads as one `T`.
template <class T>
bool whole(std::string_view text, T& v) {
    const auto r = std::from_chars(text.data(), text.data() + text.size(), v);
    return r.ec == std::errc() && r.ptr == text.data() + text.size();
}

// The rest of a string whose opening quote was taken.
inline std::optional<std::string> string(std::string_view& s) {
    std::string out;
    for (; !s.empty() && s[0] != '"'; s.remove_prefix(1)) {
        if (s[0] == '\\' && !s.starts_with("\\\"") && !s.starts_with("\\\\")) return std::nullopt;
        if (s[0] == '\\') s.remove_prefix(1);
        out += s[0];
    }
    return eat(s, "\"") ? std::optional(out) : std::nullopt;
}

inline std::optional<Json> number(std::string_view& s) {
    double d = 0;
    const char* end = std::from_chars(s.data(), s.data() + s.size(), d).ptr;
    const std::string_view text = s.substr(0, static_cast<std::size_t>(end - s.data()));
    s.remove_prefix(text.size());
    std::int64_t i = 0;
    std::uint64_t u = 0;
    if (whole(text, i)) return Json::integer(i);
    if (whole(text, u)) return Json::unsigned_integer(u);
    return whole(text, d) && std::isfinite(d) ? std::optional(Json::number(d)) : std::nullopt;
}

inline std::optional<Json> value(std::string_view& s, int depth) {
    if (depth > 32) return std::nullopt;
    if (eat(s, "{")) {
        JsonObject out;
        const bool ok = items(s, "}", [&] {
            std::optional<std::string> key = eat(s, "\"") ? string(s) : std::nullopt;
            std::optional<Json> item = key && eat(s, ":") ? value(s, depth + 1) : std::nullopt;
            if (item) out.append_unsorted(JsonString(*key, out.resource()), std::move(*item));
            return item.has_value();
        });
        out.finish();
        return ok ? std::optional(Json::object(std::move(out))) : std::nullopt;
    }
    if (eat(s, "[")) {
        Json out = Json::array();
        const bool ok = items(s, "]", [&] {
            std::optional<Json> item = value(s, depth + 1);
            if (item) out.if_array()->push_back(std::move(*item));
            return item.has_value();
        });
        return ok ? std::optional(std::move(out)) : std::nullopt;
    }
    if (eat(s, "\"")) {
        std::optional<std::string> text = string(s);
        return text ? std::optional(Json::string(*text)) : std::nullopt;
    }
    if (eat(s, "true")) return Json::boolean(true);
    if (eat(s, "false")) return Json::boolean(false);
    if (eat(s, "null")) return Json::null();
    return number(s);
}

// The whole of `s` as one JSON value.
inline std::optional<Json> read(std::string_view s) {
    std::optional<Json> v = value(s, 0);
    return v && eat(s, "") && s.empty() ? v : std::nullopt;
}

}  // namespace vorn::fuzz::json_text
