// The one shape in which the core reports rejected input: issues (path, code, message) collected by
// a `Validation`, handed back as a `CoreError` with the caller's trace context.
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
    // "`{path}` must be one of: {allowed, comma separated}"
    void not_one_of(std::string_view path, std::initializer_list<std::string_view> allowed);

    bool ok() const { return issues_.empty(); }
    const std::vector<Issue>& issues() const { return issues_; }
    CoreError into_error(std::optional<std::string> trace_context) &&;

  private:
    std::vector<Issue> issues_;
};

}  // namespace vorn
