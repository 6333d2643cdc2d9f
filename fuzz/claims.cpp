// The claim registry with its retry tracker, on two rooms and four message ids, so that in-flight
// claims, completed sets, pending entries and retry budgets keep meeting the same keys. Tokens
// must be handed out consecutively and never reused; every answer is checked against what the
// registry's own views said before the call.
#include <algorithm>
#include <map>

#include "core/runtime/claims.hpp"
#include "fuzz/driver.hpp"

namespace vorn::fuzz {

constexpr std::array<std::string_view, 2> kRooms = {"r", "s"};
constexpr std::array<std::string_view, 4> kMessages = {"a", "b", "c", "d"};

bool contains(const std::vector<std::string_view>& ids, std::string_view id) {
    return std::find(ids.begin(), ids.end(), id) != ids.end();
}
// What an entry keeps for its whole life.
auto lasting(const PendingEntry& e) {
    return std::tie(e.token, e.intent, e.continuation);
}

struct Claims {
    Counter tokens;
    ClaimRegistry registry;
    RetryTracker tracker;
    std::map<std::pair<std::string_view, std::string_view>, PendingEntry> entries;
    std::string_view room, message;  // the key of the current step

    // Braces read the configuration bytes left to right.
    explicit Claims(ByteReader& in)
        : tokens{in},
          registry{static_cast<std::uint32_t>(1 + in.below(4)), tokens.next()},
          tracker{static_cast<std::uint32_t>(in.below(3)),
                  static_cast<std::uint32_t>(1 + in.below(4))} {}

    void choose_key(ByteReader& in) {
        room = in.pick(kRooms);
        message = in.pick(kMessages);
    }
    const PendingEntry* entry() const { return registry.pending_ack(room, message); }
    std::optional<PendingEntry> entry_copy() const {
        return entry() ? std::optional(*entry()) : std::nullopt;
    }
    bool inflight() const { return contains(registry.inflight_ids(room), message); }
    bool completed() const { return contains(registry.completed_ids(room), message); }
    bool newest_completed() const { return registry.completed_ids(room).back() == message; }
    // The entry's own token, or one of a few that name nothing.
    std::string token(ByteReader& in) const {
        if (entry() && entry()->token && in.flag()) return std::to_string(*entry()->token);
        return in.pick<std::string>({"0", "01", "", "+1", std::to_string(tokens.next() - 1)});
    }
    bool names_entry(const std::string& token) const {
        return entry() && entry()->token && token == std::to_string(*entry()->token);
    }

    void check() {
        std::map<std::pair<std::string_view, std::string_view>, PendingEntry> now;
        for (const std::string_view r : kRooms) {
            require(registry.completed_ids(r).size() <= registry.max_completed(), "bounded");
            for (const std::string_view m : kMessages) {
                const PendingEntry* e = registry.pending_ack(r, m);
                const auto settlement = registry.pending_settlement(r, m, std::nullopt);
                require((e != nullptr) == contains(registry.pending_ack_ids(r), m) &&
                            (settlement ? settlement.value() == e : e && !e->token),
                        "the pending views agree");
                if (e) now.emplace(std::pair{r, m}, *e);
            }
        }
        for (const auto& [key, e] : now) {
            const auto old = entries.find(key);
            const bool none_left = tokens.exhausted();
            require(old != entries.end() ? lasting(old->second) == lasting(e)
                                         : tokens.record(e.token) != none_left,
                    "an entry keeps its token, intent and continuation; a new one takes the next "
                    "token, or none once they ran out");
        }
        entries = std::move(now);
        std::uint32_t tracked = 0, failed = 0;
        for (const std::string_view m : kMessages) {
            tracked += tracker.attempt_state(m).attempts > 0;
            failed += tracker.is_permanently_failed(m);
        }
        require(tracked <= tracker.max_tracked() && failed <= tracker.max_tracked(), "bounded");
    }

    void claim_or_release(ByteReader& in) {
        const bool claim = in.flag(), before = inflight();
        if (claim) {
            require(registry.try_claim(room, message) != before, "a key is claimed once");
        } else {
            registry.release(room, message);
        }
        require(inflight() == claim, "a claim holds until released");
    }

    void complete(ByteReader& in) {
        const bool before = completed(), claimed = inflight();
        switch (in.below(3)) {
            case 0:
                return require(registry.is_completed(room, message) == before &&
                                   (!before || newest_completed()),
                               "a completed lookup answers from the set and refreshes a hit");
            case 1:
                registry.remember_completed(room, message);
                return require(newest_completed() && !entry() && inflight() == claimed,
                               "completing makes the id newest, drops its entry, keeps the claim");
            default:
                registry.discard_completed(room);
                require(registry.completed_ids(room).empty(), "a discarded room is empty");
        }
    }

    void eligibility(ByteReader& in) {
        const DeliveryFacts facts{in.flag(), in.flag(), in.flag(), in.flag()};
        const bool guarded = in.flag();
        using E = DeliveryEligibility;
        const E expected = facts.self_echo                                     ? E::Self
                           : entry()                                           ? E::Pending
                           : completed() || facts.durably_processed            ? E::Completed
                           : tracker.is_permanently_failed(message)            ? E::Exhausted
                           : facts.durably_failed && !facts.allow_failed_retry ? E::Failed
                           : inflight()                                        ? E::Inflight
                                                                               : E::Runnable;
        const E answer = guarded ? registry.guarded_claim(room, message, tracker, facts)
                                 : registry.delivery_eligibility(room, message, tracker, facts);
        require(answer == expected, "eligibility follows its precedence over the views");
        require(!guarded || answer != E::Runnable || inflight(), "a runnable guard claims");
    }

    void acknowledge(ByteReader& in) {
        const PendingEntry* before = entry();
        if (in.flag()) {
            registry.remember_ack_pending(room, message);
        } else {
            const std::string_view error = in.pick<std::string_view>({"x", "y"});
            const bool clash = before && before->intent != TerminalIntent::failed(error);
            require(registry.remember_failed_ack_pending(room, message, error, "t").ok() != clash,
                    "a failed acknowledgement clashes only with another intent");
        }
        require(entry() != nullptr, "an acknowledgement leaves an entry");
    }

    void unpark(ByteReader&) {
        std::size_t parked = 0;
        for (const auto& [key, e] : entries) parked += key.first == room && e.parked;
        require(registry.unpark_acks(room) == parked && registry.has_retryable_settlement(room) ==
                                                            !registry.pending_ack_ids(room).empty(),
                "unparking clears exactly the room's parked entries");
    }

    void settle(ByteReader& in) {
        const std::optional<PendingEntry> before = entry_copy();
        const bool processed = in.flag();
        const std::string_view error = processed ? "" : in.pick<std::string_view>({"x", "y"});
        const bool allow = !processed && in.flag();
        const AttemptState s = tracker.attempt_state(message);
        const auto r = processed ? registry.record_processed_settlement(room, message, "t")
                                 : registry.record_failed_settlement(room, message, error, tracker,
                                                                     allow, "t");
        const TerminalIntent intent =
            processed ? TerminalIntent::processed() : TerminalIntent::failed(error);
        const bool refused =
            before ? before->intent != intent || !before->token : tokens.exhausted();
        require(r.ok() != refused && (!r || (r.value() == entry() && r.value()->token)),
                "settlements fail only on another intent or without tokens");
        require(!r || before ||
                    r.value()->continuation.is_retry() == (allow && s.attempts < s.max_retries),
                "a new failure is retried while its budget lasts");
    }

    void confirm(ByteReader& in) {
        const std::string t = token(in);
        const auto e = names_entry(t) ? entry_copy() : std::nullopt;
        require(registry.confirm_settlement(room, message, t, tracker) == e.has_value(),
                "only the entry's own token confirms it");
        if (!e) return;
        const AttemptState s = tracker.attempt_state(message);
        const bool failed = tracker.is_permanently_failed(message);
        const SettlementContinuation& saved = e->continuation;
        if (saved.is_retry()) {
            require(!entry() && s.attempts >= saved.attempts &&
                        s.max_retries <= saved.max_retries &&
                        (s.attempts < s.max_retries || failed),
                    "a retry restores the saved attempts and fails a spent budget");
        } else {
            require(newest_completed() && s.attempts == 0 && (!e->intent.is_failed() || failed),
                    "a finished settlement completes the message");
        }
    }

    void park(ByteReader& in) {
        const std::string t = token(in);
        const auto reason = static_cast<ParkedReason>(in.below(2));
        const bool by_token = in.flag();
        const bool parks = by_token ? names_entry(t) : entry() != nullptr;
        require((by_token ? registry.park_settlement(room, message, t, reason)
                          : registry.park_ack(room, message, reason)) == parks &&
                    (!parks || entry()->parked == reason),
                "parking needs an entry (and, for a settlement, its token)");
    }

    void retry_budget(ByteReader& in) {
        const AttemptState before = tracker.attempt_state(message);
        const bool failed = tracker.is_permanently_failed(message);
        const std::size_t what = in.below(4);
        // The attempts left by an attempt, a success, a discarded attempt and a failure.
        const std::array<std::uint32_t, 4> left = {
            before.attempts + 1, 0, std::max(before.attempts, 1u) - 1, before.attempts};
        std::optional<AttemptOutcome> outcome;
        if (what == 0) outcome = tracker.record_attempt(message);
        if (what == 1) tracker.mark_success(message);
        if (what == 2) tracker.discard_attempt(message);
        if (what == 3) tracker.mark_permanently_failed(message);
        const bool exhausted = what == 0 && left[0] > before.max_retries;
        require(tracker.attempt_state(message).attempts == left[what] &&
                    (!outcome || *outcome == AttemptOutcome{left[0], exhausted}),
                "attempts count up and are taken back; one past the budget exhausts");
        require(tracker.is_permanently_failed(message) == (failed || exhausted || what == 3),
                "a failure sticks, and comes only from exhaustion or a mark");
    }
};

const std::array<Op<Claims>, 9> kOps = {
    &Claims::claim_or_release, &Claims::complete, &Claims::eligibility,
    &Claims::acknowledge,      &Claims::unpark,   &Claims::settle,
    &Claims::confirm,          &Claims::park,     &Claims::retry_budget};

}  // namespace vorn::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return vorn::fuzz::run_ops(data, size, vorn::fuzz::kOps);
}
