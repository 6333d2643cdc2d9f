#include "core/events/dispatch.hpp"

#include <gtest/gtest.h>

#include <array>
#include <optional>
#include <utility>
#include <vector>

#include "tests/core/json_builders.hpp"

namespace vorn {
namespace {

using namespace test;
using Issues = std::vector<Issue>;
using E = EventType;

const Json kNull = Json::null();
const std::array kMessageFields{"id",        "content",     "message_type", "sender_type",
                                "sender_id", "inserted_at", "updated_at"};

Json message() {
    Json out = obj();
    for (const char* key : kMessageFields) out.if_object()->set(key, str("x"));
    return out;
}

TEST(MessageShape, NullMentionsBecomeEmptyAndAttachmentsStayAsGiven) {
    const Json attachments = arr({obj(), num(2)});
    const Json in = edit(message(), {{"metadata", obj({{"mentions", kNull}, {"t", str("t")}})},
                                     {"attachments", attachments}});
    auto result = validate_event_payload(E::MessageCreated, in, std::nullopt);
    ASSERT_TRUE(result.ok()) << result.error().display();
    EXPECT_EQ(result.value(),
              edit(in, {{"metadata", obj({{"mentions", arr()}, {"t", str("t")}})}}));
}

TEST(Dispatch, AStrayTypeValueIsRejectedByNumber) {
    auto stray = validate_event_payload(static_cast<EventType>(200), obj(), std::nullopt);
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
    Json message_out, created_out;
    {
        Json in = message();
        in.if_object()->set(
            JsonString("a_key_that_does_not_fit_inline", in.if_object()->resource(), &key_origin),
            Json::string(long_text, std::pmr::get_default_resource(), &text_origin));
        NoDefaultAllocation guard;
        auto a = validate_event_payload(E::MessageCreated, in, std::nullopt, &arena);
        auto c = validate_event_payload(E::EventCreated, in, std::nullopt, &arena);
        ASSERT_TRUE(a.ok() && c.ok());
        message_out = std::move(a.value());
        created_out = std::move(c.value());
    }
    const JsonObject& out = *message_out.if_object();
    EXPECT_EQ(out.resource(), &arena);
    EXPECT_EQ(out.find("metadata")->if_object()->resource(), &arena);
    EXPECT_EQ(out.find("attachments")->if_array()->get_allocator().resource(), &arena);
    EXPECT_EQ(*out.find("metadata"), obj({{"mentions", arr()}}));
    for (const JsonObject* kept : {&out, std::as_const(created_out).if_object()}) {
        const JsonMember& carried = *kept->begin();
        EXPECT_EQ(carried.key.text(), "a_key_that_does_not_fit_inline");
        EXPECT_EQ(carried.key.origin, &key_origin);
        EXPECT_EQ(carried.value.if_string()->text(), long_text);
        EXPECT_EQ(carried.value.if_string()->origin, &text_origin);
    }
}

}  // namespace
}  // namespace vorn
