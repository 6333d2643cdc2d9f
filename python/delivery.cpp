// The Python face of the stateless delivery decisions. Each decision is a new dict whose first key
// is "decision"; its strings are the caller's own str objects wherever the decision repeats one.
#include <array>

#include "core/delivery.hpp"
#include "python/exports.hpp"
#include "python/toolkit/callable.hpp"
#include "python/toolkit/gc_pause.hpp"
#include "python/toolkit/json_convert.hpp"
#include "python/toolkit/keys.hpp"
#include "python/toolkit/py_copy.hpp"
#include "python/toolkit/py_document.hpp"
#include "python/toolkit/values.hpp"

namespace vorn::py {

namespace {

constexpr auto kEvaluateDeliveryEvent =
    function("evaluate_delivery_event",
             "Evaluate the routing decision for one inbound platform event.\n\n"
             "On failure raises `ValueError` with `.issues` (a tuple of\n"
             "`(path, code, message)` triples) and `.trace_context`. A `payload` that\n"
             "cannot be converted raises `TypeError`.",
             arg("event_type"), arg("room_id"), arg("payload"), arg("agent_id"),
             arg("trace_context", "None"));

constexpr auto kEvaluateDrainCandidate =
    function("evaluate_drain_candidate",
             "One step of the drain loop. `candidate` is a mapping with `id`,\n"
             "`sender_id`, `sender_type` (or `None` when the host's fetch returned no\n"
             "candidate); a malformed mapping raises `TypeError`.",
             arg("candidate"), arg("seen_ids"), arg("agent_id"));

constexpr auto kEvaluateNextMessage =
    function("evaluate_next_message",
             "Compares the triggering message against the platform's authoritative\n"
             "\"next open message\" for a room.",
             arg("triggering_message_id"), arg("next_message_id"));

constexpr auto kEvaluateAdapterResult =
    function("evaluate_adapter_result", "Adapter outcome -> ack decision.", arg("room_id"),
             arg("message_id"), arg("succeeded"));

constexpr auto kIsSelfEcho =
    function("is_self_echo",
             "The one definition of \"self echo\" (`sender_type == \"Agent\" and\n"
             "sender_id == agent_id`), shared by [`evaluate_delivery_event`] and\n"
             "[`evaluate_drain_candidate`] internally and exposed here for a host's own\n"
             "call sites that don't go through either.",
             arg("sender_id"), arg("sender_type"), arg("agent_id"));

Ref text(const TextRef& t) {
    return make_str(t.text, t.origin);
}

// A failure while a decision dict is built surfaces as TypeError, as a conversion failure does.
template <class F>
Ref result_of(F&& build) {
    try {
        return build();
    } catch (const PyErrorAlreadySet&) {
        raise_type_error(take_exception_text());
    }
}

// {"decision": tag}, ready for the variant's further keys.
Ref decision(PyObject* tag) {
    Ref d = new_dict();
    set_item(d, key<"decision">(), Ref::borrow(tag));
    return d;
}

Ref event_decision_to_py(const EventDecision& d) {
    using Kind = EventDecision::Kind;
    switch (d.kind) {
        case Kind::Ignored: {
            Ref out = decision(key<"ignored">());
            set_item(out, key<"event_type">(), text(d.event_type));
            return out;
        }
        case Kind::Cleanup: {
            Ref out = decision(key<"cleanup">());
            set_item(out, key<"room_id">(), text(d.room_id));
            return out;
        }
        case Kind::SkipSelf:
        case Kind::Invocation: {
            const bool skip = d.kind == Kind::SkipSelf;
            Ref out = decision(skip ? key<"skip_self">() : key<"invocation">());
            set_item(out, key<"room_id">(), text(d.room_id));
            set_item(out, key<"message_id">(), text(d.message_id));
            if (!skip) {
                set_item(out, key<"sender_id">(), text(d.sender_id));
                set_item(out, key<"sender_type">(), text(d.sender_type));
            }
            return out;
        }
    }
    return none();
}

Ref drain_step_to_py(const DrainStep& step) {
    using Kind = DrainStep::Kind;
    PyObject* tag = step.kind == Kind::NoCandidate ? key<"no_candidate">()
                    : step.kind == Kind::SelfEcho  ? key<"self_echo">()
                    : step.kind == Kind::Drain     ? key<"drain">()
                                                   : key<"out_of_snapshot">();
    Ref out = decision(tag);
    if (step.kind != Kind::NoCandidate) set_item(out, key<"message_id">(), text(step.message_id));
    return out;
}

Ref next_message_to_py(const NextMessageDecision& d) {
    using Kind = NextMessageDecision::Kind;
    switch (d.kind) {
        case Kind::NoPending:
            return decision(key<"no_pending">());
        case Kind::ReadyToClaim:
            return decision(key<"ready_to_claim">());
        case Kind::AlreadyProcessed: {
            Ref out = decision(key<"already_processed">());
            set_item(out, key<"next_open_id">(), text(d.next_open_id));
            return out;
        }
    }
    return none();
}

// Every value must have a JSON form, as if it were converted; a plain payload is then read as it
// is, anything else through its converted copy, held by `copy`.
PyDocument::Node read_payload(PyDocument& doc, const Arguments& args, std::size_t i, Ref& copy) {
    if (const PyDocument::Node plain = doc.index(args[i])) return plain;
    copy = args.convert(i, [&](PyObject* obj) { return copy_payload(obj, doc.arena()); });
    return doc.index_converted(copy.get());
}

Ref evaluate_delivery_event(PyObject*, const Arguments& args) {
    const auto event_type = args.get<TextRef>(0);
    const auto room_id = args.get<std::optional<TextRef>>(1);
    CallArena arena;
    PyDocument doc = PyDocument::reader(arena.resource());
    Ref copy;
    const PyDocument::Node payload = read_payload(doc, args, 2, copy);
    // From here until the result holds its own references, nothing may run the host's code.
    const GcPause pause;
    const auto agent_id = args.get<std::string_view>(3);
    const auto trace = args.get<std::optional<std::string_view>>(4);
    const std::optional<std::string> trace_context =
        trace ? std::optional<std::string>(*trace) : std::nullopt;
    Result<EventDecision> result =
        vorn::evaluate_delivery_event(event_type, room_id, doc, payload, agent_id, trace_context);
    if (!result) core_error_to_py(std::move(result.error()));
    return result_of([&] { return event_decision_to_py(result.value()); });
}

// "id", "sender_id", "sender_type" must be strings; the first that is not is reported. `held`
// keeps the three strings alive: reading `seen_ids` next runs the host's code, which may change
// the candidate.
DrainCandidate drain_candidate(const PyDocument& doc, PyDocument::Node candidate,
                               std::array<Ref, 3>& held) {
    const FieldName names[3] = {"id", "sender_id", "sender_type"};
    PyDocument::Node fields[3] = {};
    for (std::size_t i = 0; i < 3; ++i) {
        fields[i] =
            doc.kind(candidate) == Json::Kind::Object ? doc.find(candidate, names[i]) : nullptr;
        if (fields[i] == nullptr || doc.kind(fields[i]) != Json::Kind::String) {
            raise_type_error("candidate." + std::string(names[i].text()) + " must be a string");
        }
        held[i] = Ref::borrow(fields[i]->object);
    }
    return {doc.text_ref(fields[0]), doc.text(fields[1]), doc.text(fields[2])};
}

Ref evaluate_drain_candidate(PyObject*, const Arguments& args) {
    const auto agent_id = args.get<std::string_view>(2);
    CallArena arena;
    PyDocument doc = PyDocument::reader(arena.resource());
    Ref copy;
    std::array<Ref, 3> held;
    std::optional<DrainCandidate> candidate;
    if (args[0] != Py_None) {
        candidate = drain_candidate(doc, read_payload(doc, args, 0, copy), held);
    }
    PyObject* seen = args[1];
    if (PyUnicode_Check(seen)) raise_type_error("`seen_ids` must be an iterable of str, not a str");
    Ref iter = Ref::check(PyObject_GetIter(seen));
    // The views below borrow each item's UTF-8 bytes, so every item is kept alive for the call.
    std::pmr::vector<Ref> items(arena.resource());
    SeenIds seen_ids(arena.resource());
    while (Ref item = Ref::steal(PyIter_Next(iter.get()))) {
        const std::string_view id = args.convert(1, [&](PyObject*) {
            return Converter<std::string_view>::from_py(item.get(), "seen_ids");
        });
        items.push_back(std::move(item));
        seen_ids.insert(id);
    }
    if (PyErr_Occurred()) throw_error_already_set();

    const DrainStep step = vorn::evaluate_drain_candidate(candidate, seen_ids, agent_id);
    return result_of([&] { return drain_step_to_py(step); });
}

Ref evaluate_next_message(PyObject*, const Arguments& args) {
    const auto triggering = args.get<std::string_view>(0);
    const auto next = args.get<std::optional<TextRef>>(1);
    const NextMessageDecision d = vorn::evaluate_next_message(triggering, next);
    return result_of([&] { return next_message_to_py(d); });
}

Ref evaluate_adapter_result(PyObject*, const Arguments& args) {
    const auto room_id = args.get<TextRef>(0);
    const auto message_id = args.get<TextRef>(1);
    const bool succeeded = args.get<bool>(2);
    const AckDecision d = vorn::evaluate_adapter_result(room_id, message_id, succeeded);
    Ref out =
        decision(d.kind == AckDecision::Kind::Processed ? key<"processed">() : key<"failed">());
    set_item(out, key<"room_id">(), text(d.room_id));
    set_item(out, key<"message_id">(), text(d.message_id));
    return out;
}

Ref is_self_echo(PyObject*, const Arguments& args) {
    const auto sender_id = args.get<std::string_view>(0);
    const auto sender_type = args.get<std::string_view>(1);
    const auto agent_id = args.get<std::string_view>(2);
    return make_bool(vorn::is_self_echo(sender_id, sender_type, agent_id));
}

}  // namespace

Ref export_evaluate_adapter_result() {
    return new_function<kEvaluateAdapterResult, evaluate_adapter_result>();
}
Ref export_evaluate_delivery_event() {
    return new_function<kEvaluateDeliveryEvent, evaluate_delivery_event>();
}
Ref export_evaluate_drain_candidate() {
    return new_function<kEvaluateDrainCandidate, evaluate_drain_candidate>();
}
Ref export_evaluate_next_message() {
    return new_function<kEvaluateNextMessage, evaluate_next_message>();
}
Ref export_is_self_echo() {
    return new_function<kIsSelfEcho, is_self_echo>();
}

}  // namespace vorn::py
