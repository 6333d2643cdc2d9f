#include "core/memory.hpp"

#include <algorithm>

namespace vorn {

namespace {

constexpr MemoryType kSensoryTypes[] = {MemoryType::Iconic, MemoryType::Echoic, MemoryType::Haptic};
constexpr MemoryType kRetainedTypes[] = {MemoryType::Episodic, MemoryType::Semantic,
                                         MemoryType::Procedural};

std::string joined_wire_names(std::span<const MemoryType> types) {
    std::string out;
    for (const MemoryType type : types) {
        if (!out.empty()) out += ", ";
        out += enum_text(type);
    }
    return out;
}

}  // namespace

std::span<const MemoryType> admitted_memory_types(MemorySystem system) {
    return system == MemorySystem::Sensory ? std::span<const MemoryType>(kSensoryTypes)
                                           : std::span<const MemoryType>(kRetainedTypes);
}

Result<std::monostate> validate_memory_type_for_system(std::string_view system,
                                                       std::string_view memory_type,
                                                       std::optional<std::string> trace_context) {
    const auto parsed_system = parse_enum<MemorySystem>(system);
    const auto parsed_type = parse_enum<MemoryType>(memory_type);
    Validation v;
    if (!parsed_system) {
        v.push("system", IssueCode::InvalidValue,
               "unknown memory system `" + std::string(system) + "`");
    }
    if (!parsed_type) {
        v.push("type", IssueCode::InvalidValue,
               "unknown memory type `" + std::string(memory_type) + "`");
    }
    if (parsed_system && parsed_type) {
        const auto admitted = admitted_memory_types(*parsed_system);
        if (std::find(admitted.begin(), admitted.end(), *parsed_type) == admitted.end()) {
            v.push("type", IssueCode::InvalidValue,
                   "type `" + std::string(memory_type) + "` is not valid for system `" +
                       std::string(system) + "`; expected one of: " + joined_wire_names(admitted));
        }
    }
    if (v.ok()) return std::monostate{};
    return std::move(v).into_error(std::move(trace_context));
}

}  // namespace vorn
