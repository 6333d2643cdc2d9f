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

namespace vorn::fuzz {

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
    const auto unordered = [](const JsonMember& a, const JsonMember& b) {
        return !utf8_less(a.key.text(), b.key.text());
    };
    return std::adjacent_find(object->begin(), object->end(), unordered) == object->end() &&
           std::all_of(object->begin(), object->end(),
                       [](const JsonMember& m) { return keys_sorted(m.value); });
}

const Json* field(const Json& payload, std::string_view key) {
    return payload.if_object() ? payload.if_object()->find(key) : nullptr;
}
std::string_view string_field(const Json& payload, std::string_view key) {
    const Json* value = field(payload, key);
    return value && value->if_string() ? value->if_string()->text() : std::string_view();
}
Json::Kind kind(const Json& payload, std::string_view key) {
    const Json* value = field(payload, key);
    return value ? value->kind() : Json::Kind::Null;
}

void check_failure(const CoreError& error, const Json& payload) {
    require(!error.issues.empty() && error.trace_context == kTrace, "issues and trace context");
    for (const Issue& issue : error.issues) {
        require(!issue.message.empty() &&
                    (!issue.path.empty() || (error.issues.size() == 1 && !payload.if_object())),
                "every issue has a message; only a payload that is no object has the empty path");
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
        return require(copied.error().issues == in_place.error().issues &&
                           copied.error().issues == checked->issues,
                       "every entry point reports the same issues");
    }
    const Json& out = copied.value();
    require(keys_sorted(payload) && keys_sorted(out), "object keys stay sorted and unique");
    Result<Json> again = validate_event_payload(type, out, std::nullopt);
    require(out == in_place.value() && again.ok() && again.value() == out,
            "in place or copied, a normalized payload validates to itself");
    if (type == EventType::EventCreated) return require(out == payload, "passed through as is");
    for (const JsonMember& m : *payload.if_object()) {
        const Json* kept = field(out, m.key.text());
        require(kNormalizedKeys.contains(m.key.text()) || (kept && *kept == m.value),
                "keys no rule names are kept unchanged");
    }
    if (type == EventType::MessageCreated || type == EventType::MessageUpdated) {
        require(kind(out, "attachments") == Json::Kind::Array &&
                    kind(*field(out, "metadata"), "mentions") == Json::Kind::Array,
                "a valid message always has its collections");
    }
    const Json::Kind retry_after = kind(out, "retry_after");
    require(type != EventType::Supersede ||
                (kind(out, "retryable") == Json::Kind::Bool &&
                 (retry_after == Json::Kind::Int || retry_after == Json::Kind::Null)),
            "a valid supersede has a flag and a whole retry-after or none");
}

void check_routing(EventType type, std::string_view name, const Json& payload,
                   const std::optional<TextRef>& envelope, std::string_view agent) {
    JsonDocument reader = JsonDocument::reader();
    Result<EventDecision> routed =
        evaluate_delivery_event(TextRef{name}, envelope, reader, &payload, agent, kTrace);
    using Kind = EventDecision::Kind;
    const bool cleanup = type == EventType::RoomRemoved || type == EventType::RoomDeleted;
    if (name != enum_text(type) || (type != EventType::MessageCreated && !cleanup)) {
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

}  // namespace vorn::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace vorn;
    fuzz::ByteReader in(data, size);
    const auto type = static_cast<EventType>(static_cast<std::uint8_t>(in.byte() - 'A') %
                                             enum_members<EventType>().size());
    const std::uint8_t choices = in.byte();
    const auto text = std::string_view(reinterpret_cast<const char*>(data), size);
    const std::optional<Json> payload = fuzz::json_text::read(text.substr(std::min(size, 2ul)));
    if (!payload) return -1;  // not JSON: keep it out of the corpus

    const std::array<std::optional<TextRef>, 4> envelopes = {std::nullopt, TextRef{""},
                                                             TextRef{"r1"}, TextRef{"r2"}};
    const std::string_view agent = (choices & 4) != 0 ? "a1" : "";
    const std::string name = std::string(enum_text(type)) + ((choices & 8) != 0 ? "!" : "");
    fuzz::check_validation(type, *payload);
    fuzz::check_routing(type, name, *payload, envelopes[choices % 4], agent);
    return 0;
}
