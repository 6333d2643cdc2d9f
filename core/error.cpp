#include "core/error.hpp"

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

void Validation::not_one_of(std::string_view path,
                            std::initializer_list<std::string_view> allowed) {
    std::string message = "`";
    message += path;
    message += "` must be one of: ";
    bool first = true;
    for (const std::string_view candidate : allowed) {
        if (!first) message += ", ";
        message += candidate;
        first = false;
    }
    push(path, IssueCode::InvalidValue, std::move(message));
}

}  // namespace vorn
