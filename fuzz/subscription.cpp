// The subscription tracker on three rooms and three agent topics. Both families are driven through
// one table of transitions (the state a call needs, the state it leads to, whether it must carry
// the key's current ticket or takes a new one); the harness holds each key's current ticket. A
// call is accepted exactly when the table allows it; a refused one must change nothing at all.
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

struct Tracker {
    Counter tickets;
    SubscriptionTracker tracker;
    std::map<std::pair<bool, std::string_view>, Ticket> held;  // (is topic, key) -> ticket

    explicit Tracker(ByteReader& in) : tickets(in), tracker(TicketCounter(tickets.next())) {}

    S status(bool topic, std::string_view key) const {
        return topic ? static_cast<S>(tracker.agent_topic_status(key))
                     : static_cast<S>(tracker.room_status(key));
    }
    const SubscriptionFamily::Established& established(bool topic) const {
        return topic ? tracker.joined_agent_topics() : tracker.subscribed_rooms();
    }
    // Everything the tracker shows: each key's status, the rejoin candidates and the next ticket.
    std::vector<std::pair<std::string, Ticket>> snapshot() const {
        std::vector<std::pair<std::string, Ticket>> out = {{"next", tracker.next_ticket()}};
        for (const bool topic : {false, true}) {
            out.insert(out.end(), established(topic).begin(), established(topic).end());
            for (const std::string_view key : kKeys)
                out.emplace_back(key, static_cast<Ticket>(status(topic, key)));
        }
        return out;
    }

    void check() const {
        for (const bool topic : {false, true}) {
            for (const std::string_view key : kKeys) {
                const S s = status(topic, key);
                const auto e = established(topic).find(key);
                const auto it = held.find({topic, key});
                require((e != established(topic).end()) == (s == S::Established) &&
                            (s == S::Established) == (topic ? tracker.is_agent_topic_joined(key)
                                                            : tracker.is_room_subscribed(key)),
                        "the established views agree");
                require(
                    e == established(topic).end() || (it != held.end() && e->second == it->second),
                    "rejoin candidates carry their join tickets");
                require(it == held.end() ||
                            (s == S::Pending) ==
                                (topic ? tracker.is_agent_topic_claim_current(key, it->second)
                                       : tracker.is_room_claim_current(key, it->second)),
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
        const auto it = held.find({topic, key});
        const bool allowed =
            status(topic, key) == tr.from &&
            (tr.needs == Needs::CurrentTicket ? it != held.end() && it->second == ticket
                                              : tr.needs == Needs::Nothing || !tickets.exhausted());
        const auto before = snapshot();
        require(make(tr.call, topic, key, ticket, in).value_or(allowed) == allowed,
                "a call is accepted exactly when its state allows it");
        if (!allowed) return unchanged(snapshot(), before);
        require(status(topic, key) == tr.to, "an accepted call moves its key as the table says");
        if (tr.to == S::Absent || tr.to == S::Unreconciled) {
            held.erase({topic, key});
        } else if (tr.to != S::Established) {
            held[{topic, key}] = tickets.handed_out().back();
        } else {
            require(established(topic).newest()->first == key, "the newest join is listed last");
        }
    }

    void reconnect(ByteReader&) {
        const auto before = snapshot();
        tracker.on_reconnected();
        unchanged(snapshot(), before);
    }

    void end_session(ByteReader&) {
        const Ticket next = tracker.next_ticket();
        tracker.end_session();
        held.clear();
        Tracker fresh = *this;
        fresh.tracker = SubscriptionTracker(TicketCounter(next));
        require(snapshot() == fresh.snapshot(),
                "an ended session forgets every key, not its counter");
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
