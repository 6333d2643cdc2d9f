// Event validation and inbound routing on arbitrary JSON. Input: one byte naming the event type
// ('A' + its position), one byte choosing the envelope room id, the agent id and whether the event
// name is spoiled, then the payload as JSON text.
#include <algorithm>
#include <set>

#include "core/delivery.hpp"
#include "core/events/dispatch.hpp"
#include "core/json_document.hpp"
#include "fuzz/driver.hpp"
#include "fuzz/json_reader.hpp"

using namespace vorn;
using fuzz::require;

namespace {

const std::string kTrace = "trace";

// Keys some validator rewrites or removes; every other key must come out as it came in.
const std::set<std::string_view> kNormalizedKeys = {"metadata",    "attachments", "retryable",
                                                    "retry_after", "is_remote",   "is_external",
                                                    "from_handle", "from_name",   "message"};

// Every object in `value` keeps its keys unique and in ascending byte order.
bool keys_sorted(const Json& value) {
    if (const JsonArray* items = value.if_array()) {
        return std::all_of(items->begin(), items->end(), keys_sorted);
    }
    const JsonObject* object = value.if_object();
    if (!object) return true;
    for (const JsonMember* m = object->begin(); m != object->end(); ++m) {
        if ((m != object->begin() && !utf8_less((m - 1)->key.text(), m->key.text())) ||
            !keys_sorted(m->value))
            return false;
    }
    return true;
}

void check_failure(const CoreError& error, const Json& payload) {
    require(!error.issues.empty() && error.trace_context == kTrace, "issues and trace context");
    for (const Issue& issue : error.issues) {
        require(!issue.message.empty(), "every issue has a message");
        require(!issue.path.empty() || (error.issues.size() == 1 && !payload.if_object()),
                "only a payload that is no object is reported under the empty path, alone");
    }
    const std::string head = std::to_string(error.issues.size()) + " validation issue(s): ";
    require(error.display().starts_with(head), "the display counts the issues");
}

void check_validation(EventType type, const Json& payload) {
    Result<Json> copied = validate_event_payload(type, payload, kTrace);
    Result<Json> in_place = validate_event_payload(type, Json(payload), kTrace);
    const std::optional<CoreError> checked = check_event_payload(type, payload, kTrace);
    require(copied.ok() == in_place.ok() && copied.ok() == !checked, "entry points agree");
    if (!copied) {
        check_failure(copied.error(), payload);
        require(copied.error().issues == in_place.error().issues &&
                    copied.error().issues == checked->issues,
                "every entry point reports the same issues");
        return;
    }
    const Json& out = copied.value();
    require(keys_sorted(payload) && keys_sorted(out), "object keys stay sorted and unique");
    Result<Json> again = validate_event_payload(type, out, std::nullopt);
    require(out == in_place.value() && again.ok() && again.value() == out,
            "in place or copied, a normalized payload validates to itself");
    if (type == EventType::EventCreated) return require(out == payload, "passed through as is");
    const JsonObject& object = *out.if_object();
    const auto kind = [&](std::string_view key) {
        const Json* v = object.find(key);
        return v ? v->kind() : Json::Kind::Null;
    };
    if (type == EventType::MessageCreated || type == EventType::MessageUpdated) {
        const Json* mentions = object.find("metadata")->if_object()->find("mentions");
        require(kind("attachments") == Json::Kind::Array && mentions && mentions->if_array(),
                "a valid message always has its collections");
    }
    if (type == EventType::Supersede) {
        require(kind("retryable") == Json::Kind::Bool && (kind("retry_after") == Json::Kind::Int ||
                                                          kind("retry_after") == Json::Kind::Null),
                "a valid supersede has a flag and a whole retry-after or none");
    }
    for (const JsonMember& m : *payload.if_object()) {
        const Json* kept = out.if_object()->find(m.key.text());
        require(kNormalizedKeys.contains(m.key.text()) || (kept && *kept == m.value),
                "keys no rule names are kept unchanged");
    }
}

std::string_view string_field(const Json& payload, std::string_view key) {
    const Json* value = payload.if_object() ? payload.if_object()->find(key) : nullptr;
    return value && value->if_string() ? value->if_string()->text() : std::string_view();
}

void check_routing(EventType type, std::string_view name, const Json& payload,
                   const std::optional<TextRef>& envelope, std::string_view agent) {
    JsonDocument reader = JsonDocument::reader();
    Result<EventDecision> routed =
        evaluate_delivery_event(TextRef{name}, envelope, reader, &payload, agent, kTrace);
    using Kind = EventDecision::Kind;
    const bool known = name == enum_text(type);
    const bool cleanup = type == EventType::RoomRemoved || type == EventType::RoomDeleted;
    if (!known || (type != EventType::MessageCreated && !cleanup)) {
        return require(routed && routed.value().kind == Kind::Ignored &&
                           routed.value().event_type.text == name,
                       "every other name is ignored, as given");
    }
    Result<Json> valid = validate_event_payload(type, payload, kTrace);
    if (!routed) {
        check_failure(routed.error(), payload);
        const auto& issues = routed.error().issues;
        if (cleanup) return require(issues.size() == 1 && issues[0].path == "room_id", "room id");
        return require(valid ? issues.size() == 1 : issues == valid.error().issues,
                       "routing reports validation issues unchanged, its own one at a time");
    }
    const EventDecision& d = routed.value();
    require(!d.room_id.text.empty() &&
                (!envelope || envelope->text.empty() || d.room_id.text == envelope->text),
            "a routed event names its room, the envelope's first");
    if (cleanup) return require(d.kind == Kind::Cleanup, "a removed room is cleaned up");
    require(valid && !d.message_id.text.empty() && d.message_id.text == string_field(payload, "id"),
            "only a valid message is routed, by its id");
    const bool self = is_self_echo(string_field(payload, "sender_id"),
                                   string_field(payload, "sender_type"), agent);
    require(d.kind == (self ? Kind::SkipSelf : Kind::Invocation), "own messages are skipped");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::ByteReader in(data, size);
    const auto type = static_cast<EventType>(static_cast<std::uint8_t>(in.byte() - 'A') %
                                             enum_members<EventType>().size());
    const std::uint8_t choices = in.byte();
    const auto text = std::string_view(reinterpret_cast<const char*>(data), size);
    const std::optional<Json> payload = fuzz::JsonReader::read(text.substr(std::min(size, 2ul)));
    if (!payload) return -1;  // not JSON: keep it out of the corpus

    const std::array<std::optional<TextRef>, 4> envelopes = {std::nullopt, TextRef{""},
                                                             TextRef{"r1"}, TextRef{"r2"}};
    const std::string_view agent = (choices & 4) != 0 ? "a1" : "";
    const std::string name = std::string(enum_text(type)) + ((choices & 8) != 0 ? "!" : "");
    check_validation(type, *payload);
    check_routing(type, name, *payload, envelopes[choices % 4], agent);
    return 0;
}
