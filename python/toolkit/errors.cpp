#include "python/toolkit/errors.hpp"

#include "python/toolkit/values.hpp"

namespace vorn::py {

void raise(PyObject* type, std::string_view message) {
    Ref text = make_str(message);
    PyErr_SetObject(type, text.get());
    throw_error_already_set();
}

void core_error_to_py(CoreError error) {
    Ref message = make_str(error.display());
    Ref exc = Ref::check(PyObject_CallFunctionObjArgs(PyExc_ValueError, message.get(), nullptr));
    Ref issues = Ref::check(PyTuple_New(static_cast<Py_ssize_t>(error.issues.size())));
    for (std::size_t i = 0; i < error.issues.size(); ++i) {
        const Issue& issue = error.issues[i];
        Ref path = make_str(issue.path);
        Ref code = make_str(wire_name(issue.code));
        Ref text = make_str(issue.message);
        PyObject* triple = PyTuple_Pack(3, path.get(), code.get(), text.get());
        if (!triple) throw_error_already_set();
        PyTuple_SetItem(issues.get(), static_cast<Py_ssize_t>(i), triple);
    }
    check_status(PyObject_SetAttrString(exc.get(), "issues", issues.get()));
    Ref trace = error.trace_context ? make_str(*error.trace_context) : Ref::borrow(Py_None);
    check_status(PyObject_SetAttrString(exc.get(), "trace_context", trace.get()));
    PyErr_SetObject(PyExc_ValueError, exc.get());
    throw_error_already_set();
}

std::string type_name(PyObject* obj) {
    Ref name =
        Ref::steal(PyObject_GetAttrString(reinterpret_cast<PyObject*>(Py_TYPE(obj)), "__name__"));
    if (name && PyUnicode_Check(name.get())) {
        Py_ssize_t size = 0;
        if (const char* s = PyUnicode_AsUTF8AndSize(name.get(), &size)) {
            return std::string(s, static_cast<std::size_t>(size));
        }
    }
    PyErr_Clear();
    return "object";
}

std::string take_exception_text() {
    PyObject *type = nullptr, *value = nullptr, *tb = nullptr;
    PyErr_Fetch(&type, &value, &tb);
    PyErr_NormalizeException(&type, &value, &tb);
    Ref t = Ref::steal(type), v = Ref::steal(value), trace = Ref::steal(tb);
    std::string out = v ? type_name(v.get()) : std::string("error");
    if (v) {
        if (Ref text = Ref::steal(PyObject_Str(v.get())); text) {
            Py_ssize_t size = 0;
            if (const char* s = PyUnicode_AsUTF8AndSize(text.get(), &size); s && size > 0) {
                out.append(": ").append(s, static_cast<std::size_t>(size));
            }
        }
    }
    PyErr_Clear();
    return out;
}

void add_processing_note(std::string_view name) {
    PyObject *type = nullptr, *value = nullptr, *tb = nullptr;
    PyErr_Fetch(&type, &value, &tb);
    PyErr_NormalizeException(&type, &value, &tb);
    // Exception notes exist from 3.11 on; on 3.10 the exception goes up unchanged.
    if (value && PyObject_HasAttrString(value, "add_note")) {
        std::string note = "while processing '";
        note.append(name).append("'");
        PyObject* text =
            PyUnicode_FromStringAndSize(note.data(), static_cast<Py_ssize_t>(note.size()));
        PyObject* done = text ? PyObject_CallMethod(value, "add_note", "O", text) : nullptr;
        Py_XDECREF(text);
        Py_XDECREF(done);
        if (!done) PyErr_Clear();
    }
    PyErr_Restore(type, value, tb);
}

void raise_encoding_error() {
    raise_type_error(take_exception_text());
}

}  // namespace vorn::py
