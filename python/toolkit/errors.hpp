// Raising Python exceptions from binding code, the entry guard that keeps C++ exceptions from
// unwinding into the interpreter, and the mapping of a core failure to ValueError.
#pragma once

#include <exception>
#include <new>
#include <string>
#include <string_view>

#include "core/error.hpp"
#include "python/toolkit/ref.hpp"

namespace vorn::py {

[[noreturn]] void raise(PyObject* type, std::string_view message);
[[noreturn]] inline void raise_type_error(std::string_view m) {
    raise(PyExc_TypeError, m);
}
[[noreturn]] inline void raise_value_error(std::string_view m) {
    raise(PyExc_ValueError, m);
}

// The ValueError of a core failure: message is the error's display text, with `.issues` (tuple of
// (path, code, message)) and `.trace_context`.
[[noreturn]] void core_error_to_py(CoreError error);

// Takes the pending Python exception, returning "{type}: {text}" and leaving no error set.
std::string take_exception_text();

// Adds "while processing '{name}'" to the notes of the pending exception, where notes exist.
void add_processing_note(std::string_view name);

// The name of an object's type, for messages.
std::string type_name(PyObject* obj);

// The pending encoding error as TypeError.
[[noreturn]] void raise_encoding_error();
// A str known to be a str; TypeError if not UTF-8. Inline: every key argument goes through it.
inline std::string_view utf8_view(PyObject* str) {
    Py_ssize_t size = 0;
    const char* data = PyUnicode_AsUTF8AndSize(str, &size);
    if (!data) raise_encoding_error();
    return {data, static_cast<std::size_t>(size)};
}

// Every entry point runs its body through here: nothing unwinds into the interpreter.
template <class F>
PyObject* guarded(F&& body) noexcept {
    try {
        return body();
    } catch (const PyErrorAlreadySet&) {
        return nullptr;
    } catch (const std::bad_alloc&) {
        PyErr_NoMemory();
        return nullptr;
    } catch (const std::exception& e) {
        PyErr_Format(PyExc_SystemError, "vorn_sdk_core internal error: %s", e.what());
        return nullptr;
    } catch (...) {
        PyErr_SetString(PyExc_SystemError, "vorn_sdk_core internal error");
        return nullptr;
    }
}

}  // namespace vorn::py
