#include "core/events/dispatch.hpp"

#include "core/json_document.hpp"

namespace vorn {

namespace {

CoreError single_issue(std::string_view path, IssueCode code, std::string message,
                       const std::optional<std::string>& trace_context) {
    Validation v;
    v.push(path, code, std::move(message));
    return std::move(v).into_error(trace_context);
}

}  // namespace

CoreError unknown_event_type(EventType type, const std::optional<std::string>& trace_context) {
    return single_issue("event_type", IssueCode::InvalidValue,
                        "unknown event type `" + std::to_string(static_cast<unsigned>(type)) + "`",
                        trace_context);
}

CoreError payload_not_an_object(const std::optional<std::string>& trace_context) {
    return single_issue("", IssueCode::WrongType, "payload must be a JSON object", trace_context);
}

Result<Json> validate_event_payload(EventType type, const Json& payload,
                                    std::optional<std::string> trace_context, MemoryResource* mr) {
    return validate_event_payload(type, payload.clone(mr), std::move(trace_context));
}

Result<Json> validate_event_payload(EventType type, Json&& payload,
                                    std::optional<std::string> trace_context) {
    JsonDocument doc = JsonDocument::editor();
    if (auto failure = check_event(type, doc, &payload, trace_context)) return std::move(*failure);
    return Result<Json>(std::move(payload));
}

std::optional<CoreError> check_event_payload(EventType type, const Json& payload,
                                             const std::optional<std::string>& trace_context) {
    JsonDocument reader = JsonDocument::reader();
    return check_event(type, reader, &payload, trace_context);
}

}  // namespace vorn
