// Normalizing the caller's payload in place must give exactly what normalizing a copy gives, for
// every validator that writes: the writes happen while the same object is being read.
#include <gtest/gtest.h>

#include "core/events/dispatch.hpp"
#include "tests/core/json_builders.hpp"

namespace vorn {
namespace {

using namespace test;

struct Case {
    EventType type;
    Json payload;
};

std::vector<Case> cases() {
    const Json message = obj({{"id", str("m")},
                              {"content", str("")},
                              {"message_type", str("t")},
                              {"sender_type", str("User")},
                              {"sender_id", str("u")},
                              {"inserted_at", str("t")},
                              {"updated_at", str("t")}});
    return {
        {EventType::MessageCreated, message},
        {EventType::MessageCreated, edit(message, {{"metadata", obj({{"thread", str("x")}})}})},
        {EventType::MessageUpdated,
         edit(message, {{"metadata", Json::null()}, {"attachments", Json::null()}})},
        {EventType::MessageCreated,
         edit(message, {{"metadata", obj({{"mentions", Json::null()}})}})},
        {EventType::ParticipantAdded, obj({{"id", str("p")},
                                           {"type", str("t")},
                                           {"name", str("n")},
                                           {"is_external", flag(true)}})},
        {EventType::ParticipantRemoved, obj({{"id", str("p")},
                                             {"type", str("t")},
                                             {"name", str("n")},
                                             {"is_remote", flag(false)}})},
        {EventType::ContactRequestReceived, obj({{"id", str("q")},
                                                 {"status", str("s")},
                                                 {"inserted_at", str("t")},
                                                 {"from_handle", Json::null()},
                                                 {"from_name", Json::null()},
                                                 {"message", str("m")}})},
        {EventType::Supersede, obj({{"reason", str("r")},
                                    {"message", str("m")},
                                    {"correlation_id", Json::null()},
                                    {"retry_after", Json::number(2.0)},
                                    {"retryable", str("true")}})},
        {EventType::Supersede, obj({{"reason", str("r")},
                                    {"message", str("m")},
                                    {"correlation_id", Json::null()},
                                    {"retry_after", Json::number(2.5)},
                                    {"retryable", flag(true)}})},
        {EventType::ParticipantAdded,
         obj({{"is_remote", str("yes")}, {"is_external", flag(true)}})},
        {EventType::RoomDeleted, arr({str("not an object")})},
    };
}

TEST(DispatchInPlace, MatchesNormalizingACopy) {
    for (const Case& c : cases()) {
        Result<Json> copied = validate_event_payload(c.type, c.payload, std::nullopt);
        Json own = c.payload;
        Result<Json> in_place = validate_event_payload(c.type, std::move(own), std::nullopt);
        ASSERT_EQ(copied.ok(), in_place.ok()) << static_cast<int>(c.type);
        if (copied.ok()) {
            EXPECT_EQ(copied.value(), in_place.value());
        } else {
            EXPECT_EQ(copied.error().issues, in_place.error().issues);
        }
    }
}

}  // namespace
}  // namespace vorn
