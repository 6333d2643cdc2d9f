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

TEST(RoomRoster, ListsSortByUnsignedBytes) {
    RoomRoster roster;
    // "\xc3\xa9" (é) sorts after every ASCII id even though its char value is negative.
    for (const char* id : {"\xc3\xa9", "z", "A"}) {
        roster.record_room_admission(id, *roster.begin_room_admission(id, true), true);
    }
    const std::vector<std::string> snapshot = {"z", "\xc3\xa9", "A", "\xc3\xa8", "b"};
    EXPECT_THAT(roster.reconcile(std::vector<std::string>{"z"}).removed,
                ElementsAre("A", "\xc3\xa9"));
    const RoomReconciliation r = roster.reconcile(snapshot);
    EXPECT_THAT(r.admitting,
                ElementsAre(Pair("A", 3), Pair("b", 4), Pair("\xc3\xa8", 5), Pair("\xc3\xa9", 6)));
    EXPECT_THAT(roster.clear(), ElementsAre("A", "b", "z", "\xc3\xa8", "\xc3\xa9"));
}

}  // namespace
}  // namespace vorn
