// The subscription tracker on three rooms and three agent topics. Both families are driven through
// one table of transitions (the state a call needs, the state it leads to, whether it must carry
// the key's current ticket or takes a new one). A call is accepted exactly when the table allows
// it, and after every step the tracker must show what the harness expects: each key's state and
// ticket, the rejoin candidates in order and the next ticket, so a refused call changes nothing.
#include <map>

#include "core/runtime/subscription.hpp"
#include "fuzz/driver.hpp"

namespace vorn::fuzz {

constexpr std::array<std::string_view, 3> kKeys = {"a", "b", "c"};
using S = ChannelStatus;
using R = RoomSubscribeResult;

enum class Call { Begin, Joined, JoinFailed, JoinUnsure, Leave, Left, LeaveUnsure, Lost, Ack };
enum class Needs { Nothing, CurrentTicket, NewTicket };

struct Transition {
    Call call;
    S from, to;
    Needs needs;
};

constexpr std::array<Transition, 9> kTransitions = {{
    {Call::Begin, S::Absent, S::Pending, Needs::NewTicket},
    {Call::Joined, S::Pending, S::Established, Needs::CurrentTicket},
    {Call::JoinFailed, S::Pending, S::Absent, Needs::CurrentTicket},
    {Call::JoinUnsure, S::Pending, S::Unreconciled, Needs::CurrentTicket},
    {Call::Leave, S::Established, S::Leaving, Needs::NewTicket},
    {Call::Left, S::Leaving, S::Absent, Needs::CurrentTicket},
    {Call::LeaveUnsure, S::Leaving, S::Unreconciled, Needs::CurrentTicket},
    {Call::Lost, S::Established, S::Unreconciled, Needs::CurrentTicket},
    {Call::Ack, S::Unreconciled, S::Absent, Needs::Nothing},
}};

// A room join report's answer: accepted as `accepted`, or stale.
bool answer(R r, R accepted) {
    require(r == accepted || r == R::Stale, "a join report answers as accepted or stale");
    return r == accepted;
}

// Where each key should stand, with the ticket it holds (its join ticket once established), and
// each family's established keys in the order they joined.
using Key = std::pair<bool, std::string_view>;  // (is topic, key)
using Joined = std::vector<std::pair<std::string, Ticket>>;

struct Tracker {
    Counter tickets;
    SubscriptionTracker tracker;
    std::map<Key, std::pair<S, Ticket>> keys;
    std::array<Joined, 2> joined;

    explicit Tracker(ByteReader& in) : tickets(in), tracker(TicketCounter(tickets.next())) {}

    S status(bool topic, std::string_view key) const {
        return topic ? static_cast<S>(tracker.agent_topic_status(key))
                     : static_cast<S>(tracker.room_status(key));
    }

    // After every step, so a refused call must have changed nothing the tracker shows.
    void check() {
        require(tracker.next_ticket() == tickets.next(), "one counter hands out every ticket");
        for (const bool topic : {false, true}) {
            const auto& listed = topic ? tracker.joined_agent_topics() : tracker.subscribed_rooms();
            require(Joined(listed.begin(), listed.end()) == joined[topic],
                    "the rejoin candidates are the established keys, oldest first, with their "
                    "join tickets");
            for (const std::string_view key : kKeys) {
                const auto [s, held] = keys[{topic, key}];
                require(status(topic, key) == s &&
                            (s == S::Established) == (topic ? tracker.is_agent_topic_joined(key)
                                                            : tracker.is_room_subscribed(key)),
                        "each key stands where its calls led");
                require(
                    (s == S::Pending) == (topic ? tracker.is_agent_topic_claim_current(key, held)
                                                : tracker.is_room_claim_current(key, held)),
                    "only a pending key's ticket is a current claim");
            }
        }
    }

    // Makes `call`; whether it was accepted, or none when its answer does not say.
    std::optional<bool> make(Call call, bool topic, std::string_view key, Ticket ticket,
                             ByteReader& in) {
        SubscriptionTracker& t = tracker;
        switch (call) {
            case Call::Begin:
                return tickets.record(topic ? t.begin_agent_topic_join(key)
                                            : t.begin_room_subscribe(key));
            case Call::Joined:
                return topic ? t.record_agent_topic_join(key, ticket, true)
                             : answer(t.record_both_room_topics_joined(key, ticket), R::Subscribed);
            case Call::JoinFailed:
                if (topic) {
                    require(!t.record_agent_topic_join(key, ticket, false),
                            "a failed join is false");
                    return std::nullopt;
                }
                return in.flag()
                           ? answer(t.record_chat_room_join_failed(key, ticket), R::JoinFailed)
                           : answer(t.record_room_participants_join_failed(key, ticket, true),
                                    R::RolledBack);
            case Call::JoinUnsure:
                return topic ? t.record_agent_topic_join_ambiguous(key, ticket)
                             : answer(t.record_room_participants_join_failed(key, ticket, false),
                                      R::RollbackFailed);
            case Call::Leave:
                return tickets.record(topic ? t.leave_agent_topic(key) : t.unsubscribe_room(key));
            case Call::Left:
            case Call::LeaveUnsure: {
                const LeaveOutcome o = call == Call::Left
                                           ? LeaveOutcome::Left
                                           : in.pick({LeaveOutcome::Failed, LeaveOutcome::Unknown});
                return topic ? t.mark_agent_topic_leave_complete(key, ticket, o)
                             : t.mark_room_leave_complete(key, ticket, o);
            }
            case Call::Lost:
                return topic ? t.mark_agent_topic_rejoin_failed(key, ticket)
                             : t.mark_room_rejoin_failed(key, ticket);
            case Call::Ack:
                return topic ? t.acknowledge_agent_topic_reconciled(key)
                             : t.acknowledge_room_reconciled(key);
        }
        return std::nullopt;
    }

    void transition(ByteReader& in) {
        const Transition& tr = in.pick(kTransitions);
        const bool topic = in.flag();
        const std::string_view key = in.pick(kKeys);
        const Ticket ticket = in.ticket(tickets.handed_out());
        auto& [status, held] = keys[{topic, key}];
        const bool allowed =
            status == tr.from &&
            (tr.needs == Needs::CurrentTicket ? held == ticket
                                              : tr.needs == Needs::Nothing || !tickets.exhausted());
        require(make(tr.call, topic, key, ticket, in).value_or(allowed) == allowed,
                "a call is accepted exactly when its state allows it");
        if (!allowed) return;
        if (tr.from == S::Established) std::erase(joined[topic], std::pair(std::string(key), held));
        if (tr.needs == Needs::NewTicket) held = tickets.handed_out().back();
        if (tr.to == S::Established) joined[topic].emplace_back(key, held);
        status = tr.to;
    }

    void reconnect(ByteReader&) { tracker.on_reconnected(); }

    void end_session(ByteReader&) {
        tracker.end_session();
        keys.clear();
        joined = {};
    }
};

// Weighted: transitions are what the tracker is about.
const std::array<Op<Tracker>, 7> kOps = {
    &Tracker::transition, &Tracker::transition, &Tracker::transition, &Tracker::transition,
    &Tracker::transition, &Tracker::reconnect,  &Tracker::end_session};

}  // namespace vorn::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return vorn::fuzz::run_ops(data, size, vorn::fuzz::kOps);
}
