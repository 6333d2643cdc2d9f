// RetryTracker and ClaimRegistry: the Python face of the inbound delivery ledger. Every method
// takes its access on the object before converting an argument; a registry method that is given a
// tracker then takes the tracker's access as well, shared to read it, exclusive to change it.
#include <limits>
#include <string>

#include "core/runtime/claims.hpp"
#include "core/runtime/retry.hpp"
#include "python/enumerations.hpp"
#include "python/exports.hpp"
#include "python/toolkit/class_type.hpp"
#include "python/toolkit/keys.hpp"
#include "python/toolkit/values.hpp"

namespace vorn::py {

namespace {

constexpr std::uint64_t kU32Max = std::numeric_limits<std::uint32_t>::max();

template <Literal L>
Ref text() {
    return Ref::borrow(key<L>());
}

// An optional bound of the constructor, range-checked as a signed value so that "-1" reads back.
std::uint32_t bound_arg(const Arguments& args, std::size_t i, std::uint64_t min,
                        std::uint32_t fallback) {
    if (!args.given(i)) return fallback;
    return static_cast<std::uint32_t>(
        checked_int(args.name(i), args.get<std::int64_t>(i), min, kU32Max));
}

// A read-only limit of a mutable object, read under shared access.
template <class T, auto Read>
Ref shared_uint(PyObject* self) {
    auto& obj = instance<T>(self);
    SharedAccess access(obj.flag);
    return make_uint(((*obj.value).*Read)());
}

// ---- RetryTracker

constexpr auto kTrackerCtor =
    function("RetryTracker", "", arg("max_retries", "..."), arg("max_tracked", "..."));
constexpr auto kRecordAttempt = method("record_attempt", "", arg("message_id"));
constexpr auto kMarkSuccess = method("mark_success", "", arg("message_id"));
constexpr auto kDiscardAttempt = method("discard_attempt", "", arg("message_id"));
constexpr auto kIsPermanentlyFailed = method("is_permanently_failed", "", arg("message_id"));
constexpr auto kMarkPermanentlyFailed = method("mark_permanently_failed", "", arg("message_id"));

ClassSpec<RetryTracker>& tracker_spec();

RetryTracker construct_tracker(const Arguments& args, PyObject*&) {
    const std::uint32_t max_retries = bound_arg(args, 0, 0, RetryTracker::kDefaultMaxRetries);
    const std::uint32_t max_tracked = bound_arg(args, 1, 1, RetryTracker::kDefaultMaxTracked);
    return RetryTracker(max_retries, max_tracked);
}

// The answers of a message's first attempts are created once and handed out again: tuples are
// immutable, and few messages get further.
Ref attempt_outcome(const AttemptOutcome& outcome) {
    constexpr std::uint32_t kShared = 8;
    if (outcome.attempts >= kShared) {
        return make_pair(make_uint(outcome.attempts), make_bool(outcome.exhausted));
    }
    static PyObject* shared[kShared][2] = {};
    PyObject*& answer = shared[outcome.attempts][outcome.exhausted ? 1 : 0];
    if (!answer)
        answer = make_pair(make_uint(outcome.attempts), make_bool(outcome.exhausted)).release();
    return Ref::borrow(answer);
}

Ref record_attempt(PyObject* self, const Arguments& args) {
    auto& obj = instance<RetryTracker>(self);
    ExclusiveAccess access(obj.flag);
    return attempt_outcome(obj.value->record_attempt(args.get<HashedText>(0)));
}

// A tracker method that changes the id's state and returns nothing.
template <void (RetryTracker::*Change)(const HashedText&)>
Ref change_tracker(PyObject* self, const Arguments& args) {
    auto& obj = instance<RetryTracker>(self);
    ExclusiveAccess access(obj.flag);
    ((*obj.value).*Change)(args.get<HashedText>(0));
    return none();
}

Ref is_permanently_failed(PyObject* self, const Arguments& args) {
    auto& obj = instance<RetryTracker>(self);
    SharedAccess access(obj.flag);
    return make_bool(obj.value->is_permanently_failed(args.get<HashedText>(0)));
}

PyMethodDef tracker_methods[] = {
    method_def<kRecordAttempt, record_attempt>(),
    method_def<kMarkSuccess, change_tracker<&RetryTracker::mark_success>>(),
    method_def<kDiscardAttempt, change_tracker<&RetryTracker::discard_attempt>>(),
    method_def<kIsPermanentlyFailed, is_permanently_failed>(),
    method_def<kMarkPermanentlyFailed, change_tracker<&RetryTracker::mark_permanently_failed>>(),
    {nullptr, nullptr, 0, nullptr}};

PyGetSetDef tracker_getset[] = {
    property_def<shared_uint<RetryTracker, &RetryTracker::max_retries>>("max_retries"),
    {nullptr, nullptr, nullptr, nullptr, nullptr}};

ClassSpec<RetryTracker>& tracker_spec() {
    static ClassSpec<RetryTracker> definition{
        "RetryTracker",
        kTrackerCtor,
        construct_tracker,
        tracker_methods,
        tracker_getset,
        "Per-message retry budget: bounded attempt/failure tracking plus\n"
        "`discard_attempt` for a cycle the caller's own control signal aborted\n"
        "before it ran the handler."};
    return definition;
}

// The tracker argument at `i`, under the parameter's "while processing" note.
Instance<RetryTracker>& tracker_arg(const Arguments& args, std::size_t i) {
    return *args.convert(i, [&](PyObject* obj) {
        auto* tracker = instance_of(tracker_spec(), obj);
        if (!tracker) raise_wrong_argument_type(args.name(i), "RetryTracker", obj);
        return tracker;
    });
}

// ---- ClaimRegistry: claims, completion, eligibility

struct KeyArgs {
    HashedText room_id;
    HashedText message_id;
};

KeyArgs key_args(const Arguments& args) {
    return {args.get<HashedText>(0), args.get<HashedText>(1)};
}

struct FactField {
    std::string_view name;
    bool DeliveryFacts::*field;
};
constexpr FactField kFactFields[] = {
    {"self_echo", &DeliveryFacts::self_echo},
    {"durably_processed", &DeliveryFacts::durably_processed},
    {"durably_failed", &DeliveryFacts::durably_failed},
    {"allow_failed_retry", &DeliveryFacts::allow_failed_retry},
};

// Every value is checked before any name, so a wrong value wins over a wrong name.
DeliveryFacts facts_arg(const Arguments& args) {
    const auto& keywords = args.collected_keywords();
    for (const auto& kw : keywords) {
        if (!PyBool_Check(kw.value)) raise_type_error("delivery facts must be bool values");
    }
    DeliveryFacts facts;
    for (const auto& kw : keywords) {
        const std::string_view name = utf8_view(kw.name);
        const FactField* field = std::find_if(std::begin(kFactFields), std::end(kFactFields),
                                              [&](const FactField& f) { return f.name == name; });
        if (field == std::end(kFactFields)) {
            raise_type_error("unknown field `" + std::string(name) +
                             "`, expected one of `self_echo`, `durably_processed`, "
                             "`durably_failed`, `allow_failed_retry`");
        }
        facts.*(field->field) = kw.value == Py_True;
    }
    return facts;
}

Ref eligibility_py(DeliveryEligibility e) {
    switch (e) {
        case DeliveryEligibility::Self:
            return text<"self">();
        case DeliveryEligibility::Completed:
            return text<"completed">();
        case DeliveryEligibility::Pending:
            return text<"pending">();
        case DeliveryEligibility::Inflight:
            return text<"inflight">();
        case DeliveryEligibility::Exhausted:
            return text<"exhausted">();
        case DeliveryEligibility::Failed:
            return text<"failed">();
        case DeliveryEligibility::Runnable:
            break;
    }
    return text<"runnable">();
}

constexpr auto kRegistryCtor = function("ClaimRegistry", "", arg("max_completed", "..."));
constexpr auto kTryClaim = method("try_claim", "", arg("room_id"), arg("message_id"));
constexpr auto kRelease = method("release", "", arg("room_id"), arg("message_id"));
constexpr auto kInflightIds = method("inflight_ids", "", arg("room_id"));
constexpr auto kIsCompleted = method("is_completed", "", arg("room_id"), arg("message_id"));
constexpr auto kRememberCompleted =
    method("remember_completed", "", arg("room_id"), arg("message_id"));
constexpr auto kCompletedIds = method("completed_ids", "", arg("room_id"));
constexpr auto kDiscardCompleted = method("discard_completed", "", arg("room_id"));
constexpr auto kIsAckPending = method("is_ack_pending", "", arg("room_id"), arg("message_id"));
constexpr auto kDeliveryEligibility = collecting_keywords(
    method("delivery_eligibility", "", arg("room_id"), arg("message_id"), arg("retry_tracker"),
           kwarg("self_echo", "False"), kwarg("durably_processed", "False"),
           kwarg("durably_failed", "False"), kwarg("allow_failed_retry", "True")));
constexpr auto kGuardedClaim = collecting_keywords(
    method("guarded_claim", "", arg("room_id"), arg("message_id"), arg("retry_tracker"),
           kwarg("self_echo", "False"), kwarg("durably_processed", "False"),
           kwarg("durably_failed", "False"), kwarg("allow_failed_retry", "True")));

ClaimRegistry construct_registry(const Arguments& args, PyObject*&) {
    return ClaimRegistry(bound_arg(args, 0, 1, ClaimRegistry::kDefaultMaxCompleted));
}

// A registry method of one message key; Access is the registry access it takes.
template <class Access, class F>
Ref on_key(PyObject* self, const Arguments& args, F&& body) {
    auto& obj = instance<ClaimRegistry>(self);
    Access access(obj.flag);
    const KeyArgs key = key_args(args);
    return body(*obj.value, key);
}

// A registry method of one room.
template <class Access, class F>
Ref on_room(PyObject* self, const Arguments& args, F&& body) {
    auto& obj = instance<ClaimRegistry>(self);
    Access access(obj.flag);
    return body(*obj.value, args.get<HashedText>(0));
}

Ref try_claim(PyObject* self, const Arguments& args) {
    return on_key<ExclusiveAccess>(self, args, [](ClaimRegistry& r, const KeyArgs& k) {
        return make_bool(r.try_claim(k.room_id, k.message_id));
    });
}

Ref release(PyObject* self, const Arguments& args) {
    return on_key<ExclusiveAccess>(self, args, [](ClaimRegistry& r, const KeyArgs& k) {
        r.release(k.room_id, k.message_id);
        return none();
    });
}

Ref inflight_ids(PyObject* self, const Arguments& args) {
    return on_room<SharedAccess>(self, args, [](const ClaimRegistry& r, const HashedText& room) {
        return make_str_list(r.inflight_ids(room));
    });
}

Ref is_completed(PyObject* self, const Arguments& args) {
    return on_key<ExclusiveAccess>(self, args, [](ClaimRegistry& r, const KeyArgs& k) {
        return make_bool(r.is_completed(k.room_id, k.message_id));
    });
}

Ref remember_completed(PyObject* self, const Arguments& args) {
    return on_key<ExclusiveAccess>(self, args, [](ClaimRegistry& r, const KeyArgs& k) {
        r.remember_completed(k.room_id, k.message_id);
        return none();
    });
}

Ref completed_ids(PyObject* self, const Arguments& args) {
    return on_room<SharedAccess>(self, args, [](const ClaimRegistry& r, const HashedText& room) {
        return make_list_of(r.completed_count(room), [&](auto add) {
            r.for_each_completed(room, [&](std::string_view id) { add(make_str(id)); });
        });
    });
}

Ref discard_completed(PyObject* self, const Arguments& args) {
    return on_room<ExclusiveAccess>(self, args, [](ClaimRegistry& r, const HashedText& room) {
        r.discard_completed(room);
        return none();
    });
}

Ref is_ack_pending(PyObject* self, const Arguments& args) {
    return on_key<SharedAccess>(self, args, [](const ClaimRegistry& r, const KeyArgs& k) {
        return make_bool(r.is_ack_pending(k.room_id, k.message_id));
    });
}

template <DeliveryEligibility (ClaimRegistry::*Decide)(const HashedText&, const HashedText&,
                                                       const RetryTracker&, const DeliveryFacts&)>
Ref eligibility(PyObject* self, const Arguments& args) {
    return on_key<ExclusiveAccess>(self, args, [&](ClaimRegistry& r, const KeyArgs& k) {
        auto& tracker = tracker_arg(args, 2);
        SharedAccess tracker_access(tracker.flag);
        const DeliveryFacts facts = facts_arg(args);
        return eligibility_py((r.*Decide)(k.room_id, k.message_id, *tracker.value, facts));
    });
}

// ---- ClaimRegistry: acknowledgements and settlements

constexpr auto kRememberAckPending =
    method("remember_ack_pending", "", arg("room_id"), arg("message_id"));
constexpr auto kRememberFailedAckPending =
    method("remember_failed_ack_pending",
           "Record a failed turn awaiting a durable failed write carrying `error`.\n"
           "Raises `ValueError` if a different intent is already pending.",
           arg("room_id"), arg("message_id"), arg("error"), arg("trace_context", "None"));
constexpr auto kPendingAck =
    method("pending_ack",
           "The pending entry as `{\"status\": \"processed\" | \"failed\", \"error\"?:\n"
           "str, \"parked\": \"not_found\" | \"rejected\" | None}`, or `None`.",
           arg("room_id"), arg("message_id"));
constexpr auto kParkAck = method("park_ack",
                                 "Mark a pending entry parked for `reason`; `False` when nothing "
                                 "is\npending for the message.",
                                 arg("room_id"), arg("message_id"), arg("reason"));
constexpr auto kUnparkAcks = method("unpark_acks", "", arg("room_id"));
constexpr auto kPendingAckIds = method("pending_ack_ids", "", arg("room_id"));
constexpr auto kRecordAckRetry = method("record_ack_retry", "", arg("room_id"), arg("message_id"));
constexpr auto kRecordProcessedSettlement =
    method("record_processed_settlement", "", arg("room_id"), arg("message_id"),
           arg("trace_context", "None"));
constexpr auto kRecordFailedSettlement =
    method("record_failed_settlement", "", arg("room_id"), arg("message_id"), arg("error"),
           arg("retry_tracker"), arg("allow_retry"), arg("trace_context", "None"));
constexpr auto kPendingSettlement = method("pending_settlement", "", arg("room_id"),
                                           arg("message_id"), arg("trace_context", "None"));
constexpr auto kConfirmSettlement = method("confirm_settlement", "", arg("room_id"),
                                           arg("message_id"), arg("token"), arg("retry_tracker"));
constexpr auto kParkSettlement =
    method("park_settlement", "", arg("room_id"), arg("message_id"), arg("token"), arg("reason"));
constexpr auto kHasRetryableSettlement = method("has_retryable_settlement", "", arg("room_id"));

// "status", "error" (failed only), "parked": the keys both pending views share, in their order.
void put_intent(const Ref& view, const PendingEntry& entry) {
    if (entry.intent.is_failed()) {
        set_item(view, key<"status">(), text<"failed">());
        set_item(view, key<"error">(), make_str(*entry.intent.error));
    } else {
        set_item(view, key<"status">(), text<"processed">());
    }
    Ref parked = none();
    if (entry.parked) {
        parked = *entry.parked == ParkedReason::NotFound ? text<"not_found">() : text<"rejected">();
    }
    set_item(view, key<"parked">(), parked);
}

Ref pending_ack_view(const PendingEntry& entry) {
    Ref view = new_dict();
    put_intent(view, entry);
    return view;
}

Ref continuation_view(const SettlementContinuation& continuation) {
    Ref view = new_dict();
    if (!continuation.is_retry()) {
        set_item(view, key<"kind">(), text<"finished">());
        return view;
    }
    set_item(view, key<"kind">(), text<"retry">());
    set_item(view, key<"attempts">(), make_uint(continuation.attempts));
    set_item(view, key<"max_retries">(), make_uint(continuation.max_retries));
    return view;
}

// Only for entries known to hold a token.
Ref settlement_view(const PendingEntry& entry) {
    Ref view = new_dict();
    set_item(view, key<"token">(), make_str(std::to_string(*entry.token)));
    put_intent(view, entry);
    set_item(view, key<"continuation">(), continuation_view(entry.continuation));
    return view;
}

Ref settlement_result(Result<const PendingEntry*> result) {
    if (!result) core_error_to_py(std::move(result.error()));
    return result.value() ? settlement_view(*result.value()) : none();
}

std::optional<std::string_view> trace_arg(const Arguments& args, std::size_t i) {
    return args.get<std::optional<std::string_view>>(i);
}

Ref remember_ack_pending(PyObject* self, const Arguments& args) {
    return on_key<ExclusiveAccess>(self, args, [](ClaimRegistry& r, const KeyArgs& k) {
        r.remember_ack_pending(k.room_id, k.message_id);
        return none();
    });
}

Ref remember_failed_ack_pending(PyObject* self, const Arguments& args) {
    return on_key<ExclusiveAccess>(self, args, [&](ClaimRegistry& r, const KeyArgs& k) {
        const auto error = args.get<std::string_view>(2);
        auto result =
            r.remember_failed_ack_pending(k.room_id, k.message_id, error, trace_arg(args, 3));
        if (!result) core_error_to_py(std::move(result.error()));
        return none();
    });
}

Ref pending_ack(PyObject* self, const Arguments& args) {
    return on_key<SharedAccess>(self, args, [](const ClaimRegistry& r, const KeyArgs& k) {
        const PendingEntry* entry = r.pending_ack(k.room_id, k.message_id);
        return entry ? pending_ack_view(*entry) : none();
    });
}

Ref park_ack(PyObject* self, const Arguments& args) {
    return on_key<ExclusiveAccess>(self, args, [&](ClaimRegistry& r, const KeyArgs& k) {
        const auto reason = args.get<ParkedReason>(2);
        return make_bool(r.park_ack(k.room_id, k.message_id, reason));
    });
}

Ref unpark_acks(PyObject* self, const Arguments& args) {
    return on_room<ExclusiveAccess>(self, args, [](ClaimRegistry& r, const HashedText& room) {
        return make_uint(r.unpark_acks(room));
    });
}

Ref pending_ack_ids(PyObject* self, const Arguments& args) {
    return on_room<SharedAccess>(self, args, [](const ClaimRegistry& r, const HashedText& room) {
        return make_str_list(r.pending_ack_ids(room));
    });
}

Ref record_ack_retry(PyObject* self, const Arguments& args) {
    return on_key<ExclusiveAccess>(self, args, [](ClaimRegistry& r, const KeyArgs& k) {
        return make_uint(r.record_ack_retry(k.room_id, k.message_id));
    });
}

Ref record_processed_settlement(PyObject* self, const Arguments& args) {
    return on_key<ExclusiveAccess>(self, args, [&](ClaimRegistry& r, const KeyArgs& k) {
        const auto trace = trace_arg(args, 2);
        return settlement_result(r.record_processed_settlement(k.room_id, k.message_id, trace));
    });
}

Ref record_failed_settlement(PyObject* self, const Arguments& args) {
    return on_key<ExclusiveAccess>(self, args, [&](ClaimRegistry& r, const KeyArgs& k) {
        const auto error = args.get<std::string_view>(2);
        auto& tracker = tracker_arg(args, 3);
        // Before `allow_retry` converts: a NumPy-style bool runs host code that may reach it.
        SharedAccess tracker_access(tracker.flag);
        const bool allow_retry = args.get<bool>(4);
        const auto trace = trace_arg(args, 5);
        return settlement_result(r.record_failed_settlement(k.room_id, k.message_id, error,
                                                            *tracker.value, allow_retry, trace));
    });
}

Ref pending_settlement(PyObject* self, const Arguments& args) {
    return on_key<SharedAccess>(self, args, [&](const ClaimRegistry& r, const KeyArgs& k) {
        const auto trace = trace_arg(args, 2);
        return settlement_result(r.pending_settlement(k.room_id, k.message_id, trace));
    });
}

Ref confirm_settlement(PyObject* self, const Arguments& args) {
    return on_key<ExclusiveAccess>(self, args, [&](ClaimRegistry& r, const KeyArgs& k) {
        const auto token = args.get<std::string_view>(2);
        auto& tracker = tracker_arg(args, 3);
        ExclusiveAccess tracker_access(tracker.flag);
        return make_bool(r.confirm_settlement(k.room_id, k.message_id, token, *tracker.value));
    });
}

Ref park_settlement(PyObject* self, const Arguments& args) {
    return on_key<ExclusiveAccess>(self, args, [&](ClaimRegistry& r, const KeyArgs& k) {
        const auto token = args.get<std::string_view>(2);
        const auto reason = args.get<ParkedReason>(3);
        return make_bool(r.park_settlement(k.room_id, k.message_id, token, reason));
    });
}

Ref has_retryable_settlement(PyObject* self, const Arguments& args) {
    return on_room<SharedAccess>(self, args, [](const ClaimRegistry& r, const HashedText& room) {
        return make_bool(r.has_retryable_settlement(room));
    });
}

PyMethodDef registry_methods[] = {
    method_def<kTryClaim, try_claim>(),
    method_def<kRelease, release>(),
    method_def<kInflightIds, inflight_ids>(),
    method_def<kIsCompleted, is_completed>(),
    method_def<kRememberCompleted, remember_completed>(),
    method_def<kCompletedIds, completed_ids>(),
    method_def<kDiscardCompleted, discard_completed>(),
    method_def<kIsAckPending, is_ack_pending>(),
    method_def<kDeliveryEligibility, eligibility<&ClaimRegistry::delivery_eligibility>>(),
    method_def<kGuardedClaim, eligibility<&ClaimRegistry::guarded_claim>>(),
    method_def<kRememberAckPending, remember_ack_pending>(),
    method_def<kRememberFailedAckPending, remember_failed_ack_pending>(),
    method_def<kPendingAck, pending_ack>(),
    method_def<kParkAck, park_ack>(),
    method_def<kUnparkAcks, unpark_acks>(),
    method_def<kPendingAckIds, pending_ack_ids>(),
    method_def<kRecordAckRetry, record_ack_retry>(),
    method_def<kRecordProcessedSettlement, record_processed_settlement>(),
    method_def<kRecordFailedSettlement, record_failed_settlement>(),
    method_def<kPendingSettlement, pending_settlement>(),
    method_def<kConfirmSettlement, confirm_settlement>(),
    method_def<kParkSettlement, park_settlement>(),
    method_def<kHasRetryableSettlement, has_retryable_settlement>(),
    {nullptr, nullptr, 0, nullptr}};

PyGetSetDef registry_getset[] = {
    property_def<shared_uint<ClaimRegistry, &ClaimRegistry::max_completed>>("max_completed"),
    {nullptr, nullptr, nullptr, nullptr, nullptr}};

ClassSpec<ClaimRegistry>& registry_spec() {
    static ClassSpec<ClaimRegistry> definition{
        "ClaimRegistry",
        kRegistryCtor,
        construct_registry,
        registry_methods,
        registry_getset,
        "Ownership ledger for the inbound message-delivery lifecycle: in-flight,\n"
        "ack-pending (a stored processed/failed intent, optionally parked), and\n"
        "completed states, each scoped by `(room_id, message_id)`."};
    return definition;
}

}  // namespace

Ref export_claim_registry() {
    return Ref::borrow(type_object(registry_spec()));
}

Ref export_retry_tracker() {
    return Ref::borrow(type_object(tracker_spec()));
}

}  // namespace vorn::py
