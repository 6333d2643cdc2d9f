// validate_memory_type_for_system: the Python face of the memory tier/type rule.
#include "core/memory.hpp"

#include "python/enumerations.hpp"
#include "python/exports.hpp"
#include "python/toolkit/callable.hpp"
#include "python/toolkit/values.hpp"

namespace vorn::py {

namespace {

constexpr auto kValidateMemoryType =
    function("validate_memory_type_for_system",
             "Validate that `memory_type` belongs to `system`'s allowed type set.\n\n"
             "`system`/`memory_type` each accept a wire-name string or the matching\n"
             "`MemorySystem`/`MemoryType` instance, mirroring\n"
             "`validate_event_payload`'s acceptance of either an event-name string or\n"
             "an `EventType`. On failure raises `ValueError` with `.issues` (a tuple\n"
             "of `(path, code, message)` triples) and `.trace_context`. An\n"
             "unrecognized `system` and an unrecognized `memory_type` are independent\n"
             "issues and both are reported when both strings are invalid.",
             arg("system"), arg("memory_type"), arg("trace_context", "None"));

Ref validate_memory_type(PyObject*, const Arguments& args) {
    const auto trace_context = args.get<std::optional<std::string_view>>(2);
    const auto system = member_or_wire_name<MemorySystem>(args, 0, "system must be a str");
    const auto type = member_or_wire_name<MemoryType>(args, 1, "memory_type must be a str");
    std::optional<std::string> trace;
    if (trace_context) trace.emplace(*trace_context);
    auto result = validate_memory_type_for_system(system, type, std::move(trace));
    if (!result) core_error_to_py(std::move(result.error()));
    return none();
}

}  // namespace

Ref export_validate_memory_type_for_system() {
    return new_function<kValidateMemoryType, validate_memory_type>();
}

}  // namespace vorn::py
