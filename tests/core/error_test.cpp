#include "core/error.hpp"

#include <gtest/gtest.h>

#include <limits>
#include <vector>

#include "core/events/checks.hpp"
#include "core/json_document.hpp"
#include "tests/core/json_builders.hpp"

namespace vorn {
namespace {

using namespace test;

TEST(Validation, ArticleFollowsALowerCaseVowel) {
    for (const auto& [expected, message] : std::vector<std::pair<std::string_view, std::string>>{
             {"integer", "`f` must be an integer"},
             {"number", "`f` must be a number"},
             {"array", "`f` must be an array"},
             {"Object", "`f` must be a Object"},
             {"", "`f` must be a "}}) {
        Validation v;
        v.wrong_type("f", expected);
        EXPECT_EQ(v.issues(), (std::vector<Issue>{{"f", IssueCode::WrongType, message}}));
    }
}

TEST(CoreError, DisplayCountsIssuesAndQuotesTheFirst) {
    EXPECT_EQ((CoreError{{}, std::nullopt}).display(), "0 validation issue(s)");
    EXPECT_EQ((CoreError{{missing("content")}, std::nullopt}).display(),
              "1 validation issue(s): required field `content` is missing (content)");
    EXPECT_EQ((CoreError{{wrong("", "object"), missing("id")}, "t"}).display(),
              "2 validation issue(s): `` must be an object ()");
}

TEST(CoreError, DebugQuotesEveryTextField) {
    EXPECT_EQ(CoreError{}.debug(), "CoreError { issues: [], trace_context: null }");
    EXPECT_EQ(
        (CoreError{{missing("id"), {"a\\b", IssueCode::InvalidValue, "\"x\""}}, "tc"}).debug(),
        "CoreError { issues: [Issue { path: \"id\", code: missing, message: \"required field "
        "`id` is missing\" }, Issue { path: \"a\\\\b\", code: invalid_value, message: "
        "\"\\\"x\\\"\" }], trace_context: \"tc\" }");
}

// Whole numbers in the signed 64-bit range stay (as signed integers); anything else becomes null.
TEST(NormalizeRetryAfter, EdgeValues) {
    constexpr double kTwo63 = 9223372036854775808.0;
    constexpr auto kMax = std::numeric_limits<std::int64_t>::max();
    const Json kNull = Json::null();
    const std::vector<std::pair<Json, Json>> table{
        {Json::number(kTwo63), kNull},
        {Json::number(-kTwo63), num(std::numeric_limits<std::int64_t>::min())},
        {Json::number(-0.0), num(0)},
        {Json::number(1e300), kNull},
        {Json::number(std::numeric_limits<double>::quiet_NaN()), kNull},
        {Json::unsigned_integer(static_cast<std::uint64_t>(kMax) + 1), kNull},
        {Json::unsigned_integer(static_cast<std::uint64_t>(kMax)), num(kMax)},
        {flag(true), kNull},
    };
    for (const auto& [value, expected] : table) {
        const Json source = obj({{"retry_after", value}});
        Json target = source;
        JsonDocument doc = JsonDocument::editor();
        normalize_retry_after(doc, &target);
        SCOPED_TRACE(testing::PrintToString(source));
        const Json& written = *target.if_object()->find("retry_after");
        EXPECT_EQ(written.kind(), expected.kind());
        EXPECT_EQ(written, expected);
    }
}

// Null counts as absent: the other flag, if a boolean, fills it.
TEST(NormalizeRemoteAlias, NullIsFilledFromTheOtherFlag) {
    const Json kNull = Json::null();
    const std::vector<std::pair<std::pair<Value, Value>, std::pair<Value, Value>>> table{
        {{{}, {}}, {{}, {}}},
        {{kNull, kNull}, {kNull, kNull}},
        {{kNull, flag(false)}, {flag(false), flag(false)}},
        {{flag(true), kNull}, {flag(true), flag(true)}},
    };
    for (const auto& [in, out] : table) {
        const Json source = edit(obj(), {{"is_remote", in.first}, {"is_external", in.second}});
        Json target = source;
        Validation v;
        JsonDocument doc = JsonDocument::editor();
        normalize_remote_alias(doc, &target, v);
        EXPECT_EQ(target, edit(obj(), {{"is_remote", out.first}, {"is_external", out.second}}))
            << testing::PrintToString(source);
        EXPECT_TRUE(v.ok());
    }
}

}  // namespace
}  // namespace vorn
