// The one shape in which the core reports rejected input: issues (path, code, message) collected by
// a `Validation`, handed back as a `CoreError` with the caller's trace context. Also the field
// checks and normalizations that the event validators share. Checks never stop early: each appends
// its issues and returns, so a payload reports every fault in check order.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "core/json.hpp"

namespace vorn {

enum class IssueCode : std::uint8_t { Missing = 0, WrongType = 1, InvalidValue = 2 };

std::string_view wire_name(IssueCode code);

struct Issue {
    std::string path;
    IssueCode code;
    std::string message;

    friend bool operator==(const Issue&, const Issue&) = default;
};

struct CoreError {
    std::vector<Issue> issues;
    std::optional<std::string> trace_context;

    // "{n} validation issue(s)" and, with at least one issue, ": {message} ({path}) of the first.
    std::string display() const;
    // Both fields by name, for diagnostics.
    std::string debug() const;
};

// Either a value or a CoreError. Domain failures are values, never exceptions.
template <class T>
class Result {
  public:
    Result(T value) : v_(std::in_place_index<0>, std::move(value)) {}
    Result(CoreError error) : v_(std::in_place_index<1>, std::move(error)) {}

    bool ok() const { return v_.index() == 0; }
    explicit operator bool() const { return ok(); }
    T& value() { return std::get<0>(v_); }
    const T& value() const { return std::get<0>(v_); }
    CoreError& error() { return std::get<1>(v_); }
    const CoreError& error() const { return std::get<1>(v_); }

  private:
    std::variant<T, CoreError> v_;
};

class Validation {
  public:
    void push(std::string_view path, IssueCode code, std::string message);
    // "`{path}` must be {a|an} {expected}"; "an" before a lower-case vowel.
    void wrong_type(std::string_view path, std::string_view expected);
    // "required field `{path}` is missing"
    void missing(std::string_view path);

    bool ok() const { return issues_.empty(); }
    const std::vector<Issue>& issues() const { return issues_; }
    CoreError into_error(std::optional<std::string> trace_context) &&;

  private:
    std::vector<Issue> issues_;
};

// Field checks on `object`; `key` is both the field looked up and the issue path.
void require_string(const JsonObject& object, std::string_view key, Validation& v);
void require_nullable_string(const JsonObject& object, std::string_view key, Validation& v);
void require_closed_string(const JsonObject& object, std::string_view key,
                           std::initializer_list<std::string_view> allowed, Validation& v);
// Present null is removed from `target`; any other non-string is a wrong type.
void optional_string_null_as_absent(const JsonObject& object, std::string_view key,
                                    JsonObject& target, Validation& v);

// Normalizations: read `source`, write `target` (which already holds the copied fields).
void normalize_retryable(const JsonObject& source, JsonObject& target);
void normalize_retry_after(const JsonObject& source, JsonObject& target);
void normalize_remote_alias(const JsonObject& source, JsonObject& target, Validation& v);

}  // namespace vorn
