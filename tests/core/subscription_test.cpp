#include "core/runtime/subscription.hpp"

#include <gtest/gtest.h>

#include <optional>

#include "core/runtime/ticket.hpp"

namespace vorn {
namespace {

constexpr Ticket kLast = TicketCounter::kLimit - 1;  // the last ticket ever handed out

TEST(TicketCounter, HandsOutEachValueOnceUpToTheLimit) {
    TicketCounter counter(kLast - 1);
    EXPECT_EQ(counter.take(), kLast - 1);
    EXPECT_EQ(counter.take(), kLast);
    EXPECT_EQ(counter.take(), std::nullopt);
    EXPECT_EQ(counter.take(), std::nullopt);
    EXPECT_TRUE(counter.exhausted());
    EXPECT_TRUE(TicketCounter(TicketCounter::kLimit).exhausted());
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

}  // namespace
}  // namespace vorn
