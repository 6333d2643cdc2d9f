#include "core/error.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <limits>
#include <optional>
#include <vector>

#include "tests/core/json_builders.hpp"

namespace vorn {
namespace {

using test::edit;
using test::flag;
using test::missing;
using test::num;
using test::str;
using test::Value;
using test::wrong;

TEST(IssueCode, WireNames) {
    EXPECT_EQ(wire_name(IssueCode::Missing), "missing");
    EXPECT_EQ(wire_name(IssueCode::WrongType), "wrong_type");
    EXPECT_EQ(wire_name(IssueCode::InvalidValue), "invalid_value");
}

TEST(Validation, ArticleFollowsALowerCaseVowel) {
    Validation v;
    for (const char* expected :
         {"object", "array", "integer", "string", "boolean", "number", "Object"}) {
        v.wrong_type("f", expected);
    }
    std::vector<std::string> messages;
    for (const auto& issue : v.issues()) messages.push_back(issue.message);
    EXPECT_THAT(messages, testing::ElementsAre("`f` must be an object", "`f` must be an array",
                                               "`f` must be an integer", "`f` must be a string",
                                               "`f` must be a boolean", "`f` must be a number",
                                               "`f` must be a Object"));
}

TEST(Validation, KeepsItsOwnCopyOfThePathAndHandsIssuesOverInOrder) {
    Validation v;
    std::string path = "metadata.mentions[12].username";
    v.missing(path);
    path.assign(path.size(), '#');
    v.push("", IssueCode::InvalidValue, "whole payload");
    CoreError e = std::move(v).into_error("trace-7");
    EXPECT_THAT(e.issues,
                testing::ElementsAre(missing("metadata.mentions[12].username"),
                                     Issue{"", IssueCode::InvalidValue, "whole payload"}));
    EXPECT_EQ(e.trace_context, "trace-7");
}

TEST(CoreError, DisplayCountsIssuesAndQuotesTheFirst) {
    EXPECT_EQ((CoreError{{}, std::nullopt}).display(), "0 validation issue(s)");
    EXPECT_EQ((CoreError{{missing("content")}, std::nullopt}).display(),
              "1 validation issue(s): required field `content` is missing (content)");
    EXPECT_EQ((CoreError{{wrong("", "object"), missing("id")}, "t"}).display(),
              "2 validation issue(s): `` must be an object ()");
}

TEST(CoreError, DebugNamesBothFields) {
    const std::string with = CoreError{{missing("id")}, "tc \"1\""}.debug();
    EXPECT_THAT(with, testing::HasSubstr("issues"));
    EXPECT_THAT(with, testing::HasSubstr("\"required field `id` is missing\""));
    EXPECT_THAT(with, testing::HasSubstr("trace_context: \"tc \\\"1\\\"\""));
    EXPECT_THAT(CoreError{}.debug(), testing::HasSubstr("trace_context: null"));
}

// One table for the four field checks, all on the key `mode`.
enum class Check { String, NullableString, ClosedString, NullAsAbsent };

struct FieldCase {
    Check check;
    Value value;
    std::vector<Issue> issues;
    bool removed = false;
};

const Issue kNotAMode{"mode", IssueCode::InvalidValue,
                      "`mode` must be one of: interrupt, stop, play"};

void PrintTo(const FieldCase& c, std::ostream* os) {
    *os << "check " << static_cast<int>(c.check) << ", mode " << testing::PrintToString(c.value);
}

class FieldCheck : public testing::TestWithParam<FieldCase> {};

TEST_P(FieldCheck, ReportsExactlyTheExpectedIssues) {
    const FieldCase& c = GetParam();
    const Json source = edit(test::obj({{"other", num(1)}}), {{"mode", c.value}});
    Json target = source;
    Validation v;
    const JsonObject& in = *source.if_object();
    switch (c.check) {
        case Check::String:
            require_string(in, "mode", v);
            break;
        case Check::NullableString:
            require_nullable_string(in, "mode", v);
            break;
        case Check::ClosedString:
            require_closed_string(in, "mode", {"interrupt", "stop", "play"}, v);
            break;
        case Check::NullAsAbsent:
            optional_string_null_as_absent(in, "mode", *target.if_object(), v);
            break;
    }
    EXPECT_EQ(v.issues(), c.issues);
    EXPECT_EQ(target, c.removed ? edit(source, {{"mode", {}}}) : source);
}

const Json kNull = Json::null();

// clang-format off
INSTANTIATE_TEST_SUITE_P(Table, FieldCheck, testing::Values(
    FieldCase{Check::String, {}, {missing("mode")}},
    FieldCase{Check::String, kNull, {wrong("mode", "string")}},
    FieldCase{Check::String, str(""), {}},
    FieldCase{Check::String, num(5), {wrong("mode", "string")}},
    FieldCase{Check::String, test::obj(), {wrong("mode", "string")}},
    FieldCase{Check::NullableString, {}, {missing("mode")}},
    FieldCase{Check::NullableString, kNull, {}},
    FieldCase{Check::NullableString, str("x"), {}},
    FieldCase{Check::NullableString, flag(false), {wrong("mode", "string")}},
    FieldCase{Check::ClosedString, {}, {missing("mode")}},
    FieldCase{Check::ClosedString, kNull, {wrong("mode", "string")}},
    FieldCase{Check::ClosedString, str("stop"), {}},
    FieldCase{Check::ClosedString, str("Stop"), {kNotAMode}},
    FieldCase{Check::ClosedString, str(""), {kNotAMode}},
    FieldCase{Check::ClosedString, test::arr(), {wrong("mode", "string")}},
    FieldCase{Check::NullAsAbsent, {}, {}},
    FieldCase{Check::NullAsAbsent, kNull, {}, true},
    FieldCase{Check::NullAsAbsent, str("x"), {}},
    FieldCase{Check::NullAsAbsent, num(0), {wrong("mode", "string")}}));
// clang-format on

TEST(NormalizeRetryable, OnlyABooleanTrueStaysTrue) {
    const std::vector<std::pair<Value, bool>> table{{std::nullopt, false}, {kNull, false},
                                                    {str("true"), false},  {num(1), false},
                                                    {flag(true), true},    {flag(false), false}};
    for (const auto& [value, expected] : table) {
        const Json source = edit(test::obj(), {{"retryable", value}});
        Json target = source;
        normalize_retryable(*source.if_object(), *target.if_object());
        EXPECT_EQ(target, test::obj({{"retryable", flag(expected)}}))
            << testing::PrintToString(source);
    }
}

TEST(NormalizeRetryAfter, KeepsWholeNumbersAsSignedIntegers) {
    constexpr double kTwo63 = 9223372036854775808.0;
    constexpr auto kMax = std::numeric_limits<std::int64_t>::max();
    constexpr auto kMin = std::numeric_limits<std::int64_t>::min();
    // Expected nullopt: no key written; null: written as null; otherwise a signed integer.
    const std::vector<std::pair<Value, Value>> table{
        {num(30), num(30)},
        {Json::number(30.0), num(30)},
        {Json::number(30.5), kNull},
        {str("30"), kNull},
        {num(-5), num(-5)},
        {std::nullopt, std::nullopt},
        {Json::number(kTwo63), kNull},
        {Json::number(-kTwo63), num(kMin)},
        {Json::number(-0.0), num(0)},
        {Json::number(1e300), kNull},
        {Json::unsigned_integer(static_cast<std::uint64_t>(kMax) + 1), kNull},
        {Json::unsigned_integer(static_cast<std::uint64_t>(kMax)), num(kMax)},
        {flag(true), kNull},
        {kNull, kNull},
        {test::arr({num(1)}), kNull},
    };
    for (const auto& [value, expected] : table) {
        const Json source = edit(test::obj(), {{"retry_after", value}});
        Json target = source;
        normalize_retry_after(*source.if_object(), *target.if_object());
        SCOPED_TRACE(testing::PrintToString(source));
        const Json* written = target.if_object()->find("retry_after");
        ASSERT_EQ(written != nullptr, expected.has_value());
        if (!expected) continue;
        EXPECT_EQ(written->kind(), expected->kind());
        EXPECT_EQ(*written, *expected);
    }
}

struct AliasCase {
    Value remote, external;
    Value remote_out, external_out;
    std::vector<Issue> issues;
};

void PrintTo(const AliasCase& c, std::ostream* os) {
    *os << "is_remote " << testing::PrintToString(c.remote) << ", is_external "
        << testing::PrintToString(c.external);
}

class RemoteAlias : public testing::TestWithParam<AliasCase> {};

TEST_P(RemoteAlias, FillsTheMissingAlias) {
    const AliasCase& c = GetParam();
    const Json source = edit(test::obj(), {{"is_remote", c.remote}, {"is_external", c.external}});
    Json target = source;
    Validation v;
    normalize_remote_alias(*source.if_object(), *target.if_object(), v);
    EXPECT_EQ(target,
              edit(test::obj(), {{"is_remote", c.remote_out}, {"is_external", c.external_out}}));
    EXPECT_EQ(v.issues(), c.issues);
}

const Json kT = flag(true);
const Json kF = flag(false);

// clang-format off
INSTANTIATE_TEST_SUITE_P(Table, RemoteAlias, testing::Values(
    AliasCase{{}, {}, {}, {}, {}},
    AliasCase{kNull, kNull, kNull, kNull, {}},
    AliasCase{{}, kT, kT, kT, {}},
    AliasCase{kF, {}, kF, kF, {}},
    AliasCase{kNull, kF, kF, kF, {}},
    AliasCase{kF, kT, kF, kT, {}},  // both given: each keeps its own value
    AliasCase{str("yes"), kT, kT, kT, {wrong("is_remote", "boolean")}},
    AliasCase{kT, num(1), kT, kT, {wrong("is_external", "boolean")}},
    AliasCase{str("a"), num(0), str("a"), num(0),
              {wrong("is_remote", "boolean"), wrong("is_external", "boolean")}}));
// clang-format on

}  // namespace
}  // namespace vorn
