#include "python/toolkit/arguments.hpp"

#include <string>

#include "python/toolkit/errors.hpp"

namespace vorn::py {

namespace {

std::string callable_name(const Signature& sig) {
    return std::string(sig.name) + "()";
}

std::size_t positional_capacity(const Signature& sig) {
    std::size_t n = 0;
    while (n < sig.params.size() && !sig.params[n].keyword_only) ++n;
    return n;
}

[[noreturn]] void too_many_positional(const Signature& sig, std::size_t capacity,
                                      Py_ssize_t given) {
    std::size_t required = 0;
    for (std::size_t i = 0; i < capacity; ++i) required += sig.params[i].required() ? 1 : 0;
    std::string m = callable_name(sig);
    if (capacity == 0) {
        m += " takes no positional arguments";
    } else {
        m += required == capacity ? " takes exactly " : " takes at most ";
        m += std::to_string(capacity);
        m += capacity == 1 ? " positional argument (" : " positional arguments (";
        m += std::to_string(given) + " given)";
    }
    raise_type_error(m);
}

}  // namespace

void Arguments::bind_positional(Py_ssize_t nargs) {
    const std::size_t capacity = positional_capacity(sig_);
    if (nargs < 0 || static_cast<std::size_t>(nargs) > capacity) {
        too_many_positional(sig_, capacity, nargs);
    }
}

void Arguments::bind_keyword(PyObject* key, PyObject* value) {
    const std::string_view key_text = utf8_view(key);
    std::size_t slot = 0;
    while (slot < sig_.params.size() && sig_.params[slot].name != key_text) ++slot;
    if (sig_.collects_keywords && (slot == sig_.params.size() || sig_.params[slot].keyword_only)) {
        collected_.push_back({key, value});
        return;
    }
    if (slot == sig_.params.size()) {
        raise_type_error(callable_name(sig_) + " got an unexpected keyword argument '" +
                         std::string(key_text) + "'");
    }
    if (values_[slot]) {
        raise_type_error(callable_name(sig_) + " got multiple values for argument '" +
                         std::string(key_text) + "'");
    }
    values_[slot] = value;
}

void Arguments::check_required() const {
    for (std::size_t i = 0; i < sig_.params.size(); ++i) {
        const Param& p = sig_.params[i];
        if (values_[i] || !p.required() || (p.keyword_only && sig_.collects_keywords)) continue;
        std::string m = callable_name(sig_);
        if (p.keyword_only) {
            m += " missing required keyword-only argument '" + std::string(p.name) + "'";
        } else {
            m += " missing required argument '" + std::string(p.name) + "' (pos " +
                 std::to_string(i + 1) + ")";
        }
        raise_type_error(m);
    }
}

void Arguments::parse(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    values_.fill(nullptr);
    bind_positional(nargs);
    for (Py_ssize_t i = 0; i < nargs; ++i) values_[static_cast<std::size_t>(i)] = args[i];
    const Py_ssize_t nkw = kwnames ? PyTuple_Size(kwnames) : 0;
    for (Py_ssize_t k = 0; k < nkw; ++k) bind_keyword(PyTuple_GetItem(kwnames, k), args[nargs + k]);
    check_required();
}

Arguments::Arguments(const Signature& sig, PyObject* args, PyObject* kwargs) : sig_(sig) {
    values_.fill(nullptr);
    const Py_ssize_t nargs = args ? PyTuple_Size(args) : 0;
    bind_positional(nargs);
    for (Py_ssize_t i = 0; i < nargs; ++i) {
        values_[static_cast<std::size_t>(i)] = PyTuple_GetItem(args, i);
    }
    Py_ssize_t pos = 0;
    PyObject *key = nullptr, *value = nullptr;
    while (kwargs && PyDict_Next(kwargs, &pos, &key, &value)) bind_keyword(key, value);
    check_required();
}

}  // namespace vorn::py
