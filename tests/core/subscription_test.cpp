#include "core/runtime/subscription.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "core/runtime/ticket.hpp"

namespace vorn {
namespace {

constexpr Ticket kLast = TicketCounter::kLimit - 1;  // the last ticket ever handed out

TEST(TicketCounter, HandsOutEachValueOnceUpToTheLimit) {
    struct Case {
        Ticket start;
        std::vector<std::optional<Ticket>> takes;
    };
    const Case cases[] = {
        {0, {0, 1, 2}},
        {kLast - 1, {kLast - 1, kLast, std::nullopt, std::nullopt}},
        {TicketCounter::kLimit, {std::nullopt}},
    };
    for (const Case& c : cases) {
        TicketCounter counter(c.start);
        for (const auto& expected : c.takes) EXPECT_EQ(counter.take(), expected) << c.start;
        EXPECT_EQ(counter.exhausted(), !c.takes.back().has_value()) << c.start;
    }
}

// Every starting call is refused once the counter is spent, and the refusal changes nothing.
TEST(SubscriptionTracker, ExhaustedCounterRefusesEveryStartWithoutChange) {
    SubscriptionTracker tracker{TicketCounter(kLast)};
    ASSERT_EQ(tracker.begin_room_subscribe("r1"), kLast);
    ASSERT_EQ(tracker.record_both_room_topics_joined("r1", kLast), RoomSubscribeResult::Subscribed);

    EXPECT_EQ(tracker.begin_room_subscribe("r2"), std::nullopt);
    EXPECT_EQ(tracker.room_status("r2"), RoomStatus::Absent);
    EXPECT_EQ(tracker.begin_agent_topic_join("agent_rooms:x"), std::nullopt);
    EXPECT_EQ(tracker.agent_topic_status("agent_rooms:x"), AgentTopicStatus::Absent);
    EXPECT_EQ(tracker.unsubscribe_room("r1"), std::nullopt);
    EXPECT_EQ(tracker.room_status("r1"), RoomStatus::Subscribed);
    EXPECT_TRUE(tracker.subscribed_rooms().contains("r1"));

    // Ending the session does not give the counter back.
    tracker.end_session();
    EXPECT_EQ(tracker.begin_room_subscribe("r1"), std::nullopt);
    EXPECT_EQ(tracker.next_ticket(), TicketCounter::kLimit);
}

// A refused start must not consume a ticket: the next accepted one follows the last handed out.
TEST(SubscriptionTracker, RefusedStartsTakeNoTicket) {
    SubscriptionTracker tracker;
    ASSERT_EQ(tracker.begin_room_subscribe("a"), 0u);
    EXPECT_EQ(tracker.begin_room_subscribe("a"), std::nullopt);
    EXPECT_EQ(tracker.unsubscribe_room("b"), std::nullopt);
    EXPECT_EQ(tracker.leave_agent_topic("t"), std::nullopt);
    EXPECT_EQ(tracker.begin_agent_topic_join("t"), 1u);
}

}  // namespace
}  // namespace vorn
