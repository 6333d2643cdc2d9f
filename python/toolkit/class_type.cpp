#include "python/toolkit/class_type.hpp"

#include <vector>

namespace vorn::py {
namespace detail {

PyObject* create_class_type(const char* name, std::string& qualified_name,
                            const std::optional<Signature>& constructor, std::string_view doc,
                            std::span<PyMethodDef> methods, std::span<PyGetSetDef> getset, bool gc,
                            const TypeHooks& hooks) {
    qualified_name = std::string(kModuleName) + "." + name;
    std::vector<PyType_Slot> slots = {{Py_tp_dealloc, reinterpret_cast<void*>(hooks.tp_dealloc)}};
    // Immutable: a caller must not rebind a method or a member on the class.
    unsigned long flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE;
    std::string doc_text;
    if (constructor) {
        slots.push_back({Py_tp_new, reinterpret_cast<void*>(hooks.tp_new)});
        Signature sig = *constructor;
        sig.doc = doc;
        slots.push_back({Py_tp_doc, const_cast<char*>(doc_string(sig))});
    } else {
        flags |= Py_TPFLAGS_DISALLOW_INSTANTIATION;
        if (!doc.empty()) {
            doc_text = doc;  // tp_doc is copied by the type, so a temporary will do
            slots.push_back({Py_tp_doc, doc_text.data()});
        }
    }
    if (!methods.empty()) slots.push_back({Py_tp_methods, methods.data()});
    if (!getset.empty()) slots.push_back({Py_tp_getset, getset.data()});
    if (gc) {
        flags |= Py_TPFLAGS_HAVE_GC;
        slots.push_back({Py_tp_traverse, reinterpret_cast<void*>(hooks.tp_traverse)});
        slots.push_back({Py_tp_clear, reinterpret_cast<void*>(hooks.tp_clear)});
    }
    slots.push_back({0, nullptr});
    PyType_Spec definition{qualified_name.c_str(), static_cast<int>(hooks.basicsize), 0,
                           static_cast<unsigned int>(flags), slots.data()};
    return Ref::check(PyType_FromSpec(&definition)).release();
}

PyObject* allocate(PyTypeObject* type) {
    auto alloc = reinterpret_cast<allocfunc>(PyType_GetSlot(type, Py_tp_alloc));
    return alloc(type, 0);
}

void free_instance(PyObject* self, bool) {
    PyTypeObject* type = Py_TYPE(self);
    auto free = reinterpret_cast<freefunc>(PyType_GetSlot(type, Py_tp_free));
    free(self);
    Py_DECREF(type);  // instances of heap types own a reference to their type
}

}  // namespace detail
}  // namespace vorn::py
