#include "python/toolkit/enum_class.hpp"

#include <array>
#include <string>
#include <utility>
#include <vector>

#include "python/toolkit/callable.hpp"
#include "python/toolkit/values.hpp"

namespace vorn::py {

namespace {

struct EnumObject {
    PyObject_HEAD std::uint8_t class_id;
    std::uint8_t index;
};

const EnumObject& as_member(PyObject* obj) {
    return *reinterpret_cast<EnumObject*>(obj);
}
const EnumClassDef& def_of(PyObject* obj) {
    return enum_class_defs()[as_member(obj).class_id];
}
std::string_view text_of(PyObject* obj) {
    return def_of(obj).members[as_member(obj).index].text;
}

PyObject* member_str(PyObject* self) {
    return guarded([&] { return make_str(text_of(self)).release(); });
}

PyObject* member_repr(PyObject* self) {
    return guarded([&] {
        const EnumClassDef& def = def_of(self);
        std::string s = def.name;
        s.append(".").append(def.members[as_member(self).index].name);
        return make_str(s).release();
    });
}

PyObject* member_int(PyObject* self) {
    return PyLong_FromLong(as_member(self).index);
}

PyObject* member_text(PyObject* self, void*) {
    return member_str(self);
}

PyObject* member_compare(PyObject* a, PyObject* b, int op) {
    // Equality only, and only within one class: anything else falls back to Python's defaults.
    if ((op != Py_EQ && op != Py_NE) || Py_TYPE(a) != Py_TYPE(b)) Py_RETURN_NOTIMPLEMENTED;
    const bool equal = as_member(a).index == as_member(b).index;
    return Py_NewRef(equal == (op == Py_EQ) ? Py_True : Py_False);
}

constexpr auto kFromWireNameSig = function("from_wire_name", "", arg("name"));

template <std::size_t Id>
Ref from_wire_name(PyObject*, const Arguments& args) {
    const auto name = args.get<std::string_view>(0);
    const auto members = enum_class_defs()[Id].members;
    for (std::size_t i = 0; i < members.size(); ++i) {
        if (members[i].text == name) return Ref::borrow(enum_member(Id, i));
    }
    return none();
}

template <std::size_t... Id>
constexpr std::array<FastcallFn, sizeof...(Id)> from_wire_name_entries(std::index_sequence<Id...>) {
    return {&entry<kFromWireNameSig, &from_wire_name<Id>>...};
}

constexpr std::size_t kMaxEnumClasses = 32;
constexpr auto kFromWireName = from_wire_name_entries(std::make_index_sequence<kMaxEnumClasses>());

// Per-class storage that the type object points into for its whole life.
struct EnumClassState {
    std::string qualified_name;
    std::vector<PyMethodDef> methods;
    std::array<PyGetSetDef, 2> getset{};
    PyObject* type = nullptr;
    std::vector<PyObject*> members;
};

// At namespace scope, built when the module loads: a function-local static would be checked for
// construction on every conversion of a member.
std::array<EnumClassState, kMaxEnumClasses> states;

EnumClassState& state(std::size_t id) {
    return states[id];
}

PyObject* create_type(std::size_t id) {
    const EnumClassDef& def = enum_class_defs()[id];
    EnumClassState& st = state(id);
    st.qualified_name = std::string(kModuleName) + "." + def.name;
    const bool wire = def.family == EnumFamily::WireName;
    st.getset[0] =
        PyGetSetDef{wire ? "wire_name" : "value", &member_text, nullptr, def.property_doc, nullptr};
    st.methods.clear();
    if (wire) st.methods.push_back(method_def(kFromWireNameSig, kFromWireName[id], METH_STATIC));
    st.methods.insert(st.methods.end(), def.extra_methods.begin(), def.extra_methods.end());
    st.methods.push_back(PyMethodDef{nullptr, nullptr, 0, nullptr});

    std::vector<PyType_Slot> slots = {
        {Py_tp_repr, reinterpret_cast<void*>(&member_repr)},
        {Py_tp_str, reinterpret_cast<void*>(&member_str)},
        {Py_tp_richcompare, reinterpret_cast<void*>(&member_compare)},
        {Py_tp_hash, reinterpret_cast<void*>(&PyObject_HashNotImplemented)},
        {Py_nb_int, reinterpret_cast<void*>(&member_int)},
        {Py_tp_getset, st.getset.data()},
        {Py_tp_methods, st.methods.data()},
    };
    if (def.doc) slots.push_back({Py_tp_doc, const_cast<char*>(def.doc)});
    slots.push_back({0, nullptr});
    PyType_Spec definition{
        st.qualified_name.c_str(), static_cast<int>(sizeof(EnumObject)), 0,
        Py_TPFLAGS_DEFAULT | Py_TPFLAGS_DISALLOW_INSTANTIATION | Py_TPFLAGS_IMMUTABLETYPE,
        slots.data()};
    Ref type = Ref::check(PyType_FromSpec(&definition));

    std::vector<PyObject*> members;
    for (std::size_t i = 0; i < def.members.size(); ++i) {
        EnumObject* obj = PyObject_New(EnumObject, reinterpret_cast<PyTypeObject*>(type.get()));
        if (!obj) throw_error_already_set();
        obj->class_id = static_cast<std::uint8_t>(id);
        obj->index = static_cast<std::uint8_t>(i);
        Ref member = Ref::steal(reinterpret_cast<PyObject*>(obj));
        // The class is immutable to callers; its members are placed in its dict directly, which
        // the generic setter does for a type, before anything has looked them up.
        Ref name = make_str(def.members[i].name);
        check_status(PyObject_GenericSetAttr(type.get(), name.get(), member.get()));
        members.push_back(member.release());
    }
    PyType_Modified(reinterpret_cast<PyTypeObject*>(type.get()));
    // Only a fully built class is cached; its members live as long as the process.
    st.members = std::move(members);
    st.type = type.release();
    return st.type;
}

}  // namespace

PyObject* enum_type(std::size_t id) {
    EnumClassState& st = state(id);
    return st.type ? st.type : create_type(id);
}

PyObject* enum_member(std::size_t id, std::size_t index) {
    enum_type(id);
    return state(id).members[index];
}

std::optional<std::size_t> enum_index(std::size_t id, PyObject* obj) {
    if (reinterpret_cast<PyObject*>(Py_TYPE(obj)) != enum_type(id)) return std::nullopt;
    return as_member(obj).index;
}

}  // namespace vorn::py
