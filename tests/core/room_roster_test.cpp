#include "core/runtime/room_roster.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace vorn {
namespace {

using testing::ElementsAre;
using testing::Pair;

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
