#include "core/error.hpp"

#include <cmath>
#include <limits>

namespace vorn {

namespace {

// Debug text quotes strings so that an empty path or a message holding quotes stays readable.
void append_quoted(std::string& out, std::string_view text) {
    out += '"';
    for (const char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    out += '"';
}

bool is_null_or_absent(const Json* value) {
    return value == nullptr || value->is_null();
}

// -2^63 and 2^63 are exact doubles; anything whole in [-2^63, 2^63) converts without overflow.
constexpr double kTwoPow63 = 9223372036854775808.0;

Json whole_number_or_null(const Json& value) {
    if (const auto* i = value.if_int()) return Json::integer(*i);
    if (const auto* u = value.if_uint()) {
        if (*u <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
            return Json::integer(static_cast<std::int64_t>(*u));
        }
        return Json::null();
    }
    if (const auto* d = value.if_float()) {
        // NaN fails every comparison, infinities the range, so only finite whole values pass.
        if (*d >= -kTwoPow63 && *d < kTwoPow63 && std::trunc(*d) == *d) {
            return Json::integer(static_cast<std::int64_t>(*d));
        }
    }
    return Json::null();
}

}  // namespace

std::string_view wire_name(IssueCode code) {
    switch (code) {
        case IssueCode::Missing:
            return "missing";
        case IssueCode::WrongType:
            return "wrong_type";
        case IssueCode::InvalidValue:
            return "invalid_value";
    }
    return {};
}

std::string CoreError::display() const {
    std::string out = std::to_string(issues.size());
    out += " validation issue(s)";
    if (!issues.empty()) {
        const Issue& first = issues.front();
        out += ": ";
        out += first.message;
        out += " (";
        out += first.path;
        out += ')';
    }
    return out;
}

std::string CoreError::debug() const {
    std::string out = "CoreError { issues: [";
    for (std::size_t i = 0; i < issues.size(); ++i) {
        const Issue& issue = issues[i];
        if (i != 0) out += ", ";
        out += "Issue { path: ";
        append_quoted(out, issue.path);
        out += ", code: ";
        out += wire_name(issue.code);
        out += ", message: ";
        append_quoted(out, issue.message);
        out += " }";
    }
    out += "], trace_context: ";
    if (trace_context) {
        append_quoted(out, *trace_context);
    } else {
        out += "null";
    }
    out += " }";
    return out;
}

void Validation::push(std::string_view path, IssueCode code, std::string message) {
    issues_.push_back(Issue{std::string(path), code, std::move(message)});
}

void Validation::wrong_type(std::string_view path, std::string_view expected) {
    const bool vowel = !expected.empty() &&
                       std::string_view("aeiou").find(expected.front()) != std::string_view::npos;
    std::string message;
    message.reserve(path.size() + expected.size() + 16);
    message += '`';
    message += path;
    message += vowel ? "` must be an " : "` must be a ";
    message += expected;
    push(path, IssueCode::WrongType, std::move(message));
}

void Validation::missing(std::string_view path) {
    std::string message = "required field `";
    message += path;
    message += "` is missing";
    push(path, IssueCode::Missing, std::move(message));
}

CoreError Validation::into_error(std::optional<std::string> trace_context) && {
    return CoreError{std::move(issues_), std::move(trace_context)};
}

void require_string(const JsonObject& object, std::string_view key, Validation& v) {
    const Json* value = object.find(key);
    if (value == nullptr) {
        v.missing(key);
    } else if (value->if_string() == nullptr) {
        v.wrong_type(key, "string");
    }
}

void require_nullable_string(const JsonObject& object, std::string_view key, Validation& v) {
    const Json* value = object.find(key);
    if (value == nullptr) {
        v.missing(key);
    } else if (!value->is_null() && value->if_string() == nullptr) {
        v.wrong_type(key, "string");
    }
}

void require_closed_string(const JsonObject& object, std::string_view key,
                           std::initializer_list<std::string_view> allowed, Validation& v) {
    const Json* value = object.find(key);
    if (value == nullptr) {
        v.missing(key);
        return;
    }
    const JsonString* s = value->if_string();
    if (s == nullptr) {
        v.wrong_type(key, "string");
        return;
    }
    for (const std::string_view candidate : allowed) {
        if (s->text() == candidate) return;
    }
    std::string message = "`";
    message += key;
    message += "` must be one of: ";
    bool first = true;
    for (const std::string_view candidate : allowed) {
        if (!first) message += ", ";
        message += candidate;
        first = false;
    }
    v.push(key, IssueCode::InvalidValue, std::move(message));
}

void optional_string_null_as_absent(const JsonObject& object, std::string_view key,
                                    JsonObject& target, Validation& v) {
    const Json* value = object.find(key);
    if (value == nullptr || value->if_string() != nullptr) return;
    if (value->is_null()) {
        target.erase(key);
    } else {
        v.wrong_type(key, "string");
    }
}

void normalize_retryable(const JsonObject& source, JsonObject& target) {
    const Json* value = source.find("retryable");
    const bool* flag = value != nullptr ? value->if_bool() : nullptr;
    target.set("retryable", Json::boolean(flag != nullptr && *flag));
}

void normalize_retry_after(const JsonObject& source, JsonObject& target) {
    const Json* value = source.find("retry_after");
    if (value == nullptr) return;
    target.set("retry_after", whole_number_or_null(*value));
}

void normalize_remote_alias(const JsonObject& source, JsonObject& target, Validation& v) {
    const Json* remote = source.find("is_remote");
    const Json* external = source.find("is_external");
    const bool* remote_flag = remote != nullptr ? remote->if_bool() : nullptr;
    const bool* external_flag = external != nullptr ? external->if_bool() : nullptr;
    if (!is_null_or_absent(remote) && remote_flag == nullptr) v.wrong_type("is_remote", "boolean");
    if (!is_null_or_absent(external) && external_flag == nullptr) {
        v.wrong_type("is_external", "boolean");
    }
    // Both given: each keeps its own value, even when they disagree.
    if (external_flag != nullptr) {
        if (remote_flag == nullptr) target.set("is_remote", Json::boolean(*external_flag));
    } else if (remote_flag != nullptr) {
        target.set("is_external", Json::boolean(*remote_flag));
    }
}

}  // namespace vorn
