// The module object: multi-phase initialisation with one exec slot that registers every class and
// then every function, in the fixed order of the table below, each also listed in __all__, and
// then the package version as __version__.
#include "python/enumerations.hpp"
#include "python/exports.hpp"
#include "python/toolkit/errors.hpp"

namespace vorn::py {

namespace {

struct Export {
    const char* name;
    Ref (*make)();
};

template <class E>
Ref enum_export() {
    return Ref::borrow(enum_class<E>());
}

// The 33 classes, then the 15 functions.
constexpr Export kExports[] = {
    {"AgentFailure", export_agent_failure},
    {"AgentTopicKind", enum_export<AgentTopicKind>},
    {"AgentTopicStatus", enum_export<AgentTopicStatus>},
    {"CancelledDecisions", export_cancelled_decisions},
    {"ClaimOutcome", enum_export<ClaimOutcome>},
    {"ClaimRegistry", export_claim_registry},
    {"DeadReason", enum_export<DeadReason>},
    {"DecisionRegistry", export_decision_registry},
    {"EventType", enum_export<EventType>},
    {"LeaveOutcome", enum_export<LeaveOutcome>},
    {"MemoryListScope", enum_export<MemoryListScope>},
    {"MemorySegment", enum_export<MemorySegment>},
    {"MemoryStatus", enum_export<MemoryStatus>},
    {"MemoryStoreScope", enum_export<MemoryStoreScope>},
    {"MemorySystem", enum_export<MemorySystem>},
    {"MemoryType", enum_export<MemoryType>},
    {"ParkedReason", enum_export<ParkedReason>},
    {"ParticipantRoster", export_participant_roster},
    {"RetryTracker", export_retry_tracker},
    {"RoomMembership", enum_export<RoomMembership>},
    {"RoomReconciliation", export_room_reconciliation},
    {"RoomRoster", export_room_roster},
    {"RoomStatus", enum_export<RoomStatus>},
    {"RoomSubscribeResult", enum_export<RoomSubscribeResult>},
    {"Session", export_session},
    {"SessionOutcome", export_session_outcome},
    {"SessionPolicy", export_session_policy},
    {"SessionState", enum_export<SessionState>},
    {"StaleReason", enum_export<StaleReason>},
    {"SubscriptionTracker", export_subscription_tracker},
    {"TurnEffect", enum_export<TurnEffect>},
    {"TurnLedger", export_turn_ledger},
    {"TurnVerdict", enum_export<TurnVerdict>},
    {"vorn_tool_effects", export_vorn_tool_effects},
    {"chat_room_topic", export_chat_room_topic},
    {"classify_close", export_classify_close},
    {"classify_upgrade", export_classify_upgrade},
    {"evaluate_adapter_result", export_evaluate_adapter_result},
    {"evaluate_delivery_event", export_evaluate_delivery_event},
    {"evaluate_drain_candidate", export_evaluate_drain_candidate},
    {"evaluate_next_message", export_evaluate_next_message},
    {"is_authorized_sender", export_is_authorized_sender},
    {"is_self_echo", export_is_self_echo},
    {"missing_reply_message", export_missing_reply_message},
    {"no_reply_tool", export_no_reply_tool},
    {"room_participants_topic", export_room_participants_topic},
    {"validate_event_payload", export_validate_event_payload},
    {"validate_memory_type_for_system", export_validate_memory_type_for_system},
};

void add_export(PyObject* module, const Export& e) {
    Ref value = e.make();
    check_status(PyModule_AddObjectRef(module, e.name, value.get()));
    Ref all = Ref::steal(PyObject_GetAttrString(module, "__all__"));
    if (!all) {
        PyErr_Clear();
        all = Ref::check(PyList_New(0));
        check_status(PyObject_SetAttrString(module, "__all__", all.get()));
    }
    Ref name = Ref::check(PyUnicode_FromString(e.name));
    check_status(PyList_Append(all.get(), name.get()));
}

int exec_module(PyObject* module) {
    PyObject* ok = guarded([&]() -> PyObject* {
        if (!PyModule_Check(module))
            raise_type_error("vorn_sdk_core: exec expects a module object");
        // Type objects, cached members and constant strings are shared process-wide; an object of
        // one interpreter must never reach another, so only the main interpreter (id 0) loads us.
        if (PyInterpreterState_GetID(PyInterpreterState_Get()) != 0) {
            raise(PyExc_ImportError,
                  "vorn_sdk_core: sub-interpreters are not supported; import it in the main "
                  "interpreter");
        }
        for (const Export& e : kExports) add_export(module, e);
        // A dunder, so the public names stay exactly the exported ones.
        check_status(PyModule_AddStringConstant(module, "__version__", VORN_VERSION));
        return Py_NewRef(Py_None);
    });
    if (!ok) return -1;
    Py_DECREF(ok);
    return 0;
}

PyModuleDef_Slot kSlots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(&exec_module)},
    {0, nullptr},
};

PyModuleDef kModule = {
    PyModuleDef_HEAD_INIT, "vorn_sdk_core", "", 0, nullptr, kSlots, nullptr, nullptr, nullptr};

}  // namespace

}  // namespace vorn::py

extern "C" __attribute__((visibility("default"))) PyObject* PyInit_vorn_sdk_core() {
    return PyModuleDef_Init(&vorn::py::kModule);
}
