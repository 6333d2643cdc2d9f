// Session and SessionOutcome: the Python face of the session state machine. Every method takes
// its access to the session before converting any argument, converts all arguments, then checks
// them in parameter order before the session is looked at.
#include "core/runtime/session.hpp"

#include "python/enumerations.hpp"
#include "python/exports.hpp"
#include "python/session_policy.hpp"
#include "python/time_arguments.hpp"
#include "python/toolkit/values.hpp"

namespace vorn::py {

namespace {

constexpr auto kSessionCtor = function("Session", "", arg("policy"));
constexpr auto kBeginAttempt = method("begin_attempt", "", arg("now_s"));
constexpr auto kOnConnected = method("on_connected", "", arg("epoch"), arg("now_s"));
constexpr auto kOnSocketClose = method("on_socket_close", "", arg("epoch"), arg("now_s"),
                                       arg("close_code"), arg("jitter_sample"));
constexpr auto kOnUpgradeRejected =
    method("on_upgrade_rejected", "", arg("epoch"), arg("now_s"), arg("status"),
           arg("retry_after_s"), arg("jitter_sample"));
constexpr auto kOnSupersede = method("on_supersede", "", arg("now_s"), arg("retryable"),
                                     arg("retry_after_s"), arg("jitter_sample"));
constexpr auto kEnd = method("end", "");

ClassSpec<SessionOutcome>& outcome_spec();

Session construct_session(const Arguments& args, PyObject*&) {
    const SessionPolicy& policy = *args.convert(0, [](PyObject* obj) {
        auto* policy = instance_of(session_policy_spec(), obj);
        if (!policy) raise_wrong_argument_type("policy", "SessionPolicy", obj);
        return policy->value;
    });
    return Session(policy);
}

Session& session_of(PyObject* self) {
    return *instance<Session>(self).value;
}

BorrowFlag& flag_of(PyObject* self) {
    return instance<Session>(self).flag;
}

Ref outcome_to_py(const SessionOutcome& outcome) {
    return wrap(outcome_spec(), outcome);
}

std::optional<Duration> retry_after(const std::optional<double>& seconds) {
    if (!seconds) return std::nullopt;
    return duration_from_seconds("retry_after_s", *seconds);
}

Ref begin_attempt(PyObject* self, const Arguments& args) {
    ExclusiveAccess access(flag_of(self));
    const Elapsed now = elapsed_from_seconds(args.get<double>(0));
    const std::optional<std::uint64_t> epoch = session_of(self).begin_attempt(now);
    return epoch ? make_uint(*epoch) : none();
}

Ref on_connected(PyObject* self, const Arguments& args) {
    ExclusiveAccess access(flag_of(self));
    const auto epoch_arg = args.get<std::int64_t>(0);
    const auto now_arg = args.get<double>(1);
    const std::uint64_t epoch = checked_epoch(epoch_arg);
    const Elapsed now = elapsed_from_seconds(now_arg);
    return outcome_to_py(session_of(self).on_connected(epoch, now));
}

Ref on_socket_close(PyObject* self, const Arguments& args) {
    ExclusiveAccess access(flag_of(self));
    const auto epoch_arg = args.get<std::int64_t>(0);
    const auto now_arg = args.get<double>(1);
    const auto code_arg = args.get<std::optional<std::int64_t>>(2);
    const auto jitter_arg = args.get<double>(3);
    const std::uint64_t epoch = checked_epoch(epoch_arg);
    const Elapsed now = elapsed_from_seconds(now_arg);
    std::optional<std::uint16_t> close_code;
    if (code_arg) close_code = checked_u16("close_code", *code_arg);
    const JitterSample jitter = jitter_sample_in_unit_interval(jitter_arg);
    return outcome_to_py(session_of(self).on_socket_close(epoch, now, close_code, jitter));
}

Ref on_upgrade_rejected(PyObject* self, const Arguments& args) {
    ExclusiveAccess access(flag_of(self));
    const auto epoch_arg = args.get<std::int64_t>(0);
    const auto now_arg = args.get<double>(1);
    const auto status_arg = args.get<std::int64_t>(2);
    const auto retry_arg = args.get<std::optional<double>>(3);
    const auto jitter_arg = args.get<double>(4);
    const std::uint64_t epoch = checked_epoch(epoch_arg);
    const Elapsed now = elapsed_from_seconds(now_arg);
    const std::uint16_t status = checked_u16("status", status_arg);
    const std::optional<Duration> delay = retry_after(retry_arg);
    const JitterSample jitter = jitter_sample_in_unit_interval(jitter_arg);
    return outcome_to_py(session_of(self).on_upgrade_rejected(epoch, now, status, delay, jitter));
}

Ref on_supersede(PyObject* self, const Arguments& args) {
    ExclusiveAccess access(flag_of(self));
    const auto now_arg = args.get<double>(0);
    const auto retryable = args.get<bool>(1);
    const auto retry_arg = args.get<std::optional<double>>(2);
    const auto jitter_arg = args.get<double>(3);
    const Elapsed now = elapsed_from_seconds(now_arg);
    const std::optional<Duration> delay = retry_after(retry_arg);
    const JitterSample jitter = jitter_sample_in_unit_interval(jitter_arg);
    return outcome_to_py(session_of(self).on_supersede(now, retryable, delay, jitter));
}

Ref end(PyObject* self, const Arguments&) {
    ExclusiveAccess access(flag_of(self));
    return to_py(session_of(self).end());
}

Ref state(PyObject* self) {
    SharedAccess access(flag_of(self));
    return to_py(session_of(self).state());
}

template <class E>
Ref optional_member(const std::optional<E>& value) {
    return value ? to_py(*value) : none();
}

const SessionOutcome& outcome_of(PyObject* self) {
    return *instance<SessionOutcome>(self).value;
}

Ref outcome_state(PyObject* self) {
    return to_py(outcome_of(self).state());
}

Ref outcome_retry_after_s(PyObject* self) {
    const auto& delay = outcome_of(self).retry_after();
    return delay ? make_float(delay->seconds()) : none();
}

Ref outcome_dead_reason(PyObject* self) {
    return optional_member(outcome_of(self).dead_reason());
}

Ref outcome_stale_reason(PyObject* self) {
    return optional_member(outcome_of(self).stale_reason());
}

PyMethodDef session_methods[] = {method_def<kBeginAttempt, begin_attempt>(),
                                 method_def<kOnConnected, on_connected>(),
                                 method_def<kOnSocketClose, on_socket_close>(),
                                 method_def<kOnUpgradeRejected, on_upgrade_rejected>(),
                                 method_def<kOnSupersede, on_supersede>(),
                                 method_def<kEnd, end>(),
                                 {nullptr, nullptr, 0, nullptr}};
PyGetSetDef session_getset[] = {property_def<state>("state"),
                                {nullptr, nullptr, nullptr, nullptr, nullptr}};
PyGetSetDef outcome_getset[] = {property_def<outcome_state>("state"),
                                property_def<outcome_retry_after_s>("retry_after_s"),
                                property_def<outcome_dead_reason>("dead_reason"),
                                property_def<outcome_stale_reason>("stale_reason"),
                                {nullptr, nullptr, nullptr, nullptr, nullptr}};

ClassSpec<Session>& session_spec() {
    static ClassSpec<Session> definition{
        "Session",       kSessionCtor,   construct_session,
        session_methods, session_getset, "One WebSocket session's state machine."};
    return definition;
}

ClassSpec<SessionOutcome>& outcome_spec() {
    static ClassSpec<SessionOutcome> definition{
        "SessionOutcome", std::nullopt,
        nullptr,          {},
        outcome_getset,   "The settled outcome of one `Session` call."};
    return definition;
}

}  // namespace

Ref export_session() {
    return Ref::borrow(type_object(session_spec()));
}

Ref export_session_outcome() {
    return Ref::borrow(type_object(outcome_spec()));
}

}  // namespace vorn::py
