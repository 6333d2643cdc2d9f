// The subscription tracker on three rooms and three agent topics. Both families are driven through
// one table of transitions (the state a call needs, the state it leads to, whether it must carry
// the key's current ticket or takes a new one); the harness holds each key's current ticket. A
// call is accepted exactly when the table allows it; a refused one must change nothing at all.
#include <algorithm>
#include <map>

#include "core/runtime/subscription.hpp"
#include "fuzz/driver.hpp"

using namespace vorn;
using fuzz::ByteReader;
using fuzz::require;

namespace {

constexpr std::array<std::string_view, 3> kKeys = {"a", "b", "c"};
using S = ChannelStatus;

enum class Call { Begin, Joined, JoinFailed, JoinUnsure, Leave, Left, LeaveUnsure, Lost, Ack };

struct Transition {
    Call call;
    S from, to;
    bool current_ticket;  // the report must carry the key's ticket
};

constexpr std::array<Transition, 9> kTransitions = {{
    {Call::Begin, S::Absent, S::Pending, false},
    {Call::Joined, S::Pending, S::Established, true},
    {Call::JoinFailed, S::Pending, S::Absent, true},
    {Call::JoinUnsure, S::Pending, S::Unreconciled, true},
    {Call::Leave, S::Established, S::Leaving, false},
    {Call::Left, S::Leaving, S::Absent, true},
    {Call::LeaveUnsure, S::Leaving, S::Unreconciled, true},
    {Call::Lost, S::Established, S::Unreconciled, true},
    {Call::Ack, S::Unreconciled, S::Absent, false},
}};

struct Tracker {
    fuzz::Counter tickets;
    SubscriptionTracker tracker;
    std::map<std::pair<bool, std::string_view>, Ticket> held;  // (is topic, key) -> ticket

    explicit Tracker(ByteReader& in) : tickets(in), tracker(TicketCounter(tickets.next())) {}

    S status(bool topic, std::string_view key) const {
        return topic ? static_cast<S>(tracker.agent_topic_status(key))
                     : static_cast<S>(tracker.room_status(key));
    }
    SubscriptionFamily::Established established(bool topic) const {
        return topic ? tracker.joined_agent_topics() : tracker.subscribed_rooms();
    }
    auto snapshot() const {
        std::vector<std::pair<std::string, Ticket>> out;
        for (const bool topic : {false, true}) {
            for (const auto& [key, ticket] : established(topic)) out.emplace_back(key, ticket);
        }
        for (const bool topic : {false, true}) {
            for (const std::string_view key : kKeys)
                out.emplace_back(key, static_cast<Ticket>(status(topic, key)));
        }
        out.emplace_back("next", tracker.next_ticket());
        return out;
    }

    // Calls the tracker; the answer's verdict (accepted or not), or none when it carries none.
    std::optional<bool> apply(Call call, bool topic, std::string_view key, Ticket ticket,
                              ByteReader& in) {
        SubscriptionTracker& t = tracker;
        const auto room = [&](RoomSubscribeResult r, RoomSubscribeResult accepted) {
            require(r == accepted || r == RoomSubscribeResult::Stale, "a join report's answer");
            return r == accepted;
        };
        switch (call) {
            case Call::Begin: {
                const auto got =
                    topic ? t.begin_agent_topic_join(key) : t.begin_room_subscribe(key);
                return tickets.record(got);
            }
            case Call::Leave:
                return tickets.record(topic ? t.leave_agent_topic(key) : t.unsubscribe_room(key));
            case Call::Joined:
                return topic ? t.record_agent_topic_join(key, ticket, true)
                             : room(t.record_both_room_topics_joined(key, ticket),
                                    RoomSubscribeResult::Subscribed);
            case Call::JoinFailed:
                if (topic) {
                    require(!t.record_agent_topic_join(key, ticket, false),
                            "a failed join is false");
                    return std::nullopt;
                }
                return in.flag() ? room(t.record_chat_room_join_failed(key, ticket),
                                        RoomSubscribeResult::JoinFailed)
                                 : room(t.record_room_participants_join_failed(key, ticket, true),
                                        RoomSubscribeResult::RolledBack);
            case Call::JoinUnsure:
                return topic ? t.record_agent_topic_join_ambiguous(key, ticket)
                             : room(t.record_room_participants_join_failed(key, ticket, false),
                                    RoomSubscribeResult::RollbackFailed);
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

    void check() const {
        for (const bool topic : {false, true}) {
            for (const std::string_view key : kKeys) {
                const S s = status(topic, key);
                const auto it = held.find({topic, key});
                require((it != held.end()) ==
                            (s == S::Pending || s == S::Established || s == S::Leaving),
                        "keys hold tickets in their collections");
                require((s == S::Established) == (topic ? tracker.is_agent_topic_joined(key)
                                                        : tracker.is_room_subscribed(key)),
                        "established views agree");
                require(it == held.end() ||
                            (s == S::Pending) ==
                                (topic ? tracker.is_agent_topic_claim_current(key, it->second)
                                       : tracker.is_room_claim_current(key, it->second)),
                        "only a pending key's ticket is a current claim");
                const auto listed = established(topic);
                const auto e = std::find_if(listed.begin(), listed.end(),
                                            [&](const auto& entry) { return entry.first == key; });
                require((e != listed.end()) == (s == S::Established) &&
                            (e == listed.end() || e->second == it->second),
                        "rejoin candidates carry their join tickets");
            }
        }
    }
};

using Op = fuzz::Op<Tracker>;

void transition(Tracker& t, ByteReader& in) {
    const Transition& tr = in.pick(kTransitions);
    const bool topic = in.flag();
    const std::string_view key = in.pick(kKeys);
    const Ticket ticket = in.ticket(t.tickets.handed_out());
    const auto held = t.held.find({topic, key});
    const bool allowed = t.status(topic, key) == tr.from &&
                         (tr.current_ticket ? held != t.held.end() && held->second == ticket
                                            : tr.call == Call::Ack || !t.tickets.exhausted());
    const auto before = t.snapshot();
    const std::optional<bool> verdict = t.apply(tr.call, topic, key, ticket, in);
    require(verdict.value_or(allowed) == allowed,
            "a call is accepted exactly when its state allows it");
    if (!allowed) return require(t.snapshot() == before, "a refused call changes nothing");
    require(t.status(topic, key) == tr.to, "an accepted call moves its key as the table says");
    if (tr.to == S::Absent || tr.to == S::Unreconciled) {
        t.held.erase({topic, key});
    } else if (tr.to != S::Established) {
        t.held[{topic, key}] = t.tickets.handed_out().back();
    } else {
        require(t.established(topic).back().first == key, "the newest join is listed last");
    }
}

// Weighted: transitions are what the tracker is about.
const std::array kOps = {
    Op(transition),
    Op(transition),
    Op(transition),
    Op(transition),
    Op(transition),
    Op([](Tracker& t, ByteReader&) {
        const auto before = t.snapshot();
        t.tracker.on_reconnected();
        require(t.snapshot() == before, "a reconnect changes nothing");
    }),
    Op([](Tracker& t, ByteReader&) {
        const Ticket next = t.tracker.next_ticket();
        t.tracker.end_session();
        t.held.clear();
        for (const bool topic : {false, true})
            for (const std::string_view key : kKeys)
                require(t.status(topic, key) == S::Absent, "an ended session forgets every key");
        require(t.tracker.next_ticket() == next, "the counter survives the session");
    }),
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return fuzz::run_ops(data, size, kOps);
}
