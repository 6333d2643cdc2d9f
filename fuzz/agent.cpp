// Agent interaction: the decision registry (minted and keyed asks, claims, removals, eviction and
// cancellation) with its views checked against each other after every step, and a turn ledger
// whose two flags are checked against the effects recorded so far.
#include <algorithm>
#include <set>

#include "core/runtime/decisions.hpp"
#include "core/turn.hpp"
#include "fuzz/driver.hpp"

using namespace vorn;
using fuzz::ByteReader;
using fuzz::require;

namespace {

bool subsequence(const std::vector<std::string>& part, const std::vector<std::string>& whole) {
    auto at = whole.begin();
    for (const std::string& s : part) {
        at = std::find(at, whole.end(), s);
        if (at++ == whole.end()) return false;
    }
    return true;
}

struct Agent {
    fuzz::Counter tickets;
    DecisionRegistry registry;
    std::vector<DecisionRegistry::Registration> registrations;
    std::set<std::uint64_t> claimed;  // tickets whose registration was claimed, ever
    TurnLedger ledger;
    bool settled = false, replied = false;

    explicit Agent(ByteReader& in)
        : tickets(in),
          registry{in.u64(), in.flag() ? std::optional<std::uint32_t>(in.below(4)) : std::nullopt,
                   tickets.next()} {}

    // A registration that was handed out, or a token and ticket of the host's own invention.
    DecisionRegistry::Registration pick(ByteReader& in) {
        const std::size_t i = in.below(registrations.size() + 1);
        if (i < registrations.size()) return registrations[i];
        return {in.pick<std::string>({"k", "0000beef"}), in.ticket(tickets.handed_out())};
    }
    void registered(const std::optional<DecisionRegistry::Registration>& r) {
        if (tickets.record(r ? std::optional(r->ticket) : std::nullopt))
            registrations.push_back(*r);
    }

    void check() const {
        const std::vector<std::string> unclaimed = registry.unclaimed();
        require(
            unclaimed.size() == registry.unclaimed_count() && unclaimed.size() <= registry.size(),
            "counts agree");
        require(registry.oldest_unclaimed() ==
                    (unclaimed.empty() ? std::nullopt : std::optional(unclaimed.front())),
                "the oldest is first");
        std::set<std::string> distinct(unclaimed.begin(), unclaimed.end());
        require(distinct.size() == unclaimed.size(), "a token names one ask");
        for (const std::string room : {"r", "s"}) {
            const std::vector<std::string> in_room = registry.unclaimed_in_room(room);
            require(subsequence(in_room, unclaimed), "a room's asks are unclaimed asks, in order");
        }
        require(ledger.verdict() == (settled ? TurnVerdict::Complete : TurnVerdict::MissingReply) &&
                    ledger.reply_settled() == replied,
                "the ledger's flags follow what was recorded");
    }
};

using Op = fuzz::Op<Agent>;

const std::array kOps = {
    Op([](Agent& a, ByteReader& in) {
        const std::optional<std::string_view> room =
            in.pick<std::optional<std::string_view>>({std::nullopt, "r", "s"});
        const auto r = a.registry.register_minted(room);
        require(r.has_value() == !a.tickets.exhausted(), "minting fails only without tickets");
        require(!r || (r->token.size() == 8 &&
                       r->token.find_first_not_of("0123456789abcdef") == std::string::npos),
                "minted tokens are eight hex digits");
        a.registered(r);
    }),
    Op([](Agent& a, ByteReader& in) {
        const std::string key = in.pick<std::string>({"k", "0000beef"});
        const std::vector<std::string> before = a.registry.unclaimed();
        const std::size_t size = a.registry.size();
        const auto r = a.registry.register_keyed(key);
        a.registered(r);
        if (!r) return require(a.registry.size() == size, "a refused key changes nothing");
        const auto was = std::find(before.begin(), before.end(), key);
        const std::vector<std::string> after = a.registry.unclaimed();
        require(r->token == key && (was == before.end() ? after.back() == key : after == before),
                "a key is appended, or keeps its place");
    }),
    Op([](Agent& a, ByteReader& in) {
        const auto [token, ticket] = a.pick(in);
        const ClaimOutcome r = a.registry.try_claim(token, ticket);
        require(r != ClaimOutcome::Claimed || a.claimed.insert(ticket).second,
                "a registration is claimed once");
        require(r != ClaimOutcome::AlreadyClaimed || a.claimed.contains(ticket),
                "only a claimed one is already claimed");
        const auto left = a.registry.unclaimed();
        require(
            r == ClaimOutcome::Stale || std::find(left.begin(), left.end(), token) == left.end(),
            "a claimed ask is not unclaimed");
    }),
    Op([](Agent& a, ByteReader& in) {
        const auto [token, ticket] = a.pick(in);
        const bool forget = in.flag();
        const std::size_t size = a.registry.size();
        const bool removed =
            forget ? a.registry.forget(token, ticket) : a.registry.withdraw(token, ticket);
        require(a.registry.size() + removed == size &&
                    (!removed || a.registry.try_claim(token, ticket) == ClaimOutcome::Stale),
                "a removed registration is stale");
        require(forget || !removed || !a.claimed.contains(ticket),
                "a claimed ask cannot be withdrawn");
    }),
    Op([](Agent& a, ByteReader&) {
        const std::optional<std::string> oldest = a.registry.oldest_unclaimed();
        const std::size_t size = a.registry.size();
        const auto limit = a.registry.max_pending();
        const std::optional<std::string> evicted = a.registry.evict_oldest();
        require(evicted == (limit && size >= *limit ? oldest : std::nullopt),
                "eviction takes the oldest unclaimed ask at the limit");
        require(a.registry.size() + evicted.has_value() == size, "an eviction removes one ask");
    }),
    Op([](Agent& a, ByteReader& in) {
        const bool all = in.flag();
        const std::string room = in.pick<std::string>({"r", "s"});
        const std::vector<std::string> unclaimed =
            all ? a.registry.unclaimed() : a.registry.unclaimed_in_room(room);
        const std::size_t size = a.registry.size();
        const CancelledDecisions c = all ? a.registry.cancel_all() : a.registry.cancel_room(room);
        require(c.unclaimed == unclaimed &&
                    a.registry.size() + c.unclaimed.size() + c.claimed.size() == size &&
                    (!all || size == c.unclaimed.size() + c.claimed.size()),
                "a cancellation reports what it removed");
    }),
    Op([](Agent& a, ByteReader& in) {
        const std::size_t what = in.below(6);
        if (what < 4) a.ledger.record(static_cast<TurnEffect>(what));
        if (what == 4) a.ledger.settle();
        if (what == 5) a.ledger.note_reported();
        a.settled = a.settled || what != 0;
        a.replied = a.replied || what == 2 || what == 3;
    }),
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return fuzz::run_ops(data, size, kOps);
}
