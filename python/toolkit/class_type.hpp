// Python classes that wrap one core object each. A `ClassSpec<T>` describes the class (name,
// constructor signature and conversion, doc text, methods, properties); `type_object` creates its
// heap type once. Every instance carries the access flag of its object and, for classes that hold
// a Python object of the host's (a provider), one such reference that takes part in cyclic garbage
// collection.
//
//   ClassSpec<RetryTracker> definition{"RetryTracker", &kCtorSig, construct_tracker, methods,
//   getset}; Ref tracker_method(PyObject* self, const Arguments& args) {
//       auto& obj = instance<RetryTracker>(self);
//       ExclusiveAccess access(obj.flag);     // before any argument conversion
//       ... args.get<std::string_view>(0) ... obj.value ...
//   }
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <utility>

#include "python/toolkit/access.hpp"
#include "python/toolkit/arguments.hpp"
#include "python/toolkit/callable.hpp"

namespace vorn::py {

template <class T>
struct Instance {
    PyObject_HEAD BorrowFlag flag;
    T* value;        // owned; null only while being built
    PyObject* held;  // a strong reference of the host's, or null
};

template <class T>
struct ClassSpec {
    const char* name;
    // Without a constructor signature the class cannot be instantiated from Python.
    std::optional<Signature> constructor = std::nullopt;
    // Builds the core object (and may set `held`) from the parsed constructor arguments.
    T (*construct)(const Arguments& args, PyObject*& held) = nullptr;
    std::span<PyMethodDef> methods = {};  // terminated by a zeroed row
    std::span<PyGetSetDef> getset = {};   // terminated by a zeroed row
    std::string_view doc = {};  // class doc text; for a constructed class, after its signature
    bool holds_python_object = false;

    PyObject* type = nullptr;  // created on first use, kept for the life of the process
    std::string qualified_name = {};
};

namespace detail {

struct TypeHooks {
    std::size_t basicsize;
    newfunc tp_new;
    destructor tp_dealloc;
    traverseproc tp_traverse;
    inquiry tp_clear;
};

PyObject* create_class_type(const char* name, std::string& qualified_name,
                            const std::optional<Signature>& constructor, std::string_view doc,
                            std::span<PyMethodDef> methods, std::span<PyGetSetDef> getset, bool gc,
                            const TypeHooks& hooks);
PyObject* allocate(PyTypeObject* type);
void free_instance(PyObject* self, bool gc);

template <class T>
int traverse(PyObject* self, visitproc visit, void* arg) {
    Py_VISIT(reinterpret_cast<Instance<T>*>(self)->held);
    Py_VISIT(reinterpret_cast<PyObject*>(Py_TYPE(self)));
    return 0;
}

template <class T>
int clear(PyObject* self) {
    Py_CLEAR(reinterpret_cast<Instance<T>*>(self)->held);
    return 0;
}

template <class T>
void dealloc(PyObject* self) {
    auto* inst = reinterpret_cast<Instance<T>*>(self);
    const bool gc = PyType_IS_GC(Py_TYPE(self));
    if (gc) PyObject_GC_UnTrack(self);
    delete std::exchange(inst->value, nullptr);
    Py_CLEAR(inst->held);
    free_instance(self, gc);
}

template <class T>
Ref new_instance(PyTypeObject* type, T value, PyObject* held) {
    Ref obj = Ref::check(allocate(type));
    auto* inst = reinterpret_cast<Instance<T>*>(obj.get());
    new (&inst->flag) BorrowFlag();
    inst->held = held;
    inst->value = new T(std::move(value));
    return obj;
}

template <class T>
ClassSpec<T>*& spec_slot() {
    static ClassSpec<T>* definition = nullptr;
    return definition;
}

template <class T>
PyObject* construct(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
    return guarded([&] {
        const ClassSpec<T>& definition = *spec_slot<T>();
        Arguments parsed(*definition.constructor, args, kwargs);
        PyObject* held = nullptr;
        T value = definition.construct(parsed, held);
        return new_instance<T>(type, std::move(value), held).release();
    });
}

}  // namespace detail

template <class T>
PyObject* type_object(ClassSpec<T>& definition) {
    if (definition.type) return definition.type;
    detail::spec_slot<T>() = &definition;
    const detail::TypeHooks hooks{sizeof(Instance<T>),
                                  definition.constructor ? &detail::construct<T> : nullptr,
                                  &detail::dealloc<T>, &detail::traverse<T>, &detail::clear<T>};
    definition.type = detail::create_class_type(
        definition.name, definition.qualified_name, definition.constructor, definition.doc,
        definition.methods, definition.getset, definition.holds_python_object, hooks);
    return definition.type;
}

// A new instance around `value`, for result objects built by the module.
template <class T>
Ref wrap(ClassSpec<T>& definition, T value) {
    return detail::new_instance<T>(reinterpret_cast<PyTypeObject*>(type_object(definition)),
                                   std::move(value), nullptr);
}

// A read-only property row whose getter runs under the entry guard.
//   PyGetSetDef rows[] = {property_def<state_of>("state"), {}};
using GetterImpl = Ref (*)(PyObject* self);

template <GetterImpl F>
PyGetSetDef property_def(const char* name, const char* doc = nullptr) {
    getter get = [](PyObject* self, void*) -> PyObject* {
        return guarded([&] { return F(self).release(); });
    };
    return {name, get, nullptr, doc, nullptr};
}

// `self` of a method of a ClassSpec<T> class.
template <class T>
Instance<T>& instance(PyObject* self) {
    return *reinterpret_cast<Instance<T>*>(self);
}

// `obj` when it is an instance of the class, else nullptr.
template <class T>
Instance<T>* instance_of(ClassSpec<T>& definition, PyObject* obj) {
    const int is =
        PyObject_TypeCheck(obj, reinterpret_cast<PyTypeObject*>(type_object(definition)));
    return is ? reinterpret_cast<Instance<T>*>(obj) : nullptr;
}

// A read-only property of a class that never changes after construction (no access flag to take),
// computed afresh from its core value on every read.
template <class T, Ref (*Read)(const T&)>
PyGetSetDef value_property(const char* name, const char* doc = nullptr) {
    getter get = [](PyObject* self, void*) -> PyObject* {
        return guarded([&] { return Read(*instance<T>(self).value).release(); });
    };
    return {name, get, nullptr, doc, nullptr};
}

}  // namespace vorn::py
