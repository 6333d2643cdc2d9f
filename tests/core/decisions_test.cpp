#include "core/runtime/decisions.hpp"

#include <gtest/gtest.h>

#include <limits>
#include <vector>

namespace vorn {
namespace {

constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();

TEST(DecisionRegistry, LastTicketIsNeverHandedOut) {
    DecisionRegistry r(7, std::nullopt, kMax - 2);
    const auto a = r.register_minted("room");
    const auto b = r.register_keyed("k");
    ASSERT_TRUE(a && b);
    EXPECT_EQ(a->ticket, kMax - 2);
    EXPECT_EQ(b->ticket, kMax - 1);
    EXPECT_FALSE(r.register_minted(std::nullopt));
    EXPECT_FALSE(r.register_keyed("other"));
    EXPECT_EQ(r.size(), 2u);
}

TEST(DecisionRegistry, ExhaustedKeyedRegistrationLeavesTheCurrentTicketValid) {
    DecisionRegistry r(7, std::nullopt, kMax - 1);
    const auto first = r.register_keyed("k");
    ASSERT_TRUE(first);
    EXPECT_FALSE(r.register_keyed("k"));
    EXPECT_EQ(r.try_claim("k", first->ticket), ClaimOutcome::Claimed);
}

// The unclaimed count is kept incrementally; every way out of the registry must keep it right.
TEST(DecisionRegistry, UnclaimedCountFollowsEveryRemovalPath) {
    using Regs = std::vector<DecisionRegistry::Registration>;
    struct Case {
        const char* name;
        void (*act)(DecisionRegistry&, const Regs&);
        std::size_t unclaimed, size;
    };
    // Each case starts from: 0 (room r, claimed), 1 (room r), 2 (key "k", claimed), 3 (room s).
    const Case cases[] = {
        {"forget claimed", [](DecisionRegistry& r, const Regs& g) { r.forget(g[0].token, 0); }, 2,
         3},
        {"forget unclaimed", [](DecisionRegistry& r, const Regs& g) { r.forget(g[1].token, 1); }, 1,
         3},
        {"withdraw unclaimed",
         [](DecisionRegistry& r, const Regs& g) { r.withdraw(g[3].token, 3); }, 1, 3},
        {"withdraw claimed refused",
         [](DecisionRegistry& r, const Regs& g) { r.withdraw(g[0].token, 0); }, 2, 4},
        {"cancel room r", [](DecisionRegistry& r, const Regs&) { r.cancel_room("r"); }, 1, 2},
        {"cancel all", [](DecisionRegistry& r, const Regs&) { r.cancel_all(); }, 0, 0},
        {"evict", [](DecisionRegistry& r, const Regs&) { r.evict_oldest(); }, 1, 3},
        {"re-key claimed refused", [](DecisionRegistry& r, const Regs&) { r.register_keyed("k"); },
         2, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DecisionRegistry r(1, 2u);
        const Regs regs = {*r.register_minted("r"), *r.register_minted("r"), *r.register_keyed("k"),
                           *r.register_minted("s")};
        ASSERT_EQ(r.try_claim(regs[0].token, 0), ClaimOutcome::Claimed);
        ASSERT_EQ(r.try_claim("k", 2), ClaimOutcome::Claimed);
        c.act(r, regs);
        EXPECT_EQ(r.unclaimed_count(), c.unclaimed);
        EXPECT_EQ(r.unclaimed().size(), c.unclaimed);
        EXPECT_EQ(r.size(), c.size);
    }
}

}  // namespace
}  // namespace vorn
