// Test-only module that gives the binding toolkit's pieces a Python face of their own: the scalar
// converters, the range checks, argument parsing with keyword-only parameters, and a process-wide
// access flag held while calling back into Python.
#include "python/toolkit/access.hpp"
#include "python/toolkit/callable.hpp"
#include "python/toolkit/class_type.hpp"
#include "python/toolkit/keys.hpp"
#include "python/toolkit/values.hpp"

namespace vorn::py {
namespace {

BorrowFlag probe_flag;

template <class T>
Ref echo(PyObject*, const Arguments& args) {
    const T value = args.get<T>(0);
    if constexpr (std::is_same_v<T, bool>) return make_bool(value);
    if constexpr (std::is_same_v<T, std::uint64_t>) return make_uint(value);
    if constexpr (std::is_same_v<T, std::int64_t>) return make_int(value);
    if constexpr (std::is_same_v<T, double>) return make_float(value);
    if constexpr (std::is_same_v<T, std::optional<std::string_view>>) {
        return value ? make_str(*value) : none();
    }
}

Ref ranged(PyObject*, const Arguments& args) {
    const auto lo = args.get<std::uint64_t>(1), hi = args.get<std::uint64_t>(2);
    return make_uint(checked_int("value", args.get<std::uint64_t>(0), lo, hi));
}

Ref port(PyObject*, const Arguments& args) {
    return make_uint(checked_u16("code", args.get<std::int64_t>(0)));
}

Ref pair(PyObject*, const Arguments& args) {
    Ref b = args.given(1) ? Ref::borrow(args[1]) : none();
    return Ref::check(PyTuple_Pack(2, args[0], b.get()));
}

template <class Access>
Ref call_holding(PyObject*, const Arguments& args) {
    Access access(probe_flag);
    return Ref::check(PyObject_CallNoArgs(args[0]));
}

Ref is_free(PyObject*, const Arguments&) {
    return make_bool(probe_flag.free());
}

// Keys in the order given, not sorted; the same key object on every call.
Ref record(PyObject*, const Arguments& args) {
    Ref d = new_dict();
    set_item(d, key<"zeta">(), make_int(args.get<std::int64_t>(0)));
    set_item(d, key<"alpha">(), none());
    return d;
}

constexpr auto kBool = function("take_bool", "", arg("flag"));
constexpr auto kU64 = function("take_u64", "", arg("count"));
constexpr auto kI64 = function("take_i64", "", arg("offset"));
constexpr auto kFloat = function("take_float", "", arg("seconds"));
constexpr auto kStr = function("take_str", "", arg("text", "None"));
constexpr auto kRanged = function("take_ranged", "", arg("value"), arg("lo"), arg("hi"));
constexpr auto kPort = function("take_u16", "", arg("code"));
constexpr auto kPair = function("take_pair", "Two values.", arg("a"), kwarg("b", "None"));
constexpr auto kShared = function("shared", "", arg("callback"));
constexpr auto kExclusive = function("exclusive", "", arg("callback"));
constexpr auto kFree = function("is_free", "");
constexpr auto kRecord = function("record", "", arg("n"));

// A class over a plain counter: construction with a held host object, shared and exclusive
// methods that call back into Python, a property, and a result class without a constructor.
struct Tally {
    std::int64_t count = 0;
};

constexpr auto kTallyCtor = function("Tally", "", arg("start", "0"), kwarg("keeper", "None"));
constexpr auto kBump = method("bump", "Add to the count.", arg("by", "1"), arg("callback", "None"));
constexpr auto kPeek = method("peek", "", arg("callback", "None"));
constexpr auto kFrozen = method("frozen", "");

ClassSpec<Tally>& tally_spec();
ClassSpec<std::int64_t>& frozen_spec();

Tally construct_tally(const Arguments& args, PyObject*& held) {
    Tally t{args.get_or<std::int64_t>(0, 0)};
    if (args.given(1) && args[1] != Py_None) held = Py_NewRef(args[1]);
    return t;
}

Ref maybe_call(const Arguments& args, std::size_t i) {
    return args.given(i) && args[i] != Py_None ? Ref::check(PyObject_CallNoArgs(args[i])) : none();
}

Ref bump(PyObject* self, const Arguments& args) {
    auto& obj = instance<Tally>(self);
    ExclusiveAccess access(obj.flag);
    const auto by = args.get_or<std::int64_t>(0, 1);  // converted after the guard is taken
    maybe_call(args, 1);
    obj.value->count += by;
    return make_int(obj.value->count);
}

Ref peek(PyObject* self, const Arguments& args) {
    auto& obj = instance<Tally>(self);
    SharedAccess access(obj.flag);
    Ref result = maybe_call(args, 0);
    return args.given(0) ? result : make_int(obj.value->count);
}

Ref frozen(PyObject* self, const Arguments&) {
    auto& obj = instance<Tally>(self);
    SharedAccess access(obj.flag);
    return wrap(frozen_spec(), obj.value->count);
}

PyObject* keeper(PyObject* self, void*) {
    PyObject* held = instance<Tally>(self).held;
    return Py_NewRef(held ? held : Py_None);
}

PyObject* frozen_value(PyObject* self, void*) {
    return PyLong_FromLongLong(*instance<std::int64_t>(self).value);
}

PyMethodDef tally_methods[] = {method_def<kBump, bump>(),
                               method_def<kPeek, peek>(),
                               method_def<kFrozen, frozen>(),
                               {nullptr, nullptr, 0, nullptr}};
PyGetSetDef tally_getset[] = {{"keeper", keeper, nullptr, nullptr, nullptr},
                              {nullptr, nullptr, nullptr, nullptr, nullptr}};
PyGetSetDef frozen_getset[] = {{"value", frozen_value, nullptr, nullptr, nullptr},
                               {nullptr, nullptr, nullptr, nullptr, nullptr}};

ClassSpec<Tally>& tally_spec() {
    static ClassSpec<Tally> definition{
        "Tally", kTallyCtor, construct_tally, tally_methods, tally_getset, "A counter.", true};
    return definition;
}

ClassSpec<std::int64_t>& frozen_spec() {
    static ClassSpec<std::int64_t> definition{"Frozen", std::nullopt,  nullptr,
                                              {},       frozen_getset, "A snapshot."};
    return definition;
}

int exec_probe(PyObject* module) {
    PyObject* type = type_object(tally_spec());
    return type ? PyModule_AddObjectRef(module, "Tally", type) : -1;
}

PyModuleDef_Slot probe_slots[] = {{Py_mod_exec, reinterpret_cast<void*>(&exec_probe)},
                                  {0, nullptr}};

PyMethodDef probe_methods[] = {
    method_def<kBool, echo<bool>>(),
    method_def<kU64, echo<std::uint64_t>>(),
    method_def<kI64, echo<std::int64_t>>(),
    method_def<kFloat, echo<double>>(),
    method_def<kStr, echo<std::optional<std::string_view>>>(),
    method_def<kRanged, ranged>(),
    method_def<kPort, port>(),
    method_def<kPair, pair>(),
    method_def<kShared, call_holding<SharedAccess>>(),
    method_def<kExclusive, call_holding<ExclusiveAccess>>(),
    method_def<kFree, is_free>(),
    method_def<kRecord, record>(),
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef probe_module = {PyModuleDef_HEAD_INIT,
                            "_vorn_toolkit_probe",
                            nullptr,
                            0,
                            probe_methods,
                            probe_slots,
                            nullptr,
                            nullptr,
                            nullptr};

}  // namespace
}  // namespace vorn::py

extern "C" __attribute__((visibility("default"))) PyObject* PyInit__vorn_toolkit_probe() {
    return PyModuleDef_Init(&vorn::py::probe_module);
}
