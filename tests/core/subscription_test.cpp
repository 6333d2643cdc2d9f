#include "core/runtime/subscription.hpp"

#include <gtest/gtest.h>

#include <string>

namespace vorn {
namespace {

// A key that went Absent keeps its entry for the join that often follows, until another key goes.
TEST(SubscriptionMemory, OnlyTheLastAbsentKeyIsKept) {
    SubscriptionTracker tracker;
    for (int i = 0; i < 50; ++i) {
        const std::string room = "room-" + std::to_string(i);
        const Ticket join = *tracker.begin_room_subscribe(room);
        if (i % 2 == 0) {
            ASSERT_EQ(tracker.record_chat_room_join_failed(room, join),
                      RoomSubscribeResult::JoinFailed);
        } else {
            ASSERT_EQ(tracker.record_both_room_topics_joined(room, join),
                      RoomSubscribeResult::Subscribed);
            const Ticket leave = *tracker.unsubscribe_room(room);
            ASSERT_TRUE(tracker.mark_room_leave_complete(room, leave, LeaveOutcome::Left));
        }
        ASSERT_EQ(tracker.rooms().stored_entries(), 1u);
        ASSERT_EQ(tracker.room_status(room), RoomStatus::Absent);
    }
    // The kept key joins again; a reconciled one takes its place.
    EXPECT_TRUE(tracker.begin_room_subscribe("room-49"));
    const Ticket join = *tracker.begin_room_subscribe("room-50");
    EXPECT_EQ(tracker.record_room_participants_join_failed("room-50", join, false),
              RoomSubscribeResult::RollbackFailed);
    EXPECT_TRUE(tracker.acknowledge_room_reconciled("room-50"));
    EXPECT_EQ(tracker.rooms().stored_entries(), 2u);
    EXPECT_EQ(tracker.room_status("room-49"), RoomStatus::Pending);
}

}  // namespace
}  // namespace vorn
