// One validator per event family, over any document (see core/document.hpp). Each reads the
// payload object `in`, appends to `v` every fault its checks find (in its fixed check order, never
// stopping early) and, in a writable document, normalizes `in` where a rule says so. Keys no rule
// names pass through untouched.
#pragma once

#include "core/events/checks.hpp"
#include "core/events/message.hpp"

namespace vorn {

// room_added, room_removed
template <class D>
void validate_room(D& doc, typename D::Node in, Validation& v) {
    require_string(doc, in, "id", v);
    require_string(doc, in, "inserted_at", v);
    require_string(doc, in, "updated_at", v);
    optional_nullable_string(doc, in, "title", v);
    optional_nullable_string(doc, in, "task_id", v);
}

template <class D>
void validate_room_deleted(D& doc, typename D::Node in, Validation& v) {
    require_string(doc, in, "id", v);
}

// participant_added, participant_removed
template <class D>
void validate_participant(D& doc, typename D::Node in, Validation& v) {
    require_string(doc, in, "id", v);
    require_string(doc, in, "type", v);
    require_string(doc, in, "name", v);
    optional_string(doc, in, "handle", v);
    optional_nullable_string(doc, in, "description", v);
    normalize_remote_alias(doc, in, v);
}

template <class D>
void validate_contact_added(D& doc, typename D::Node in, Validation& v) {
    require_string(doc, in, "id", v);
    require_string(doc, in, "type", v);
    require_string(doc, in, "inserted_at", v);
    require_nullable_string(doc, in, "handle", v);
    require_nullable_string(doc, in, "name", v);
    optional_string(doc, in, "description", v);
    optional_boolean(doc, in, "listed_in_directory", v);
    optional_array(doc, in, "tags", v);
    normalize_remote_alias(doc, in, v);
}

template <class D>
void validate_contact_removed(D& doc, typename D::Node in, Validation& v) {
    require_string(doc, in, "id", v);
}

template <class D>
void validate_contact_request_received(D& doc, typename D::Node in, Validation& v) {
    require_string(doc, in, "id", v);
    require_string(doc, in, "status", v);
    require_string(doc, in, "inserted_at", v);
    optional_string_null_as_absent(doc, in, "from_handle", v);
    optional_string_null_as_absent(doc, in, "from_name", v);
    optional_string_null_as_absent(doc, in, "message", v);
}

template <class D>
void validate_contact_request_updated(D& doc, typename D::Node in, Validation& v) {
    require_string(doc, in, "id", v);
    require_string(doc, in, "status", v);
}

template <class D>
void validate_supersede(D& doc, typename D::Node in, Validation& v) {
    require_string(doc, in, "reason", v);
    require_string(doc, in, "message", v);
    optional_nullable_string(doc, in, "target_socket_id", v);
    require_nullable_string(doc, in, "correlation_id", v);
    normalize_retryable(doc, in);
    normalize_retry_after(doc, in);
}

template <class D>
void validate_agent_control(D& doc, typename D::Node in, Validation& v) {
    require_closed_string(doc, in, "mode", {"interrupt", "stop", "play"}, v);
    require_closed_string(doc, in, "scope", {"agent", "room"}, v);
    require_string(doc, in, "agent_id", v);
    require_string(doc, in, "correlation_id", v);
    require_nullable_string(doc, in, "execution_id", v);
    require_nullable_string(doc, in, "room_id", v);
    optional_string(doc, in, "reason", v);
    optional_string(doc, in, "type", v);
}

}  // namespace vorn
