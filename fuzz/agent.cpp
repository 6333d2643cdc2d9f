// Agent interaction: the decision registry (minted and keyed asks, claims, removals, eviction and
// cancellation) with its views checked against each other after every step, and a turn ledger
// whose two flags are checked against the effects recorded so far.
#include <algorithm>
#include <map>
#include <set>

#include "core/runtime/decisions.hpp"
#include "core/turn.hpp"
#include "fuzz/driver.hpp"

namespace vorn::fuzz {

using Tokens = std::vector<std::string>;

bool lists(const Tokens& tokens, const std::string& token) {
    return std::find(tokens.begin(), tokens.end(), token) != tokens.end();
}

struct Agent {
    Counter tickets;
    DecisionRegistry registry;
    std::vector<DecisionRegistry::Registration> registrations;
    std::set<std::uint64_t> claimed;  // tickets whose registration was claimed, ever
    std::map<std::string, std::optional<std::string_view>> room_of;  // by token, as last registered
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

    void check() const {
        const Tokens unclaimed = registry.unclaimed();
        require(unclaimed.size() == registry.unclaimed_count() &&
                    unclaimed.size() <= registry.size() &&
                    registry.oldest_unclaimed() ==
                        (unclaimed.empty() ? std::nullopt : std::optional(unclaimed.front())),
                "the unclaimed views agree, oldest first");
        for (const std::string_view room : {"r", "s"}) {
            Tokens in_room;
            std::copy_if(unclaimed.begin(), unclaimed.end(), std::back_inserter(in_room),
                         [&](const std::string& token) { return room_of.at(token) == room; });
            require(registry.unclaimed_in_room(room) == in_room,
                    "a room's unclaimed asks, in order");
        }
        require(ledger.verdict() == (settled ? TurnVerdict::Complete : TurnVerdict::MissingReply) &&
                    ledger.reply_settled() == replied,
                "the ledger's flags follow what was recorded");
    }

    void enroll(ByteReader& in) {
        const bool minted = in.flag();
        const auto room = in.pick<std::optional<std::string_view>>({std::nullopt, "r", "s"});
        const std::string key = in.pick<std::string>({"k", "0000beef"});
        const auto before = std::pair(registry.size(), registry.unclaimed());
        const auto r = minted ? registry.register_minted(room) : registry.register_keyed(key);
        require(r || !minted || tickets.exhausted(), "minting fails only without tickets");
        if (!tickets.record(r ? std::optional(r->ticket) : std::nullopt))
            return require(std::pair(registry.size(), registry.unclaimed()) == before,
                           "a refused registration changes nothing");
        registrations.push_back(*r);
        room_of[r->token] = minted ? room : std::nullopt;
        const Tokens after = registry.unclaimed();
        require(minted ? r->token.size() == 8 &&
                             r->token.find_first_not_of("0123456789abcdef") == std::string::npos
                       : r->token == key,
                "minted tokens are eight hex digits, keyed ones the key");
        require(lists(before.second, r->token) ? after == before.second : after.back() == r->token,
                "a new token is appended, a known key keeps its place");
    }

    void claim(ByteReader& in) {
        const auto [token, ticket] = pick(in);
        const ClaimOutcome r = registry.try_claim(token, ticket);
        require(r != ClaimOutcome::Claimed || claimed.insert(ticket).second,
                "a registration is claimed once");
        require(r != ClaimOutcome::AlreadyClaimed || claimed.contains(ticket),
                "only a claimed one is already claimed");
        require(r == ClaimOutcome::Stale || !lists(registry.unclaimed(), token),
                "a claimed ask is not unclaimed");
    }

    void remove(ByteReader& in) {
        const auto [token, ticket] = pick(in);
        const bool forget = in.flag();
        const std::size_t size = registry.size();
        const bool removed =
            forget ? registry.forget(token, ticket) : registry.withdraw(token, ticket);
        require(registry.size() + removed == size &&
                    (!removed || registry.try_claim(token, ticket) == ClaimOutcome::Stale),
                "a removed registration is stale");
        require(forget || !removed || !claimed.contains(ticket),
                "a claimed ask cannot be withdrawn");
    }

    void evict(ByteReader&) {
        const std::optional<std::string> oldest = registry.oldest_unclaimed();
        const std::size_t size = registry.size();
        const auto limit = registry.max_pending();
        const std::optional<std::string> evicted = registry.evict_oldest();
        require(evicted == (limit && size >= *limit ? oldest : std::nullopt) &&
                    registry.size() + evicted.has_value() == size,
                "eviction removes the oldest unclaimed ask at the limit");
    }

    void cancel(ByteReader& in) {
        const bool all = in.flag();
        const std::string room = in.pick<std::string>({"r", "s"});
        const Tokens unclaimed = all ? registry.unclaimed() : registry.unclaimed_in_room(room);
        const std::size_t size = registry.size();
        const CancelledDecisions c = all ? registry.cancel_all() : registry.cancel_room(room);
        require(c.unclaimed == unclaimed &&
                    registry.size() + c.unclaimed.size() + c.claimed.size() == size &&
                    (!all || registry.size() == 0),
                "a cancellation reports what it removed");
    }

    void turn(ByteReader& in) {
        const std::size_t what = in.below(6);
        if (what < 4) ledger.record(static_cast<TurnEffect>(what));
        if (what == 4) ledger.settle();
        if (what == 5) ledger.note_reported();
        settled = settled || what != 0;
        replied = replied || what == 2 || what == 3;
    }
};

const std::array<Op<Agent>, 6> kOps = {&Agent::enroll, &Agent::claim,  &Agent::remove,
                                       &Agent::evict,  &Agent::cancel, &Agent::turn};

}  // namespace vorn::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return vorn::fuzz::run_ops(data, size, vorn::fuzz::kOps);
}
