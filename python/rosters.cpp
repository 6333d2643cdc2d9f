// RoomRoster, RoomReconciliation and ParticipantRoster: the Python face of room admission and of
// the passive participant roster.
#include "core/runtime/participant.hpp"
#include "core/runtime/room_roster.hpp"
#include "python/enumerations.hpp"
#include "python/exports.hpp"
#include "python/toolkit/class_type.hpp"
#include "python/toolkit/json_convert.hpp"
#include "python/toolkit/keys.hpp"
#include "python/toolkit/values.hpp"

namespace vorn::py {

namespace {

// ---- RoomRoster and RoomReconciliation

constexpr auto kRoomRosterCtor = function("RoomRoster", "");
constexpr auto kRoomMembership = method("room_membership", "", arg("room_id"));
constexpr auto kBeginAdmission =
    method("begin_room_admission", "", arg("room_id"), arg("passes_filter"));
constexpr auto kRecordAdmission =
    method("record_room_admission", "", arg("room_id"), arg("ticket"), arg("succeeded"));
constexpr auto kAdmissionCurrent =
    method("is_room_admission_current", "", arg("room_id"), arg("ticket"));
constexpr auto kRecordRemoved = method("record_room_removed", "", arg("room_id"));
constexpr auto kTrackedRoomIds = method("tracked_room_ids", "");
constexpr auto kReconcile = method("reconcile", "", arg("current_room_ids"));
constexpr auto kClearRooms = method("clear", "");

RoomRoster construct_room_roster(const Arguments&, PyObject*&) {
    return RoomRoster();
}

Ref room_membership(PyObject* self, const Arguments& args) {
    auto& obj = instance<RoomRoster>(self);
    SharedAccess access(obj.flag);
    return to_py(obj.value->room_membership(args.get<std::string_view>(0)));
}

Ref begin_room_admission(PyObject* self, const Arguments& args) {
    auto& obj = instance<RoomRoster>(self);
    ExclusiveAccess access(obj.flag);
    const auto room_id = args.get<std::string_view>(0);
    const auto ticket = obj.value->begin_room_admission(room_id, args.get<bool>(1));
    return ticket ? make_uint(*ticket) : none();
}

Ref record_room_admission(PyObject* self, const Arguments& args) {
    auto& obj = instance<RoomRoster>(self);
    ExclusiveAccess access(obj.flag);
    const auto room_id = args.get<std::string_view>(0);
    const auto ticket = args.get<AdmissionTicket>(1);
    return make_bool(obj.value->record_room_admission(room_id, ticket, args.get<bool>(2)));
}

Ref is_room_admission_current(PyObject* self, const Arguments& args) {
    auto& obj = instance<RoomRoster>(self);
    SharedAccess access(obj.flag);
    const auto room_id = args.get<std::string_view>(0);
    return make_bool(obj.value->is_room_admission_current(room_id, args.get<AdmissionTicket>(1)));
}

Ref record_room_removed(PyObject* self, const Arguments& args) {
    auto& obj = instance<RoomRoster>(self);
    ExclusiveAccess access(obj.flag);
    return make_bool(obj.value->record_room_removed(args.get<std::string_view>(0)));
}

Ref tracked_room_ids(PyObject* self, const Arguments&) {
    auto& obj = instance<RoomRoster>(self);
    SharedAccess access(obj.flag);
    return make_str_list(obj.value->tracked_room_ids());
}

ClassSpec<RoomReconciliation>& reconciliation_spec();

Ref reconcile(PyObject* self, const Arguments& args) {
    auto& obj = instance<RoomRoster>(self);
    ExclusiveAccess access(obj.flag);
    const auto current = args.get<std::vector<std::string>>(0);
    return wrap(reconciliation_spec(), obj.value->reconcile(current));
}

Ref clear_rooms(PyObject* self, const Arguments&) {
    auto& obj = instance<RoomRoster>(self);
    ExclusiveAccess access(obj.flag);
    return make_str_list(obj.value->clear());
}

// Read-only result: every read builds a fresh list.
Ref removed_rooms(const RoomReconciliation& r) {
    return make_str_list(r.removed);
}

Ref resync_rooms(const RoomReconciliation& r) {
    return make_str_list(r.resync);
}

Ref admitting_rooms(const RoomReconciliation& r) {
    return make_list(r.admitting, [](const auto& room) {
        return make_pair(make_str(room.first), make_uint(room.second));
    });
}

PyMethodDef room_roster_methods[] = {
    method_def<kRoomMembership, room_membership>(),
    method_def<kBeginAdmission, begin_room_admission>(),
    method_def<kRecordAdmission, record_room_admission>(),
    method_def<kAdmissionCurrent, is_room_admission_current>(),
    method_def<kRecordRemoved, record_room_removed>(),
    method_def<kTrackedRoomIds, tracked_room_ids>(),
    method_def<kReconcile, reconcile>(),
    method_def<kClearRooms, clear_rooms>(),
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef reconciliation_getset[] = {
    value_property<RoomReconciliation, removed_rooms>("removed"),
    value_property<RoomReconciliation, admitting_rooms>("admitting"),
    value_property<RoomReconciliation, resync_rooms>("resync"),
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

ClassSpec<RoomRoster>& room_roster_spec() {
    static ClassSpec<RoomRoster> definition{
        "RoomRoster",
        kRoomRosterCtor,
        construct_room_roster,
        room_roster_methods,
        {},
        "Room admission and membership decisions for one agent session, separate\n"
        "from `SubscriptionTracker`'s two-topic transport join."};
    return definition;
}

ClassSpec<RoomReconciliation>& reconciliation_spec() {
    static ClassSpec<RoomReconciliation> definition{
        "RoomReconciliation",
        std::nullopt,
        nullptr,
        {},
        reconciliation_getset,
        "One reconnect's reconciliation against an authoritative room snapshot.\n"
        "`removed` and `admitting` are already applied by the time this is\n"
        "returned."};
    return definition;
}

// ---- ParticipantRoster

constexpr auto kParticipantRosterCtor =
    function("ParticipantRoster", "", kwarg("trace_context_provider", "None"));
constexpr auto kAddParticipant =
    method("add",
           "Add a participant, or merge it into the existing entry with the same\n"
           "`id`. Returns `True` if newly added, `False` if an existing id was\n"
           "refreshed in place.",
           arg("participant"));
constexpr auto kRemoveParticipant =
    method("remove",
           "Remove the participant with this id. Returns `True` if one was\n"
           "removed.",
           arg("participant_id"));
constexpr auto kSetAll =
    method("set_all",
           "Replace the roster from an authoritative iterable of participants.\n"
           "Rejects the whole snapshot -- leaving the roster unchanged -- if any\n"
           "id appears in it more than once, raising `ValueError` with `.issues`\n"
           "and `.trace_context` (an explicit `trace_context` argument wins over\n"
           "the constructor's `trace_context_provider`).",
           arg("participants"), arg("trace_context", "None"));
constexpr auto kListParticipants =
    method("list", "The current roster, in add order, as a list of dicts.");
constexpr auto kChanged = method("changed",
                                 "Whether membership or any tracked field changed since the last\n"
                                 "`mark_sent()`.");
constexpr auto kMarkSent = method("mark_sent", "Snapshot the current roster as sent.");

ParticipantRoster construct_participant_roster(const Arguments& args, PyObject*& held) {
    // Kept by reference, unchecked: only set_all calls it.
    if (args.given(0) && args[0] != Py_None) held = Py_NewRef(args[0]);
    return ParticipantRoster();
}

// The JSON conversion runs first, so a value without a JSON form fails even under an ignored key.
Participant participant_from_py(PyObject* obj) {
    CallArena arena;
    PyToJson reader(arena.resource(), false);
    auto read = participant_from_json(reader.convert(obj));
    if (const auto* message = std::get_if<std::string>(&read)) raise_type_error(*message);
    return std::move(std::get<Participant>(read));
}

std::vector<Participant> participants_from_py(PyObject* items) {
    Ref iter = Ref::check(PyObject_GetIter(items));
    std::vector<Participant> out;
    while (Ref item = Ref::steal(PyIter_Next(iter.get()))) {
        out.push_back(participant_from_py(item.get()));
    }
    if (PyErr_Occurred()) throw_error_already_set();
    return out;
}

// Whatever goes wrong in the host's provider (it raises, re-enters the roster, returns something
// other than a str) leaves the trace context absent; it never fails the call. An interrupt or an
// exit is no provider failure: swallowing it would leave the host unable to stop.
std::optional<std::string> provided_trace_context(PyObject* provider) {
    if (!provider) return std::nullopt;
    Ref keep = Ref::borrow(provider);
    Ref result = Ref::steal(PyObject_CallNoArgs(provider));
    if (!result && !PyErr_ExceptionMatches(PyExc_Exception)) throw_error_already_set();
    std::optional<std::string> out;
    if (result && PyUnicode_Check(result.get())) {
        Py_ssize_t size = 0;
        if (const char* text = PyUnicode_AsUTF8AndSize(result.get(), &size)) {
            out.emplace(text, static_cast<std::size_t>(size));
        }
    }
    PyErr_Clear();
    return out;
}

Ref participant_to_py(const Participant& p) {
    Ref d = new_dict();
    set_item(d, key<"id">(), make_str(p.id));
    set_item(d, key<"name">(), make_optional_str(p.name));
    set_item(d, key<"type">(), make_optional_str(p.type));
    set_item(d, key<"handle">(), make_optional_str(p.handle));
    set_item(d, key<"description">(), make_optional_str(p.description));
    return d;
}

Ref add_participant(PyObject* self, const Arguments& args) {
    auto& obj = instance<ParticipantRoster>(self);
    ExclusiveAccess access(obj.flag);
    Participant p = args.convert(0, participant_from_py);
    return make_bool(obj.value->add(std::move(p)));
}

Ref remove_participant(PyObject* self, const Arguments& args) {
    auto& obj = instance<ParticipantRoster>(self);
    ExclusiveAccess access(obj.flag);
    return make_bool(obj.value->remove(args.get<std::string_view>(0)));
}

Ref set_all(PyObject* self, const Arguments& args) {
    auto& obj = instance<ParticipantRoster>(self);
    ExclusiveAccess access(obj.flag);
    auto trace_context = args.get<std::optional<std::string>>(1);
    std::vector<Participant> snapshot = args.convert(0, participants_from_py);
    if (!trace_context) trace_context = provided_trace_context(obj.held);
    Result<std::monostate> done = obj.value->set_all(std::move(snapshot), std::move(trace_context));
    if (!done) core_error_to_py(std::move(done.error()));
    return none();
}

Ref list_participants(PyObject* self, const Arguments&) {
    auto& obj = instance<ParticipantRoster>(self);
    SharedAccess access(obj.flag);
    return make_list(obj.value->list(), participant_to_py);
}

Ref changed(PyObject* self, const Arguments&) {
    auto& obj = instance<ParticipantRoster>(self);
    SharedAccess access(obj.flag);
    return make_bool(obj.value->changed());
}

Ref mark_sent(PyObject* self, const Arguments&) {
    auto& obj = instance<ParticipantRoster>(self);
    ExclusiveAccess access(obj.flag);
    obj.value->mark_sent();
    return none();
}

PyMethodDef participant_roster_methods[] = {
    method_def<kAddParticipant, add_participant>(),
    method_def<kRemoveParticipant, remove_participant>(),
    method_def<kSetAll, set_all>(),
    method_def<kListParticipants, list_participants>(),
    method_def<kChanged, changed>(),
    method_def<kMarkSent, mark_sent>(),
    {nullptr, nullptr, 0, nullptr},
};

ClassSpec<ParticipantRoster>& participant_roster_spec() {
    static ClassSpec<ParticipantRoster> definition{
        "ParticipantRoster",
        kParticipantRosterCtor,
        construct_participant_roster,
        participant_roster_methods,
        {},
        "The always-injected passive participant roster. A participant is any\n"
        "mapping; `id`, `name`, `type`, `handle`, `description` are read from it\n"
        "and returned by [`list`](Self::list) -- every other key is dropped,\n"
        "matching the platform's own `participant_added`/`participant_removed`\n"
        "field set. `id` is required and must be a string; the other four are\n"
        "each a string or `None`.",
        true};
    return definition;
}

}  // namespace

Ref export_participant_roster() {
    return Ref::borrow(type_object(participant_roster_spec()));
}

Ref export_room_reconciliation() {
    return Ref::borrow(type_object(reconciliation_spec()));
}

Ref export_room_roster() {
    return Ref::borrow(type_object(room_roster_spec()));
}

}  // namespace vorn::py
