#include "core/runtime/claims.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

namespace vorn {
namespace {

constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();

const Issue kExhausted{"token", IssueCode::InvalidValue,
                       "terminal obligation token capacity exhausted"};
const Issue kDifferent{"error", IssueCode::InvalidValue,
                       "the message already has a different pending terminal intent"};

template <class T>
void expect_failure(const Result<T>& result, const Issue& issue, const char* trace) {
    ASSERT_FALSE(result.ok());
    ASSERT_EQ(result.error().issues.size(), 1u);
    EXPECT_EQ(result.error().issues[0], issue);
    const auto expected = trace ? std::optional<std::string>(trace) : std::nullopt;
    EXPECT_EQ(result.error().trace_context, expected);
}

TEST(ClaimRegistryTokens, TheLastTokenIsNeverHandedOut) {
    ClaimRegistry registry(500, kMax - 1);
    RetryTracker tracker;
    auto last = registry.record_processed_settlement("r", "a", std::nullopt);
    ASSERT_TRUE(last.ok());
    EXPECT_EQ(last.value()->token, kMax - 1);

    // Settlements refuse to start without a token and create nothing.
    expect_failure(registry.record_processed_settlement("r", "b", "t1"), kExhausted, "t1");
    expect_failure(registry.record_failed_settlement("r", "b", "e", tracker, true, "t2"),
                   kExhausted, "t2");
    EXPECT_FALSE(registry.is_ack_pending("r", "b"));

    // Acknowledgements still record, without a token, which nothing can confirm or park.
    registry.remember_ack_pending("r", "b");
    const PendingEntry* entry = registry.pending_ack("r", "b");
    ASSERT_NE(entry, nullptr);
    EXPECT_FALSE(entry->token.has_value());
    expect_failure(registry.pending_settlement("r", "b", "t3"), kExhausted, "t3");
    expect_failure(registry.record_processed_settlement("r", "b", std::nullopt), kExhausted,
                   nullptr);
    expect_failure(registry.record_failed_settlement("r", "b", "e", tracker, true, "t4"),
                   kDifferent, "t4");
    EXPECT_FALSE(registry.confirm_settlement("r", "b", "18446744073709551615", tracker));
    EXPECT_FALSE(
        registry.park_settlement("r", "b", "18446744073709551615", ParkedReason::Rejected));
    EXPECT_TRUE(registry.park_ack("r", "b", ParkedReason::Rejected));
    EXPECT_TRUE(registry.remember_failed_ack_pending("r", "c", "x", std::nullopt).ok());

    // The entry made with the last token still settles; completion clears the tokenless ones.
    EXPECT_TRUE(registry.confirm_settlement("r", "a", "18446744073709551614", tracker));
    registry.remember_completed("r", "b");
    EXPECT_EQ(registry.pending_ack_ids("r"), std::vector<std::string_view>{"c"});
}

// Memory follows what is held: an entry goes with its last fact, a room with its last entry.
TEST(ClaimRegistryMemory, EntriesGoWithTheirLastFact) {
    ClaimRegistry registry(1);
    RetryTracker tracker;
    EXPECT_TRUE(registry.try_claim("r", "a"));
    EXPECT_EQ(registry.record_ack_retry("r", "b"), 1u);
    registry.remember_ack_pending("s", "c");
    EXPECT_EQ(registry.guarded_claim("s", "c", tracker, {}), DeliveryEligibility::Pending);
    EXPECT_EQ(registry.message_entries(), 3u);
    EXPECT_EQ(registry.room_entries(), 2u);

    registry.remember_completed("r", "b");  // drops the counter; "b" stays completed
    registry.remember_completed("r", "a");  // evicts "b"; "a" is completed and still in flight
    EXPECT_EQ(registry.message_entries(), 2u);
    registry.release("r", "a");
    registry.discard_completed("r");
    EXPECT_EQ(registry.room_entries(), 1u);
    const auto token = std::to_string(*registry.pending_ack("s", "c")->token);
    EXPECT_TRUE(registry.confirm_settlement("s", "c", token, tracker));
    registry.discard_completed("s");
    EXPECT_EQ(registry.message_entries(), 0u);
    EXPECT_EQ(registry.room_entries(), 0u);
}

// A released entry waits for the completion that usually follows, until the next one is released.
TEST(ClaimRegistryMemory, OnlyTheLastReleasedEntryIsKept) {
    ClaimRegistry registry;
    RetryTracker tracker;
    for (int i = 0; i < 100; ++i) {
        const std::string room = "r" + std::to_string(i % 7);
        const std::string message = "m" + std::to_string(i);
        ASSERT_EQ(registry.guarded_claim(room, message, tracker, {}),
                  DeliveryEligibility::Runnable);
        registry.release(room, message);
        ASSERT_EQ(registry.stored_entries(), 1u);
    }
    EXPECT_EQ(registry.message_entries(), 0u);
    EXPECT_EQ(registry.room_entries(), 0u);
    registry.remember_completed("r1", "m99");
    EXPECT_EQ(registry.stored_entries(), 1u);
    EXPECT_EQ(registry.message_entries(), 1u);
    EXPECT_EQ(registry.room_entries(), 1u);
    ASSERT_TRUE(registry.try_claim("r2", "x"));
    registry.release("r2", "x");
    const ClaimRegistry moved = std::move(registry);  // a moved-from registry keeps nothing idle
    EXPECT_EQ(registry.stored_entries() + registry.message_entries() + registry.room_entries(), 0u);
}

}  // namespace
}  // namespace vorn
