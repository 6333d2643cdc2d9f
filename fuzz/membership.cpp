// The two membership objects side by side: the room roster (admissions under tickets, removals,
// reconciliation against a snapshot) on four rooms, and the participant roster (merging adds,
// authoritative snapshots, change detection) on three participant ids.
#include <algorithm>
#include <map>
#include <set>

#include "core/runtime/participant.hpp"
#include "core/runtime/room_roster.hpp"
#include "fuzz/driver.hpp"

namespace vorn::fuzz {

constexpr std::array<std::string_view, 4> kRooms = {"a", "b", "c", "d"};  // sorted
constexpr std::array<std::string_view, 3> kPeople = {"p", "q", "r"};
constexpr std::array kFields = {&Participant::name, &Participant::type, &Participant::handle,
                                &Participant::description};
using M = RoomMembership;
using People = std::vector<Participant>;

bool repeats_an_id(const People& list) {
    std::set<std::string_view> ids;
    return !std::all_of(list.begin(), list.end(),
                        [&](const Participant& p) { return ids.insert(p.id).second; });
}
People::const_iterator find(const People& list, std::string_view id) {
    return std::find_if(list.begin(), list.end(), [&](const Participant& p) { return p.id == id; });
}

// Merging `given` over its entry in `before`, if any, takes each field that is given and not
// empty and keeps the others as known.
void check_merged(const Participant& given, const People& before, const Participant& kept) {
    const auto old = find(before, given.id);
    for (const auto field : kFields) {
        const bool taken = (given.*field && !(given.*field)->empty()) || old == before.end();
        require(kept.id == given.id && kept.*field == (taken ? given : *old).*field,
                "a merge takes what is given and keeps what is known");
    }
}

struct Membership {
    Counter tickets;
    RoomRoster rooms;
    // Where each room should stand, with its admission ticket; the admitted ones in order.
    std::map<std::string, std::pair<M, AdmissionTicket>, std::less<>> expected;
    std::vector<std::string> admitted;
    ParticipantRoster people;
    std::optional<People> sent;

    explicit Membership(ByteReader& in) : tickets(in), rooms(tickets.next()) {}

    Participant participant(ByteReader& in) const {
        Participant p;
        p.id = in.pick(kPeople);
        for (const auto field : kFields) {
            if (const std::string_view v = in.pick<std::string_view>({"-", "", "x", "y"}); v != "-")
                p.*field = std::string(v);
        }
        return p;
    }
    M& state(std::string_view room) { return expected[std::string(room)].first; }
    void forget(std::string_view room) {
        state(room) = M::Unadmitted;
        std::erase(admitted, room);
    }

    // After every step, so a refused call must have changed nothing the roster shows.
    void check() {
        require(rooms.tracked_room_ids() == admitted, "the admitted rooms, in admission order");
        for (const std::string_view r : kRooms) {
            const auto [m, ticket] = expected[std::string(r)];
            require(rooms.room_membership(r) == m &&
                        (m == M::Admitting) == rooms.is_room_admission_current(r, ticket),
                    "each room stands where its calls led; an admitting one holds its ticket");
        }
        require(!repeats_an_id(people.list()), "participant ids are unique");
        require(people.changed() == (!sent || *sent != people.list()),
                "changed compares with the list last sent");
    }

    void begin_admission(ByteReader& in) {
        const std::string_view room = in.pick(kRooms);
        const bool passes = in.flag();
        const bool allowed = passes && state(room) == M::Unadmitted && !tickets.exhausted();
        const auto got = rooms.begin_room_admission(room, passes);
        require(tickets.record(got) == allowed, "only unknown rooms that pass are admitted");
        if (allowed) expected[std::string(room)] = {M::Admitting, *got};
    }

    void finish_admission(ByteReader& in) {
        const std::string_view room = in.pick(kRooms);
        const AdmissionTicket ticket = in.ticket(tickets.handed_out());
        const bool succeeded = in.flag();
        const bool current = expected[std::string(room)] == std::pair(M::Admitting, ticket);
        require(rooms.record_room_admission(room, ticket, succeeded) == (current && succeeded),
                "only the current ticket's success admits");
        if (!current) return;
        state(room) = succeeded ? M::Admitted : M::Unadmitted;
        if (succeeded) admitted.emplace_back(room);
    }

    void remove_room(ByteReader& in) {
        const std::string_view room = in.pick(kRooms);
        require(rooms.record_room_removed(room) == (state(room) == M::Admitted),
                "a removal says whether the room was admitted");
        forget(room);
    }

    void reconcile(ByteReader& in) {
        std::vector<std::string> snapshot(in.below(6));
        for (std::string& id : snapshot) id = in.pick(kRooms);
        // Read off the rooms in sorted order, so each list must come out sorted.
        std::vector<std::string> removed, resync, fresh, admitting;
        for (const std::string_view room : kRooms) {
            const bool listed = std::count(snapshot.begin(), snapshot.end(), room) > 0;
            if (state(room) == M::Admitted) (listed ? resync : removed).emplace_back(room);
            if (state(room) == M::Unadmitted && listed) fresh.emplace_back(room);
        }
        const RoomReconciliation r = rooms.reconcile(snapshot);
        for (const std::string& room : removed) forget(room);
        for (const auto& [room, ticket] : r.admitting) {
            require(tickets.record(ticket), "new rooms take consecutive tickets");
            expected[room] = {M::Admitting, ticket};
            admitting.push_back(room);
        }
        if (tickets.exhausted()) fresh.resize(std::min(fresh.size(), admitting.size()));
        require(r.removed == removed && r.resync == resync && admitting == fresh,
                "admitted rooms are removed or resynced, new ones admitted while tickets last");
    }

    void clear(ByteReader&) {
        std::vector<std::string> held;
        for (const std::string_view room : kRooms)
            if (state(room) != M::Unadmitted) held.emplace_back(room);
        require(rooms.clear() == held, "clear returns every room held, sorted");
        expected.clear();
        admitted.clear();
    }

    void add(ByteReader& in) {
        const Participant p = participant(in);
        const People before = people.list();
        const auto old = find(before, p.id);
        require(people.add(p) == (old == before.end()), "an add is new only for an unknown id");
        const auto at = static_cast<std::size_t>(old - before.begin());
        require(people.list().size() == before.size() + (old == before.end()) &&
                    at < people.list().size(),
                "a known id is merged in place, a new one appended");
        check_merged(p, before, people.list()[at]);
    }

    void remove_participant(ByteReader& in) {
        const std::string_view id = in.pick(kPeople);
        const bool known = find(people.list(), id) != people.list().end();
        require(people.remove(id) == known && find(people.list(), id) == people.list().end(),
                "a remove drops its id");
    }

    void replace_all(ByteReader& in) {
        People snapshot(in.below(5));
        for (Participant& p : snapshot) p = participant(in);
        const People before = people.list();
        const auto r = people.set_all(snapshot, "trace");
        require(r.ok() != repeats_an_id(snapshot) && (r || !r.error().issues.empty()),
                "a snapshot is refused, saying why, when it repeats an id");
        if (!r) return require(people.list() == before, "a refused snapshot changes nothing");
        require(people.list().size() == snapshot.size(), "the roster becomes the snapshot");
        for (std::size_t i = 0; i < snapshot.size(); ++i)
            check_merged(snapshot[i], before, people.list()[i]);
    }

    void mark_sent(ByteReader&) {
        people.mark_sent();
        sent = people.list();
    }
};

const std::array<Op<Membership>, 9> kOps = {&Membership::begin_admission,
                                            &Membership::finish_admission,
                                            &Membership::remove_room,
                                            &Membership::reconcile,
                                            &Membership::clear,
                                            &Membership::add,
                                            &Membership::remove_participant,
                                            &Membership::replace_all,
                                            &Membership::mark_sent};

}  // namespace vorn::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return vorn::fuzz::run_ops(data, size, vorn::fuzz::kOps);
}
