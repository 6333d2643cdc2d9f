// The claim registry with its retry tracker, on two rooms and four message ids, so that in-flight
// claims, completed sets, pending entries and retry budgets keep meeting the same keys. Tokens
// must be handed out consecutively and never reused; every answer is checked against what the
// registry's own views said before the call.
#include <algorithm>
#include <map>

#include "core/runtime/claims.hpp"
#include "fuzz/driver.hpp"

using namespace vorn;
using fuzz::ByteReader;
using fuzz::require;

namespace {

constexpr std::array<std::string_view, 2> kRooms = {"r", "s"};
constexpr std::array<std::string_view, 4> kMessages = {"a", "b", "c", "d"};

bool contains(const std::vector<std::string_view>& ids, std::string_view id) {
    return std::find(ids.begin(), ids.end(), id) != ids.end();
}

struct Claims {
    fuzz::Counter tokens;
    ClaimRegistry registry;
    RetryTracker tracker;
    std::map<std::pair<std::string_view, std::string_view>, PendingEntry> entries;
    std::string_view room, message;

    // Braces read the configuration bytes left to right.
    explicit Claims(ByteReader& in)
        : tokens{in},
          registry{static_cast<std::uint32_t>(1 + in.below(4)), tokens.next()},
          tracker{static_cast<std::uint32_t>(in.below(3)),
                  static_cast<std::uint32_t>(1 + in.below(4))} {}

    void pick_key(ByteReader& in) {
        room = in.pick(kRooms);
        message = in.pick(kMessages);
    }
    const PendingEntry* entry() const { return registry.pending_ack(room, message); }
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
    // Recording fails only on a different intent or when no token is left.
    void settled(const Result<const PendingEntry*>& r, std::optional<PendingEntry> before,
                 const TerminalIntent& intent) const {
        const bool refused =
            before ? before->intent != intent || !before->token : tokens.exhausted();
        require(r.ok() != refused && (!r || (r.value() == entry() && r.value()->token)),
                "settlements fail only on another intent or without tokens");
    }

    void check() {
        std::map<std::pair<std::string_view, std::string_view>, PendingEntry> now;
        for (const std::string_view r : kRooms) {
            const auto pending = registry.pending_ack_ids(r);
            require(registry.completed_ids(r).size() <= registry.max_completed(), "bounded");
            bool retryable = false;
            for (const std::string_view m : kMessages) {
                const PendingEntry* e = registry.pending_ack(r, m);
                const auto settlement = registry.pending_settlement(r, m, std::nullopt);
                require((e != nullptr) == registry.is_ack_pending(r, m) &&
                            (e != nullptr) == contains(pending, m) &&
                            (settlement ? settlement.value() == e : e && !e->token),
                        "the pending views agree");
                if (!e) continue;
                retryable = retryable || !e->parked;
                const SettlementContinuation& c = e->continuation;
                require(!c.is_retry() || (e->intent.is_failed() && c.attempts < c.max_retries),
                        "a retry is offered only to a failure with budget left");
                now.emplace(std::pair{r, m}, *e);
            }
            require(retryable == registry.has_retryable_settlement(r), "retryable view");
        }
        for (const auto& [key, e] : now) {
            const auto old = entries.find(key);
            if (old != entries.end()) {
                require(old->second.token == e.token && old->second.intent == e.intent &&
                            old->second.continuation == e.continuation,
                        "an entry keeps its token, intent and continuation");
            } else {
                const bool none_left = tokens.exhausted();
                require(tokens.record(e.token) != none_left,
                        "a new entry takes the next token, or none once they ran out");
            }
        }
        entries = std::move(now);
        std::size_t tracked = 0, failed = 0;
        for (const std::string_view m : kMessages) {
            tracked += tracker.attempt_state(m).attempts > 0;
            failed += tracker.is_permanently_failed(m);
        }
        require(tracked <= tracker.max_tracked() && failed <= tracker.max_tracked(), "bounded");
    }
};

using Op = fuzz::Op<Claims>;

const std::array kOps = {
    Op([](Claims& c, ByteReader& in) {
        c.pick_key(in);
        const bool claim = in.flag(), before = c.inflight();
        if (claim) {
            require(c.registry.try_claim(c.room, c.message) != before, "a key is claimed once");
        } else {
            c.registry.release(c.room, c.message);
        }
        require(c.inflight() == claim, "a claim holds until released");
    }),
    Op([](Claims& c, ByteReader& in) {
        c.pick_key(in);
        const bool before = c.completed(), inflight = c.inflight();
        switch (in.below(3)) {
            case 0:
                require(c.registry.is_completed(c.room, c.message) == before &&
                            (!before || c.newest_completed()),
                        "a completed lookup answers from the set and refreshes a hit");
                break;
            case 1:
                c.registry.remember_completed(c.room, c.message);
                require(c.newest_completed() && !c.entry() && c.inflight() == inflight,
                        "completing makes the id newest, drops its entry, leaves the claim");
                break;
            default:
                c.registry.discard_completed(c.room);
                require(c.registry.completed_ids(c.room).empty(), "a discarded room is empty");
        }
    }),
    Op([](Claims& c, ByteReader& in) {
        c.pick_key(in);
        const DeliveryFacts facts{in.flag(), in.flag(), in.flag(), in.flag()};
        const bool guarded = in.flag();
        using E = DeliveryEligibility;
        const E expected = facts.self_echo                                     ? E::Self
                           : c.entry()                                         ? E::Pending
                           : c.completed() || facts.durably_processed          ? E::Completed
                           : c.tracker.is_permanently_failed(c.message)        ? E::Exhausted
                           : facts.durably_failed && !facts.allow_failed_retry ? E::Failed
                           : c.inflight()                                      ? E::Inflight
                                                                               : E::Runnable;
        const E answer = guarded
                             ? c.registry.guarded_claim(c.room, c.message, c.tracker, facts)
                             : c.registry.delivery_eligibility(c.room, c.message, c.tracker, facts);
        require(answer == expected, "eligibility follows its precedence over the views");
        require(!guarded || answer != E::Runnable || c.inflight(), "a runnable guard claims");
    }),
    Op([](Claims& c, ByteReader& in) {
        c.pick_key(in);
        const PendingEntry* before = c.entry();
        if (in.flag()) {
            c.registry.remember_ack_pending(c.room, c.message);
        } else {
            const std::string_view error = in.pick<std::string_view>({"x", "y"});
            const bool clash = before && before->intent != TerminalIntent::failed(error);
            require(
                c.registry.remember_failed_ack_pending(c.room, c.message, error, "t").ok() != clash,
                "a failed acknowledgement clashes only with another intent");
        }
        require(c.entry() != nullptr, "an acknowledgement leaves an entry");
    }),
    Op([](Claims& c, ByteReader& in) {
        c.pick_key(in);
        std::size_t parked = 0;
        for (const auto& [key, e] : c.entries) parked += key.first == c.room && e.parked;
        require(c.registry.unpark_acks(c.room) == parked &&
                    c.registry.has_retryable_settlement(c.room) ==
                        !c.registry.pending_ack_ids(c.room).empty(),
                "unparking clears exactly the room's parked entries");
    }),
    Op([](Claims& c, ByteReader& in) {
        c.pick_key(in);
        const auto before = c.entry() ? std::optional(*c.entry()) : std::nullopt;
        if (in.flag()) {
            return c.settled(c.registry.record_processed_settlement(c.room, c.message, "t"), before,
                             TerminalIntent::processed());
        }
        const std::string_view error = in.pick<std::string_view>({"x", "y"});
        const bool allow = in.flag();
        const AttemptState s = c.tracker.attempt_state(c.message);
        const auto r =
            c.registry.record_failed_settlement(c.room, c.message, error, c.tracker, allow, "t");
        c.settled(r, before, TerminalIntent::failed(error));
        require(!r || before ||
                    r.value()->continuation.is_retry() == (allow && s.attempts < s.max_retries),
                "a new failure is retried while its budget lasts");
    }),
    Op([](Claims& c, ByteReader& in) {
        c.pick_key(in);
        const std::string token = c.token(in);
        const auto e = c.names_entry(token) ? std::optional(*c.entry()) : std::nullopt;
        require(c.registry.confirm_settlement(c.room, c.message, token, c.tracker) == e.has_value(),
                "only the entry's own token confirms it");
        if (!e) return;
        const AttemptState s = c.tracker.attempt_state(c.message);
        const bool failed = c.tracker.is_permanently_failed(c.message);
        if (e->continuation.is_retry()) {
            require(!c.entry() && s.attempts >= e->continuation.attempts &&
                        s.max_retries <= e->continuation.max_retries &&
                        (s.attempts < s.max_retries || failed),
                    "a retry restores the saved attempts and fails a spent budget");
        } else {
            require(c.newest_completed() && s.attempts == 0 && (!e->intent.is_failed() || failed),
                    "a finished settlement completes the message");
        }
    }),
    Op([](Claims& c, ByteReader& in) {
        c.pick_key(in);
        const std::string token = c.token(in);
        const auto reason = static_cast<ParkedReason>(in.below(2));
        const bool by_token = in.flag();
        const bool parks = by_token ? c.names_entry(token) : c.entry() != nullptr;
        require((by_token ? c.registry.park_settlement(c.room, c.message, token, reason)
                          : c.registry.park_ack(c.room, c.message, reason)) == parks &&
                    (!parks || c.entry()->parked == reason),
                "parking needs an entry (and, for a settlement, its token)");
    }),
    Op([](Claims& c, ByteReader& in) {
        c.pick_key(in);
        const AttemptState before = c.tracker.attempt_state(c.message);
        std::uint32_t left = 0;
        switch (in.below(4)) {
            case 0: {
                const AttemptOutcome r = c.tracker.record_attempt(c.message);
                require(r.attempts == before.attempts + 1 &&
                            r.exhausted == (r.attempts > before.max_retries) &&
                            (!r.exhausted || c.tracker.is_permanently_failed(c.message)),
                        "an attempt counts up and exhausts past the budget");
                return;
            }
            case 1:
                c.tracker.mark_success(c.message);
                break;
            case 2:
                c.tracker.discard_attempt(c.message);
                left = before.attempts <= 1 ? 0 : before.attempts - 1;
                break;
            default:
                c.tracker.mark_permanently_failed(c.message);
                require(c.tracker.is_permanently_failed(c.message), "a failure sticks");
                left = before.attempts;
        }
        require(c.tracker.attempt_state(c.message).attempts == left, "attempts are taken back");
    }),
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return fuzz::run_ops(data, size, kOps);
}
