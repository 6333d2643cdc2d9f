#include "core/events/dispatch.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <optional>
#include <utility>
#include <vector>

#include "tests/core/json_builders.hpp"

namespace vorn {
namespace {

using test::arr;
using test::edit;
using test::flag;
using test::missing;
using test::num;
using test::obj;
using test::str;
using test::Value;
using test::wrong;
using Issues = std::vector<Issue>;
using E = EventType;

const Json kExtra = arr({Json::null(), obj({{"deep", Json::number(1.5)}})});

Json message() {
    return obj({{"id", str("m1")},
                {"content", str("")},
                {"message_type", str("x")},
                {"sender_type", str("y")},
                {"sender_id", str("u1")},
                {"inserted_at", str("t0")},
                {"updated_at", str("t1")}});
}

Issues issues_of(EventType type, const Json& payload) {
    auto result = validate_event_payload(type, payload, std::nullopt);
    return result.ok() ? Issues{} : result.error().issues;
}

struct Accepted {
    EventType type;
    Json in;
    Json out;
};

void PrintTo(const Accepted& c, std::ostream* os) {
    *os << enum_text(c.type) << ' ' << testing::PrintToString(c.in);
}

class AcceptedShape : public testing::TestWithParam<Accepted> {};

TEST_P(AcceptedShape, ComesOutNormalizedWithUnknownKeysIntact) {
    const auto& [type, in, out] = GetParam();
    auto result = validate_event_payload(type, edit(in, {{"extra", kExtra}}), std::nullopt);
    ASSERT_TRUE(result.ok()) << result.error().display();
    EXPECT_EQ(result.value(), edit(out, {{"extra", kExtra}}));
}

// clang-format off
const Json kNull = Json::null();
const Json kMention = obj({{"id", str("u2")}, {"handle", kNull}, {"username", str("n")}});
const Json kMessageFull = edit(message(), {
    {"sender_name", kNull}, {"attachments", arr({num(1), str("a")})},
    {"metadata", obj({{"thread", str("t")}, {"mentions", arr({kMention})}})}});
const Json kRoom = obj({{"id", str("r")}, {"inserted_at", str("a")}, {"updated_at", str("b")}});
const Json kPerson = obj({{"id", str("p")}, {"type", str("user")}, {"name", str("n")}});
const Json kContact = obj({{"id", str("c")}, {"type", str("user")}, {"inserted_at", str("a")},
                           {"handle", kNull}, {"name", str("n")},
                           {"description", str("d")}, {"listed_in_directory", flag(false)},
                           {"tags", arr({num(1), kNull})}});
const Json kRequest = obj({{"id", str("q")}, {"status", str("p")}, {"inserted_at", str("a")}});
const Json kSupersede = obj({{"reason", str("r")}, {"message", str("m")},
                             {"correlation_id", kNull}});
const Json kControl = obj({{"mode", str("play")}, {"scope", str("room")}, {"agent_id", str("a")},
                           {"correlation_id", str("c")}, {"execution_id", kNull},
                           {"room_id", str("r")}, {"reason", str("x")}, {"type", str("y")}});

INSTANTIATE_TEST_SUITE_P(EveryEventType, AcceptedShape, testing::Values(
    Accepted{E::MessageCreated, kMessageFull, kMessageFull},
    Accepted{E::MessageUpdated, message(),
             edit(message(), {{"metadata", obj({{"mentions", arr()}})}, {"attachments", arr()}})},
    Accepted{E::RoomAdded, edit(kRoom, {{"title", kNull}, {"task_id", str("t")}}),
             edit(kRoom, {{"title", kNull}, {"task_id", str("t")}})},
    Accepted{E::RoomRemoved, kRoom, kRoom},
    Accepted{E::RoomDeleted, obj({{"id", str("")}}), obj({{"id", str("")}})},
    Accepted{E::ParticipantAdded,
             edit(kPerson, {{"handle", str("h")}, {"description", kNull},
                            {"is_external", flag(true)}}),
             edit(kPerson, {{"handle", str("h")}, {"description", kNull},
                            {"is_external", flag(true)}, {"is_remote", flag(true)}})},
    Accepted{E::ParticipantRemoved, edit(kPerson, {{"is_remote", flag(false)}}),
             edit(kPerson, {{"is_remote", flag(false)}, {"is_external", flag(false)}})},
    Accepted{E::ContactRequestReceived,
             edit(kRequest, {{"from_handle", str("h")}, {"from_name", kNull}, {"message", kNull}}),
             edit(kRequest, {{"from_handle", str("h")}})},
    Accepted{E::ContactRequestUpdated, obj({{"id", str("q")}, {"status", str("")}}),
             obj({{"id", str("q")}, {"status", str("")}})},
    Accepted{E::ContactAdded, kContact, kContact},
    Accepted{E::ContactRemoved, obj({{"id", str("c")}}), obj({{"id", str("c")}})},
    Accepted{E::Supersede,
             edit(kSupersede, {{"target_socket_id", kNull}, {"retry_after", Json::number(2.0)}}),
             edit(kSupersede, {{"target_socket_id", kNull}, {"retry_after", num(2)},
                               {"retryable", flag(false)}})},
    Accepted{E::Supersede, edit(kSupersede, {{"retryable", flag(true)}}),
             edit(kSupersede, {{"retryable", flag(true)}})},
    Accepted{E::AgentControl, kControl, kControl}));
// clang-format on

struct Rejected {
    EventType type;
    Json in;
    Issues issues;
};

void PrintTo(const Rejected& c, std::ostream* os) {
    *os << enum_text(c.type) << ' ' << testing::PrintToString(c.in);
}

class RejectedShape : public testing::TestWithParam<Rejected> {};

TEST_P(RejectedShape, ReportsEveryFaultInCheckOrder) {
    EXPECT_EQ(issues_of(GetParam().type, GetParam().in), GetParam().issues);
}

// Every listed field missing from an empty payload, in the listed (check) order.
Rejected absent(EventType type, std::initializer_list<std::string_view> keys) {
    Rejected r{type, obj(), {}};
    for (const auto key : keys) r.issues.push_back(missing(key));
    return r;
}

struct Bad {
    std::string_view key;
    Json value;
    std::string_view expected;  // the type name, or for a closed set the allowed values
};

// Every listed field holding a bad value; the issues come in the listed (check) order.
Rejected bad(EventType type, std::initializer_list<Bad> fields, Json base = obj()) {
    Rejected r{type, std::move(base), {}};
    for (const auto& [key, value, expected] : fields) {
        r.in.if_object()->set(key, value);
        r.issues.push_back(
            expected.find(',') == std::string_view::npos
                ? wrong(key, expected)
                : Issue{std::string(key), IssueCode::InvalidValue,
                        "`" + std::string(key) + "` must be one of: " + std::string(expected)});
    }
    return r;
}

const Json kOne = num(1);

// clang-format off
INSTANTIATE_TEST_SUITE_P(EveryCheck, RejectedShape, testing::Values(
    absent(E::MessageCreated, {"id", "content", "message_type", "sender_type", "sender_id",
                               "inserted_at", "updated_at"}),
    bad(E::MessageUpdated, {{"id", kNull, "string"}, {"content", kOne, "string"},
                            {"message_type", flag(true), "string"},
                            {"sender_type", arr(), "string"}, {"sender_id", obj(), "string"},
                            {"inserted_at", Json::number(1.5), "string"},
                            {"updated_at", kNull, "string"}, {"sender_name", kOne, "string"},
                            {"metadata", arr(), "object"}, {"attachments", obj(), "array"}}),
    absent(E::RoomAdded, {"id", "inserted_at", "updated_at"}),
    bad(E::RoomRemoved, {{"id", kOne, "string"}, {"inserted_at", kNull, "string"},
                         {"updated_at", kOne, "string"}, {"title", kOne, "string"},
                         {"task_id", obj(), "string"}}),
    absent(E::RoomDeleted, {"id"}),
    absent(E::ParticipantAdded, {"id", "type", "name"}),
    bad(E::ParticipantRemoved, {{"id", kOne, "string"}, {"type", kNull, "string"},
                                {"name", kOne, "string"}, {"handle", kNull, "string"},
                                {"description", kOne, "string"}, {"is_remote", str("x"), "boolean"},
                                {"is_external", kOne, "boolean"}}),
    absent(E::ContactAdded, {"id", "type", "inserted_at", "handle", "name"}),
    bad(E::ContactAdded, {{"id", kOne, "string"}, {"type", kOne, "string"},
                          {"inserted_at", kOne, "string"}, {"handle", kOne, "string"},
                          {"name", kOne, "string"}, {"description", kNull, "string"},
                          {"listed_in_directory", kNull, "boolean"}, {"tags", obj(), "array"},
                          {"is_remote", kOne, "boolean"}}),
    bad(E::ContactRemoved, {{"id", kNull, "string"}}),
    absent(E::ContactRequestUpdated, {"id", "status"}),
    absent(E::ContactRequestReceived, {"id", "status", "inserted_at"}),
    bad(E::ContactRequestReceived, {{"from_handle", kOne, "string"},
                                    {"from_name", flag(true), "string"},
                                    {"message", arr(), "string"}}, kRequest),
    // `correlation_id` may be null but must be there.
    absent(E::Supersede, {"reason", "message", "correlation_id"}),
    bad(E::Supersede, {{"reason", kOne, "string"}, {"message", kOne, "string"},
                       {"target_socket_id", kOne, "string"}, {"correlation_id", kOne, "string"}},
        obj({{"retryable", str("yes")}, {"retry_after", str("soon")}})),
    absent(E::AgentControl, {"mode", "scope", "agent_id", "correlation_id", "execution_id",
                             "room_id"}),
    bad(E::AgentControl, {{"mode", str("Stop"), "interrupt, stop, play"},
                          {"scope", str("Room"), "agent, room"}, {"agent_id", kNull, "string"},
                          {"correlation_id", kOne, "string"}, {"execution_id", kOne, "string"},
                          {"room_id", flag(true), "string"}, {"reason", kNull, "string"},
                          {"type", kOne, "string"}}),
    bad(E::AgentControl, {{"mode", kOne, "string"}, {"scope", kNull, "string"}}, kControl)));
// clang-format on

// Message normalization and mention checks, on otherwise valid payloads.
struct MessageCase {
    Value metadata, attachments;
    Value metadata_out, attachments_out;  // compared only when no issue is expected
    Issues issues;
};

void PrintTo(const MessageCase& c, std::ostream* os) {
    *os << "metadata " << testing::PrintToString(c.metadata) << ", attachments "
        << testing::PrintToString(c.attachments);
}

class MessageShape : public testing::TestWithParam<MessageCase> {};

TEST_P(MessageShape, NormalizesCollectionsAndChecksMentions) {
    const MessageCase& c = GetParam();
    const Json in = edit(message(), {{"metadata", c.metadata}, {"attachments", c.attachments}});
    auto result = validate_event_payload(E::MessageCreated, in, std::nullopt);
    EXPECT_EQ(result.ok() ? Issues{} : result.error().issues, c.issues);
    if (!result.ok()) return;
    EXPECT_EQ(result.value(),
              edit(message(), {{"metadata", c.metadata_out}, {"attachments", c.attachments_out}}));
}

const Json kNoMentions = obj({{"mentions", arr()}});

// clang-format off
INSTANTIATE_TEST_SUITE_P(Table, MessageShape, testing::Values(
    MessageCase{kNull, kNull, kNoMentions, arr(), {}},
    MessageCase{obj(), {}, kNoMentions, arr(), {}},
    MessageCase{obj({{"thread", str("t")}, {"mentions", kNull}}), arr({obj(), num(2)}),
                obj({{"thread", str("t")}, {"mentions", arr()}}), arr({obj(), num(2)}), {}},
    MessageCase{kNoMentions, arr(), kNoMentions, arr(), {}},
    MessageCase{arr({kNoMentions}), {}, {}, {}, {wrong("metadata", "object")}},
    MessageCase{str("m"), str("a"), {}, {},
                {wrong("metadata", "object"), wrong("attachments", "array")}},
    MessageCase{obj({{"mentions", str("x")}}), {}, {}, {}, {wrong("metadata.mentions", "array")}},
    MessageCase{obj({{"mentions", arr({str("s"), obj({{"username", num(5)}}), kMention,
                                       obj({{"id", num(1)}, {"username", arr()},
                                            {"handle", num(1)}, {"name", obj()}})})}}),
                {}, {}, {},
                {wrong("metadata.mentions[0]", "object"), missing("metadata.mentions[1].id"),
                 wrong("metadata.mentions[1].username", "string"),
                 wrong("metadata.mentions[3].id", "string"),
                 wrong("metadata.mentions[3].username", "string"),
                 wrong("metadata.mentions[3].handle", "string"),
                 wrong("metadata.mentions[3].name", "string")}}));
// clang-format on

TEST(MessageShape, IndexesPastOneDigit) {
    Json mentions = arr();
    for (int i = 0; i < 11; ++i) mentions.if_array()->push_back(kMention);
    mentions.if_array()->push_back(Json::null());
    mentions.if_array()->push_back(obj({{"id", str("x")}, {"name", num(0)}}));
    const Json in = edit(message(), {{"metadata", obj({{"mentions", std::move(mentions)}})}});
    EXPECT_EQ(issues_of(E::MessageCreated, in),
              (Issues{wrong("metadata.mentions[11]", "object"),
                      wrong("metadata.mentions[12].name", "string")}));
}

TEST(Dispatch, NonObjectPayloadIsOneIssueForEveryValidatedType) {
    const Issue whole{"", IssueCode::WrongType, "payload must be a JSON object"};
    for (const Json& payload : {Json::null(), arr({obj()}), str("{}"), num(3)}) {
        for (std::size_t i = 0; i < enum_members<EventType>().size(); ++i) {
            const auto type = static_cast<EventType>(i);
            if (type == E::EventCreated) continue;
            auto result = validate_event_payload(type, payload, "tc");
            ASSERT_FALSE(result.ok()) << enum_text(type);
            EXPECT_EQ(result.error().issues, Issues{whole});
            EXPECT_EQ(result.error().trace_context, "tc");
        }
    }
}

TEST(Dispatch, EventCreatedCopiesAnyValueUnchecked) {
    for (const Json& payload :
         {Json::null(), flag(false), Json::number(0.25), str("s"), arr({num(1)}),
          obj({{"id", num(1)}, {"nested", obj({{"a", arr()}})}})}) {
        auto result = validate_event_payload(E::EventCreated, payload, std::nullopt);
        ASSERT_TRUE(result.ok());
        EXPECT_EQ(result.value(), payload);
        EXPECT_EQ(result.value().kind(), payload.kind());
    }
}

TEST(Dispatch, CarriesTheTraceContextAndRejectsAStrayTypeByte) {
    auto failed = validate_event_payload(E::RoomDeleted, obj(), "trace-1");
    ASSERT_FALSE(failed.ok());
    EXPECT_EQ(failed.error().trace_context, "trace-1");
    EXPECT_EQ(validate_event_payload(E::RoomDeleted, obj(), std::nullopt).error().trace_context,
              std::nullopt);
    auto stray = validate_event_payload(static_cast<EventType>(200), obj(), "t");
    ASSERT_FALSE(stray.ok());
    EXPECT_EQ(stray.error().issues,
              (Issues{{"event_type", IssueCode::InvalidValue, "unknown event type `200`"}}));
}

// Makes any allocation that misses the arena throw, for the scope of one call.
class NoDefaultAllocation {
  public:
    NoDefaultAllocation()
        : previous_(std::pmr::set_default_resource(std::pmr::null_memory_resource())) {}
    ~NoDefaultAllocation() { std::pmr::set_default_resource(previous_); }

  private:
    MemoryResource* previous_;
};

TEST(Dispatch, ArenaOutputOutlivesTheInputAndKeepsOrigins) {
    const int key_origin = 0;
    const int text_origin = 0;
    const std::string long_text(100, 'c');
    std::array<std::byte, 16384> buffer{};
    std::pmr::monotonic_buffer_resource arena(buffer.data(), buffer.size(),
                                              std::pmr::null_memory_resource());
    Json message_out, supersede_out, created_out;
    {
        Json in = message();
        in.if_object()->set(
            JsonString("a_key_that_does_not_fit_inline", in.if_object()->resource(), &key_origin),
            Json::string(long_text, std::pmr::get_default_resource(), &text_origin));
        const Json superseded = kSupersede;
        NoDefaultAllocation guard;
        auto a = validate_event_payload(E::MessageCreated, in, std::nullopt, &arena);
        auto b = validate_event_payload(E::Supersede, superseded, std::nullopt, &arena);
        auto c = validate_event_payload(E::EventCreated, in, std::nullopt, &arena);
        ASSERT_TRUE(a.ok() && b.ok() && c.ok());
        message_out = std::move(a.value());
        supersede_out = std::move(b.value());
        created_out = std::move(c.value());
    }
    const JsonObject& out = *message_out.if_object();
    EXPECT_EQ(out.resource(), &arena);
    EXPECT_EQ(out.find("metadata")->if_object()->resource(), &arena);
    EXPECT_EQ(out.find("attachments")->if_array()->get_allocator().resource(), &arena);
    EXPECT_EQ(*out.find("metadata"), kNoMentions);
    for (const JsonObject* kept : {&out, std::as_const(created_out).if_object()}) {
        const JsonMember& carried = *kept->begin();
        EXPECT_EQ(carried.key.text(), "a_key_that_does_not_fit_inline");
        EXPECT_EQ(carried.key.origin, &key_origin);
        EXPECT_EQ(carried.value.if_string()->text(), long_text);
        EXPECT_EQ(carried.value.if_string()->origin, &text_origin);
    }
    EXPECT_EQ(supersede_out, edit(kSupersede, {{"retryable", flag(false)}}));
}

}  // namespace
}  // namespace vorn
