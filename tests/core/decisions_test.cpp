#include "core/runtime/decisions.hpp"

#include <gtest/gtest.h>

#include <limits>

namespace vorn {
namespace {

constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();

TEST(DecisionRegistry, ExhaustedKeyedRegistrationLeavesTheCurrentTicketValid) {
    DecisionRegistry r(7, std::nullopt, kMax - 1);
    const auto first = r.register_keyed("k");
    ASSERT_TRUE(first);
    EXPECT_FALSE(r.register_keyed("k"));
    EXPECT_EQ(r.try_claim("k", first->ticket), ClaimOutcome::Claimed);
}

}  // namespace
}  // namespace vorn
