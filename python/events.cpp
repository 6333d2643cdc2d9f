// validate_event_payload: the Python face of inbound event validation.
#include "core/events/dispatch.hpp"
#include "python/enumerations.hpp"
#include "python/exports.hpp"
#include "python/toolkit/callable.hpp"
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
    // The caller gets the converted copy itself, normalized in place once it has been checked.
    PyDocument doc = PyDocument::editor(arena.resource());
    Ref payload;
    PyDocument::Node root = doc.index_copy(args[1], payload);
    if (root == nullptr) {
        payload =
            args.convert(1, [&](PyObject* obj) { return copy_payload(obj, arena.resource()); });
        root = doc.index_converted(payload.get());
    }
    std::optional<std::string> trace;
    if (trace_context) trace.emplace(*trace_context);
    if (auto failure = check_event(type, doc, root, trace)) core_error_to_py(std::move(*failure));
    doc.restore_key_order();
    return payload;
}

}  // namespace

Ref export_validate_event_payload() {
    return new_function<kValidateEventPayload, validate_event_payload>();
}

}  // namespace vorn::py
