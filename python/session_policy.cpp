// SessionPolicy, classify_close and classify_upgrade: the Python face of the reconnect policy.
#include "python/session_policy.hpp"

#include <cmath>
#include <string>

#include "core/number_text.hpp"
#include "python/exports.hpp"
#include "python/time_arguments.hpp"
#include "python/toolkit/values.hpp"

namespace vorn::py {

namespace {

constexpr auto kPolicyCtor =
    function("SessionPolicy", "", arg("config"), arg("trace_context", "None"));
constexpr auto kDefault = function("default", "A recommended, not final, default.");
constexpr auto kClassifyClose =
    function("classify_close",
             "Classify a WebSocket close code. Returns `(terminal, delay_range_s)`.\n"
             "Raises `ValueError` if `close_code` is not an integer in `0..=65535`.",
             arg("close_code"));
constexpr auto kClassifyUpgrade =
    function("classify_upgrade",
             "Classify an HTTP upgrade-rejection status code. Returns\n"
             "`(terminal, delay_range_s)`. Raises `ValueError` if `status` is not an\n"
             "integer in `0..=65535`.",
             arg("status"));

// "SessionPolicy config `{key}`{complaint}" as TypeError.
[[noreturn]] void raise_config_type_error(const char* key, std::string_view complaint) {
    std::string m = "SessionPolicy config `";
    m.append(key).append("`").append(complaint);
    raise_type_error(m);
}

// `config[key]` as a double; a failed lookup of any kind reads as a missing key.
double config_number(PyObject* config, const char* key) {
    Ref value = Ref::steal(PyMapping_GetItemString(config, key));
    if (!value) {
        PyErr_Clear();
        raise_type_error(std::string("SessionPolicy config is missing `") + key + "`");
    }
    if (PyBool_Check(value.get())) raise_config_type_error(key, " must be a number, not bool");
    const double number = PyFloat_AsDouble(value.get());
    if (number == -1.0 && PyErr_Occurred()) {
        PyErr_Clear();
        raise_config_type_error(key, " must be a number");
    }
    return number;
}

Duration config_duration(PyObject* config, const char* key) {
    return duration_from_seconds(key, config_number(config, key));
}

std::uint32_t config_threshold(PyObject* config) {
    const double number = config_number(config, "rapid_threshold");
    if (!(std::isfinite(number) && std::trunc(number) == number && number >= 0 &&
          number <= 4294967295.0)) {
        raise_value_error(
            "SessionPolicy config `rapid_threshold` must be a whole number between 0 and "
            "4294967295, got " +
            number_text(number));
    }
    return static_cast<std::uint32_t>(number);
}

SessionPolicy construct_policy(const Arguments& args, PyObject*&) {
    const auto trace_context = args.get<std::optional<std::string>>(1);
    PyObject* config = args[0];
    SessionPolicySettings s;
    // One key at a time, in this order; the first failure ends the reading.
    s.base_delay = config_duration(config, "base_delay_s");
    s.factor = config_number(config, "factor");
    s.max_delay = config_duration(config, "max_delay_s");
    s.stable_reset = config_duration(config, "stable_reset_s");
    s.rapid_disconnect_uptime = config_duration(config, "rapid_disconnect_uptime_s");
    s.rapid_window = config_duration(config, "rapid_window_s");
    s.rapid_first_min_delay = config_duration(config, "rapid_first_min_delay_s");
    s.rapid_second_min_delay = config_duration(config, "rapid_second_min_delay_s");
    s.rapid_cooldown_base = config_duration(config, "rapid_cooldown_base_s");
    s.rapid_cooldown_step = config_duration(config, "rapid_cooldown_step_s");
    s.rapid_cooldown_max = config_duration(config, "rapid_cooldown_max_s");
    s.rapid_threshold = config_threshold(config);
    s.heartbeat_interval = config_duration(config, "heartbeat_interval_s");
    s.dead_threshold = config_duration(config, "dead_threshold_s");
    Result<SessionPolicy> policy = SessionPolicy::create(s, trace_context);
    if (!policy) core_error_to_py(std::move(policy.error()));
    return std::move(policy.value());
}

Ref default_policy(PyObject*, const Arguments&) {
    return wrap(session_policy_spec(), SessionPolicy::defaults());
}

Ref heartbeat_interval_s(PyObject* self) {
    return make_float(instance<SessionPolicy>(self).value->settings().heartbeat_interval.seconds());
}

Ref dead_threshold_s(PyObject* self) {
    return make_float(instance<SessionPolicy>(self).value->settings().dead_threshold.seconds());
}

Ref classification_to_py(const Classification& c) {
    Ref range = c.delay_range ? make_pair(make_float(c.delay_range->lower.seconds()),
                                          make_float(c.delay_range->upper.seconds()))
                              : none();
    return make_pair(make_bool(c.terminal), range);
}

Ref classify_close_py(PyObject*, const Arguments& args) {
    const auto code = args.get<std::optional<std::int64_t>>(0);
    std::optional<std::uint16_t> close_code;
    if (code) close_code = checked_u16("close_code", *code);
    return classification_to_py(classify_close(close_code));
}

Ref classify_upgrade_py(PyObject*, const Arguments& args) {
    const auto status = checked_u16("status", args.get<std::int64_t>(0));
    return classification_to_py(classify_upgrade(status));
}

PyMethodDef policy_methods[] = {method_def<kDefault, default_policy>(METH_STATIC),
                                {nullptr, nullptr, 0, nullptr}};
PyGetSetDef policy_getset[] = {property_def<heartbeat_interval_s>("heartbeat_interval_s"),
                               property_def<dead_threshold_s>("dead_threshold_s"),
                               {nullptr, nullptr, nullptr, nullptr, nullptr}};

}  // namespace

ClassSpec<SessionPolicy>& session_policy_spec() {
    static ClassSpec<SessionPolicy> definition{
        "SessionPolicy",
        kPolicyCtor,
        construct_policy,
        policy_methods,
        policy_getset,
        "Reconnect backoff/jitter policy, plus the graduated rapid-disconnect\ncooldown ladder."};
    return definition;
}

Ref export_session_policy() {
    return Ref::borrow(type_object(session_policy_spec()));
}

Ref export_classify_close() {
    return new_function<kClassifyClose, classify_close_py>();
}

Ref export_classify_upgrade() {
    return new_function<kClassifyUpgrade, classify_upgrade_py>();
}

}  // namespace vorn::py
