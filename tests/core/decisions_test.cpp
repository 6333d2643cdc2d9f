#include "core/runtime/decisions.hpp"

#include <gtest/gtest.h>

#include <limits>

namespace vorn {
namespace {

constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();

// The last ticket value is never handed out, and a refused re-key leaves the current ticket valid.
TEST(DecisionRegistry, ExhaustedTicketsRefuseEveryRegistration) {
    DecisionRegistry r(7, std::nullopt, kMax - 2);
    const auto minted = r.register_minted("room");
    const auto keyed = r.register_keyed("k");
    ASSERT_TRUE(minted && keyed);
    EXPECT_EQ(minted->ticket, kMax - 2);
    EXPECT_EQ(keyed->ticket, kMax - 1);
    EXPECT_FALSE(r.register_minted(std::nullopt));
    EXPECT_FALSE(r.register_keyed("k"));
    EXPECT_FALSE(r.register_keyed("other"));
    EXPECT_EQ(r.try_claim("k", kMax - 1), ClaimOutcome::Claimed);
    EXPECT_EQ(r.size(), 2u);
}

}  // namespace
}  // namespace vorn
