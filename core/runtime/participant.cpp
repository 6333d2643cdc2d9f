#include "core/runtime/participant.hpp"

#include <algorithm>
#include <array>
#include <unordered_map>
#include <unordered_set>

namespace vorn {

namespace {

using OptionalField = std::optional<std::string> Participant::*;

struct FieldDef {
    std::string_view key;
    OptionalField member;
};

// Read and merged in this order.
constexpr std::array<FieldDef, 4> kOptionalFields = {{
    {"name", &Participant::name},
    {"type", &Participant::type},
    {"handle", &Participant::handle},
    {"description", &Participant::description},
}};

}  // namespace

std::variant<Participant, std::string> participant_from_json(const Json& value) {
    const JsonObject* object = value.if_object();
    if (!object) return std::string("participant must be a mapping");
    const Json* id = object->find("id");
    const JsonString* id_text = id ? id->if_string() : nullptr;
    if (!id_text) return std::string("participant field `id` must be a string");
    Participant out;
    out.id.assign(id_text->text());
    for (const FieldDef& field : kOptionalFields) {
        const Json* v = object->find(field.key);
        if (!v || v->is_null()) continue;
        const JsonString* text = v->if_string();
        if (!text) {
            return "participant field `" + std::string(field.key) + "` must be a string or None";
        }
        (out.*field.member).emplace(text->text());
    }
    return out;
}

Participant merge_participant(const Participant& existing, Participant incoming) {
    for (const FieldDef& field : kOptionalFields) {
        auto& value = incoming.*field.member;
        if (!value || value->empty()) value = existing.*field.member;
    }
    return incoming;
}

std::vector<Participant>::iterator ParticipantRoster::find(std::string_view id) {
    return std::find_if(participants_.begin(), participants_.end(),
                        [&](const Participant& p) { return p.id == id; });
}

bool ParticipantRoster::add(Participant participant) {
    const auto it = find(participant.id);
    if (it != participants_.end()) {
        *it = merge_participant(*it, std::move(participant));
        return false;
    }
    participants_.push_back(std::move(participant));
    return true;
}

bool ParticipantRoster::remove(std::string_view participant_id) {
    return std::erase_if(participants_,
                         [&](const Participant& p) { return p.id == participant_id; }) > 0;
}

Result<std::monostate> ParticipantRoster::set_all(std::vector<Participant> snapshot,
                                                  std::optional<std::string> trace_context) {
    Validation v;
    std::unordered_set<std::string_view> seen;
    for (std::size_t i = 0; i < snapshot.size(); ++i) {
        const std::string& id = snapshot[i].id;
        if (seen.insert(id).second) continue;
        v.push("participants[" + std::to_string(i) + "].id", IssueCode::InvalidValue,
               "duplicate participant id `" + id + "` in set_all snapshot");
    }
    if (!v.ok()) return std::move(v).into_error(std::move(trace_context));

    // One pass over the old roster instead of a scan per snapshot item.
    std::unordered_map<std::string_view, const Participant*> known;
    for (const Participant& p : participants_) known.emplace(p.id, &p);
    for (Participant& p : snapshot) {
        if (const auto hit = known.find(p.id); hit != known.end()) {
            p = merge_participant(*hit->second, std::move(p));
        }
    }
    participants_ = std::move(snapshot);
    return std::monostate{};
}

}  // namespace vorn
