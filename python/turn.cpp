// TurnLedger and the tool catalogue functions: the Python face of turn accounting.
#include "core/turn.hpp"

#include "python/enumerations.hpp"
#include "python/exports.hpp"
#include "python/toolkit/access.hpp"
#include "python/toolkit/class_type.hpp"
#include "python/toolkit/keys.hpp"
#include "python/toolkit/values.hpp"

namespace vorn::py {

namespace {

// ---- TurnLedger

constexpr auto kLedgerCtor =
    function("TurnLedger",
             "One agent turn's progress toward a reply. `record` takes a `TurnEffect`\n"
             "only; any other value raises `TypeError`.");

TurnLedger construct_ledger(const Arguments&, PyObject*&) {
    return TurnLedger();
}

Instance<TurnLedger>& ledger(PyObject* self) {
    return instance<TurnLedger>(self);
}

constexpr auto kRecord = method("record", "", arg("effect"));
Ref record(PyObject* self, const Arguments& args) {
    ExclusiveAccess access(ledger(self).flag);
    ledger(self).value->record(args.get<TurnEffect>(0));
    return none();
}

constexpr auto kSettle = method("settle", "");
Ref settle(PyObject* self, const Arguments&) {
    ExclusiveAccess access(ledger(self).flag);
    ledger(self).value->settle();
    return none();
}

constexpr auto kNoteReported = method("note_reported", "");
Ref note_reported(PyObject* self, const Arguments&) {
    ExclusiveAccess access(ledger(self).flag);
    ledger(self).value->note_reported();
    return none();
}

constexpr auto kReplySettled = method("reply_settled", "");
Ref reply_settled(PyObject* self, const Arguments&) {
    SharedAccess access(ledger(self).flag);
    return make_bool(ledger(self).value->reply_settled());
}

constexpr auto kVerdict = method("verdict", "");
Ref verdict(PyObject* self, const Arguments&) {
    SharedAccess access(ledger(self).flag);
    return to_py(ledger(self).value->verdict());
}

PyMethodDef ledger_methods[] = {method_def<kRecord, record>(),
                                method_def<kSettle, settle>(),
                                method_def<kNoteReported, note_reported>(),
                                method_def<kReplySettled, reply_settled>(),
                                method_def<kVerdict, verdict>(),
                                {nullptr, nullptr, 0, nullptr}};

ClassSpec<TurnLedger>& ledger_spec() {
    static ClassSpec<TurnLedger> definition{"TurnLedger",   kLedgerCtor, construct_ledger,
                                            ledger_methods, {},          kLedgerCtor.doc};
    return definition;
}

// ---- Catalogue

constexpr auto kVornToolEffects =
    function("vorn_tool_effects", "Every Vorn tool's canonical name and its `TurnEffect`.");
Ref vorn_tool_effects(PyObject*, const Arguments&) {
    Ref effects = new_dict();
    for (const VornTool& tool : vorn_tools()) {
        Ref name = make_str(tool.name);
        set_item(effects, name.get(), to_py(tool.effect));
    }
    return effects;
}

Ref parameter_dict(const ToolParameterSpec& parameter) {
    Ref d = new_dict();
    set_item(d, key<"name">(), make_str(parameter.name));
    set_item(d, key<"description">(), make_str(parameter.description));
    set_item(d, key<"required">(), make_bool(parameter.required));
    return d;
}

Ref tool_dict(const ToolSpec& tool) {
    Ref parameters = make_list(tool.parameters, parameter_dict);
    Ref d = new_dict();
    set_item(d, key<"name">(), make_str(tool.name));
    set_item(d, key<"description">(), make_str(tool.description));
    set_item(d, key<"parameters">(), parameters);
    return d;
}

constexpr auto kNoReplyTool =
    function("no_reply_tool", "`vorn_no_reply`'s definition as a `ToolSpec` dict.");
Ref no_reply_tool_impl(PyObject*, const Arguments&) {
    return tool_dict(no_reply_tool());
}

constexpr auto kMissingReplyMessage =
    function("missing_reply_message", "The text shown to the room on `TurnVerdict.MissingReply`.");
Ref missing_reply_message_impl(PyObject*, const Arguments&) {
    return make_str(missing_reply_message());
}

}  // namespace

Ref export_turn_ledger() {
    return Ref::borrow(type_object(ledger_spec()));
}

Ref export_vorn_tool_effects() {
    return new_function<kVornToolEffects, vorn_tool_effects>();
}

Ref export_no_reply_tool() {
    return new_function<kNoReplyTool, no_reply_tool_impl>();
}

Ref export_missing_reply_message() {
    return new_function<kMissingReplyMessage, missing_reply_message_impl>();
}

}  // namespace vorn::py
