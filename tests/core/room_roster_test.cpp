#include "core/runtime/room_roster.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace vorn {
namespace {

using testing::ElementsAre;
using testing::Pair;

constexpr AdmissionTicket kMax = RoomRoster::kExhausted;

TEST(RoomRoster, LastTicketIsOneBelowTheMaximumAndThenAdmissionStops) {
    RoomRoster roster(kMax - 1);
    EXPECT_EQ(roster.begin_room_admission("a", true), kMax - 1);
    EXPECT_EQ(roster.begin_room_admission("b", true), std::nullopt);
    EXPECT_EQ(roster.room_membership("b"), RoomMembership::Unadmitted);
    // The exhausted counter does not block finishing admissions already under way.
    EXPECT_TRUE(roster.record_room_admission("a", kMax - 1, true));
    EXPECT_FALSE(roster.is_room_admission_current("b", kMax));
}

TEST(RoomRoster, ReconcileAtExhaustionAdmitsOnlyWhatTicketsRemainFor) {
    RoomRoster roster(kMax - 2);
    const std::vector<std::string> snapshot = {"d", "b", "c", "a"};
    const RoomReconciliation r = roster.reconcile(snapshot);
    EXPECT_THAT(r.admitting, ElementsAre(Pair("a", kMax - 2), Pair("b", kMax - 1)));
    EXPECT_EQ(roster.room_membership("c"), RoomMembership::Unadmitted);
    EXPECT_EQ(roster.room_membership("d"), RoomMembership::Unadmitted);
    EXPECT_THAT(roster.clear(), ElementsAre("a", "b"));
}

}  // namespace
}  // namespace vorn
