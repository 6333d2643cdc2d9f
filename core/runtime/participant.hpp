// The passive participant roster of a room: entries fed one at a time or replaced from an
// authoritative snapshot, merged so that an incoming entry never erases or blanks a known field,
// and a record of the last list the host sent, for change detection. Entries are kept in a plain
// ordered list: rooms hold few participants, and order is part of what the host compares.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "core/error.hpp"
#include "core/json.hpp"

namespace vorn {

struct Participant {
    std::string id;
    // Absent and empty differ for change detection; an empty value carries nothing when merging.
    std::optional<std::string> name;
    std::optional<std::string> type;
    std::optional<std::string> handle;
    std::optional<std::string> description;

    friend bool operator==(const Participant&, const Participant&) = default;
};

// Reads a participant from its JSON form: an object with a string `id` and, for each optional
// field, a string, null or nothing; other keys are ignored. On failure, the reason as the message
// the caller reports.
std::variant<Participant, std::string> participant_from_json(const Json& value);

// `incoming` over `existing`: each optional field of `incoming` wins when present and not empty.
Participant merge_participant(const Participant& existing, Participant incoming);

class ParticipantRoster {
  public:
    // True when the id was new (appended), false when an entry was merged in place.
    bool add(Participant participant);
    bool remove(std::string_view participant_id);
    // Replaces the roster in snapshot order, merging over known entries. A snapshot that repeats
    // an id is refused whole, with one issue per repetition, and the roster stays as it was.
    Result<std::monostate> set_all(std::vector<Participant> snapshot,
                                   std::optional<std::string> trace_context);

    const std::vector<Participant>& list() const { return participants_; }
    // Positional comparison with the last sent list; true until the first `mark_sent`.
    bool changed() const { return !sent_ || *sent_ != participants_; }
    void mark_sent() { sent_ = participants_; }

  private:
    std::vector<Participant>::iterator find(std::string_view id);

    std::vector<Participant> participants_;
    std::optional<std::vector<Participant>> sent_;
};

}  // namespace vorn
