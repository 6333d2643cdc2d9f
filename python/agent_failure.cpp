// AgentFailure: one provider failure, immutable, with its dict and extension-data forms. `detail`
// is kept as a JSON value, so every read hands out fresh Python objects the caller may change.
#include "core/agent_failure.hpp"
#include "python/exports.hpp"
#include "python/toolkit/class_type.hpp"
#include "python/toolkit/json_convert.hpp"
#include "python/toolkit/keys.hpp"
#include "python/toolkit/values.hpp"

namespace vorn::py {

namespace {

constexpr auto kAgentFailureCtor = function("AgentFailure", "", arg("provider"), arg("message"),
                                            arg("code", "None"), arg("detail", "None"));
constexpr auto kToDict = method("to_dict", "The failure as a plain JSON-shaped dict.");
constexpr auto kToExtensionData =
    method("to_extension_data", "The canonical failure payload under Core's extension-data key.");

AgentFailure construct_agent_failure(const Arguments& args, PyObject*&) {
    AgentFailure f;
    f.provider = args.get<std::string>(0);
    f.message = args.get<std::string>(1);
    f.code = args.get<std::optional<std::string>>(2);
    f.detail = args.convert(3, optional_depythonize);
    return f;
}

Ref detail_to_py(const AgentFailure& f) {
    return f.detail ? json_to_py(*f.detail) : none();
}

// Keys in this order, not sorted: "code" comes before "message".
Ref failure_dict(const AgentFailure& f) {
    Ref d = new_dict();
    set_item(d, key<"provider">(), make_str(f.provider));
    set_item(d, key<"code">(), make_optional_str(f.code));
    set_item(d, key<"message">(), make_str(f.message));
    set_item(d, key<"detail">(), detail_to_py(f));
    return d;
}

Ref to_dict(PyObject* self, const Arguments&) {
    auto& obj = instance<AgentFailure>(self);
    SharedAccess access(obj.flag);
    return failure_dict(*obj.value);
}

Ref to_extension_data(PyObject* self, const Arguments&) {
    auto& obj = instance<AgentFailure>(self);
    SharedAccess access(obj.flag);
    Ref d = new_dict();
    set_item(d, make_str(kAgentFailureExtensionKey).get(), failure_dict(*obj.value));
    return d;
}

Ref provider_of(const AgentFailure& f) {
    return make_str(f.provider);
}
Ref message_of(const AgentFailure& f) {
    return make_str(f.message);
}
Ref code_of(const AgentFailure& f) {
    return make_optional_str(f.code);
}

PyMethodDef agent_failure_methods[] = {
    method_def<kToDict, to_dict>(),
    method_def<kToExtensionData, to_extension_data>(),
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef agent_failure_getset[] = {
    value_property<AgentFailure, provider_of>("provider"),
    value_property<AgentFailure, message_of>("message"),
    value_property<AgentFailure, code_of>("code"),
    value_property<AgentFailure, detail_to_py>("detail"),
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

ClassSpec<AgentFailure>& agent_failure_spec() {
    static ClassSpec<AgentFailure> definition{
        "AgentFailure",
        kAgentFailureCtor,
        construct_agent_failure,
        agent_failure_methods,
        agent_failure_getset,
        "One agent-provider failure, surfaced verbatim rather than classified."};
    return definition;
}

}  // namespace

Ref export_agent_failure() {
    return Ref::borrow(type_object(agent_failure_spec()));
}

}  // namespace vorn::py
