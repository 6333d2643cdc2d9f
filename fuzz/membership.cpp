// The two membership objects side by side: the room roster (admissions under tickets, removals,
// reconciliation against a snapshot) on four rooms, and the participant roster (merging adds,
// authoritative snapshots, change detection) on three participant ids.
#include <algorithm>
#include <map>

#include "core/runtime/participant.hpp"
#include "core/runtime/room_roster.hpp"
#include "fuzz/driver.hpp"

using namespace vorn;
using fuzz::ByteReader;
using fuzz::require;

namespace {

constexpr std::array<std::string_view, 4> kRooms = {"a", "b", "c", "d"};
constexpr std::array<std::string_view, 3> kPeople = {"p", "q", "r"};
constexpr std::array kFields = {&Participant::name, &Participant::type, &Participant::handle,
                                &Participant::description};
using M = RoomMembership;

bool sorted_unique(const std::vector<std::string>& ids) {
    return std::adjacent_find(ids.begin(), ids.end(), std::greater_equal<>()) == ids.end();
}

bool repeats_an_id(const std::vector<Participant>& list) {
    for (std::size_t i = 0; i < list.size(); ++i) {
        for (std::size_t j = 0; j < i; ++j) {
            if (list[i].id == list[j].id) return true;
        }
    }
    return false;
}

// What merging `given` over its entry in `before` (if its id was there) must leave as `kept`.
void check_merged(const Participant& given, const std::vector<Participant>& before,
                  const Participant& kept) {
    const auto old = std::find_if(before.begin(), before.end(),
                                  [&](const Participant& o) { return o.id == given.id; });
    for (const auto field : kFields) {
        const auto& value = given.*field;
        require(kept.id == given.id && (value && !value->empty() ? kept.*field == value
                                        : old == before.end()    ? kept.*field == value
                                                                 : kept.*field == (*old).*field),
                "a merge takes what is given and keeps what is known");
    }
}

struct Membership {
    fuzz::Counter tickets;
    RoomRoster rooms;
    std::map<std::string, AdmissionTicket, std::less<>> admitting;  // the current tickets
    ParticipantRoster people;
    std::optional<std::vector<Participant>> sent;

    explicit Membership(ByteReader& in) : tickets(in), rooms(tickets.next()) {}

    std::map<std::string_view, M> memberships() const {
        std::map<std::string_view, M> out;
        for (const std::string_view r : kRooms) out[r] = rooms.room_membership(r);
        return out;
    }
    Participant participant(ByteReader& in) const {
        Participant p;
        p.id = in.pick(kPeople);
        for (const auto field : kFields) {
            if (const std::string_view v = in.pick<std::string_view>({"-", "", "x", "y"}); v != "-")
                p.*field = std::string(v);
        }
        return p;
    }

    void check() const {
        const std::vector<std::string> tracked = rooms.tracked_room_ids();
        for (const std::string_view r : kRooms) {
            const M m = rooms.room_membership(r);
            const auto held = admitting.find(r);
            require((m == M::Admitted) == (std::count(tracked.begin(), tracked.end(), r) == 1),
                    "tracked rooms are the admitted ones, once each");
            require(
                (m == M::Admitting) == (held != admitting.end()) &&
                    (held == admitting.end() || rooms.is_room_admission_current(r, held->second)),
                "an admitting room holds its ticket");
        }
        require(!repeats_an_id(people.list()), "participant ids are unique");
        require(people.changed() == (!sent || *sent != people.list()),
                "changed compares with the list last sent");
    }
};

using Op = fuzz::Op<Membership>;

const std::array kOps = {
    Op([](Membership& m, ByteReader& in) {
        const std::string_view room = in.pick(kRooms);
        const bool passes = in.flag();
        const bool allowed =
            passes && m.rooms.room_membership(room) == M::Unadmitted && !m.tickets.exhausted();
        const auto got = m.rooms.begin_room_admission(room, passes);
        require(m.tickets.record(got) == allowed, "only unknown rooms that pass are admitted");
        if (allowed) m.admitting[std::string(room)] = *got;
    }),
    Op([](Membership& m, ByteReader& in) {
        const std::string_view room = in.pick(kRooms);
        const AdmissionTicket ticket = in.ticket(m.tickets.handed_out());
        const bool succeeded = in.flag();
        const auto held = m.admitting.find(room);
        const bool current = held != m.admitting.end() && held->second == ticket;
        const auto before = m.memberships();
        require(m.rooms.record_room_admission(room, ticket, succeeded) == (current && succeeded),
                "only the current ticket's success admits");
        if (!current) return require(m.memberships() == before, "a stale report changes nothing");
        m.admitting.erase(held);
        require(m.rooms.room_membership(room) == (succeeded ? M::Admitted : M::Unadmitted) &&
                    (!succeeded || m.rooms.tracked_room_ids().back() == room),
                "a finished admission ends admitted, last, or unadmitted");
    }),
    Op([](Membership& m, ByteReader& in) {
        const std::string_view room = in.pick(kRooms);
        const bool admitted = m.rooms.room_membership(room) == M::Admitted;
        require(m.rooms.record_room_removed(room) == admitted &&
                    m.rooms.room_membership(room) == M::Unadmitted,
                "a removed room is forgotten");
        if (const auto held = m.admitting.find(room); held != m.admitting.end())
            m.admitting.erase(held);
    }),
    Op([](Membership& m, ByteReader& in) {
        std::vector<std::string> snapshot(in.below(6));
        for (std::string& id : snapshot) id = in.pick(kRooms);
        const auto before = m.memberships();
        const RoomReconciliation r = m.rooms.reconcile(snapshot);
        std::vector<std::string> fresh;
        for (const auto& [room, ticket] : r.admitting) fresh.push_back(room);
        require(sorted_unique(r.removed) && sorted_unique(r.resync) && sorted_unique(fresh),
                "the three lists are sorted");
        for (const auto& [room, ticket] : r.admitting) {
            require(before.at(room) == M::Unadmitted && m.tickets.record(ticket),
                    "only new rooms are admitted, in order, with consecutive tickets");
            m.admitting[room] = ticket;
        }
        for (const auto& [room, was] : before) {
            const bool listed = std::count(snapshot.begin(), snapshot.end(), room) > 0;
            const bool removed = std::binary_search(r.removed.begin(), r.removed.end(), room);
            const bool resync = std::binary_search(r.resync.begin(), r.resync.end(), room);
            const bool admitting = m.admitting.contains(room) && was == M::Unadmitted;
            require(removed == (was == M::Admitted && !listed) &&
                        resync == (was == M::Admitted && listed),
                    "admitted rooms are removed or resynced by the snapshot");
            require(admitting == (was == M::Unadmitted && listed) || m.tickets.exhausted(),
                    "every new room of the snapshot enters admission while tickets last");
            require(m.rooms.room_membership(room) == (removed     ? M::Unadmitted
                                                      : admitting ? M::Admitting
                                                                  : was),
                    "the reconciliation is applied");
        }
    }),
    Op([](Membership& m, ByteReader&) {
        std::vector<std::string> held;
        for (const auto& [room, was] : m.memberships())
            if (was != M::Unadmitted) held.emplace_back(room);
        require(m.rooms.clear() == held, "clear returns every room held, sorted");
        m.admitting.clear();
        for (const auto& [room, now] : m.memberships())
            require(now == M::Unadmitted, "a cleared roster holds nothing");
    }),
    Op([](Membership& m, ByteReader& in) {
        const Participant p = m.participant(in);
        const std::vector<Participant> before = m.people.list();
        const auto old = std::find_if(before.begin(), before.end(),
                                      [&](const Participant& o) { return o.id == p.id; });
        require(m.people.add(p) == (old == before.end()), "an add is new only for an unknown id");
        const auto& list = m.people.list();
        const auto at = static_cast<std::size_t>(old - before.begin());
        require(list.size() == before.size() + (old == before.end()) && at < list.size(),
                "a known id is merged in place, a new one appended");
        check_merged(p, before, list[at]);
    }),
    Op([](Membership& m, ByteReader& in) {
        const std::string_view id = in.pick(kPeople);
        const std::size_t size = m.people.list().size();
        const bool removed = m.people.remove(id);
        require(m.people.list().size() + removed == size, "a remove drops at most its id");
    }),
    Op([](Membership& m, ByteReader& in) {
        std::vector<Participant> snapshot(in.below(5));
        for (Participant& p : snapshot) p = m.participant(in);
        const std::vector<Participant> before = m.people.list();
        const auto r = m.people.set_all(snapshot, "trace");
        require(r.ok() != repeats_an_id(snapshot), "a snapshot is refused when it repeats an id");
        if (!r)
            return require(m.people.list() == before && !r.error().issues.empty(),
                           "a refused snapshot changes nothing");
        require(m.people.list().size() == snapshot.size(), "the roster becomes the snapshot");
        for (std::size_t i = 0; i < snapshot.size(); ++i) {
            check_merged(snapshot[i], before, m.people.list()[i]);
        }
    }),
    Op([](Membership& m, ByteReader&) {
        m.people.mark_sent();
        m.sent = m.people.list();
    }),
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return fuzz::run_ops(data, size, kOps);
}
