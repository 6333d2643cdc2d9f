// validate_event_payload: the Python face of inbound event validation.
#include "core/events/dispatch.hpp"
#include "python/enumerations.hpp"
#include "python/exports.hpp"
#include "python/toolkit/callable.hpp"
#include "python/toolkit/gc_pause.hpp"
#include "python/toolkit/json_convert.hpp"
#include "python/toolkit/py_copy.hpp"
#include "python/toolkit/py_document.hpp"

namespace vorn::py {

namespace {

constexpr auto kValidateEventPayload =
    function("validate_event_payload",
             "Validate and normalize an inbound platform event payload.\n\n"
             "On failure raises `ValueError` with `.issues` (a tuple of\n"
             "`(path, code, message)` triples) and `.trace_context`.",
             arg("event_type"), arg("raw"), arg("trace_context", "None"));

// A member, or its wire name; an unknown name is a validation failure, not a type error.
EventType event_type_arg(const Arguments& args,
                         const std::optional<std::string_view>& trace_context) {
    const std::string_view name =
        member_or_wire_name<EventType>(args, 0, "event_type must be a str");
    if (auto parsed = parse_enum<EventType>(name)) return *parsed;
    CoreError error;
    error.issues.push_back(Issue{"event_type", IssueCode::InvalidValue,
                                 "unknown event type `" + std::string(name) + "`"});
    if (trace_context) error.trace_context.emplace(*trace_context);
    core_error_to_py(std::move(error));
}

Ref validate_event_payload(PyObject*, const Arguments& args) {
    const auto trace_context = args.get<std::optional<std::string_view>>(2);
    const EventType type = event_type_arg(args, trace_context);
    CallArena arena;
    // Checked and normalized in an index of the payload (of its converted copy where it is not
    // plain); the caller gets the result as new dicts and lists.
    PyDocument doc = PyDocument::editor(arena.resource());
    PyDocument::Node root = doc.index(args[1]);
    Ref copy;
    if (root == nullptr) {
        copy = args.convert(1, [&](PyObject* obj) { return copy_payload(obj, arena.resource()); });
        root = doc.index_converted(copy.get());
    }
    // From here until the result holds its own references, nothing may run the host's code.
    const GcPause pause;
    std::optional<std::string> trace;
    if (trace_context) trace.emplace(*trace_context);
    if (auto failure = check_event(type, doc, root, trace)) core_error_to_py(std::move(*failure));
    return doc.emit(root);
}

}  // namespace

Ref export_validate_event_payload() {
    return new_function<kValidateEventPayload, validate_event_payload>();
}

}  // namespace vorn::py
