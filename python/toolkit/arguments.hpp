// Parsing the vectorcall arguments of one call against its Signature, with errors worded as
// CPython's own, and converting each parameter with the "while processing" note on failure.
#pragma once

#include <array>
#include <optional>
#include <vector>

#include "python/toolkit/convert.hpp"
#include "python/toolkit/signature.hpp"

namespace vorn::py {

class Arguments {
  public:
    // Raises TypeError (and throws PyErrorAlreadySet) for a count or keyword error. `sig` must
    // outlive the parsed arguments.
    Arguments(const Signature& sig, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames)
        : sig_(sig) {
        // The common call, given only by position and every required parameter, needs no checks.
        const auto n = static_cast<std::size_t>(nargs);
        if (!kwnames && n >= sig.min_positional && n <= sig.positional) {
            // Plain loops: a call for a few words would cost more than the copy.
            for (std::size_t i = 0; i < n; ++i) values_[i] = args[i];
            for (std::size_t i = n; i < sig.params.size(); ++i) values_[i] = nullptr;
            return;
        }
        parse(args, nargs, kwnames);
    }
    // The same from a constructor's argument tuple and keyword dict (either may be NULL).
    Arguments(const Signature& sig, PyObject* args, PyObject* kwargs);

    // Borrowed; nullptr when the argument was not given.
    PyObject* operator[](std::size_t i) const { return values_[i]; }
    bool given(std::size_t i) const { return values_[i] != nullptr; }
    std::string_view name(std::size_t i) const { return sig_.params[i].name; }
    // (name, value) of each collected keyword, in call order; borrowed.
    struct Keyword {
        PyObject* name;
        PyObject* value;
    };
    const std::vector<Keyword>& collected_keywords() const { return collected_; }

    // Converts parameter `i`; a failure gets the "while processing" note.
    template <class T>
    T get(std::size_t i) const {
        return convert(i, [&](PyObject* obj) { return Converter<T>::from_py(obj, name(i)); });
    }
    // Runs a parameter's own conversion `f(obj)` (None when omitted) under the same note.
    template <class F>
    auto convert(std::size_t i, F&& f) const {
        try {
            return f(values_[i] ? values_[i] : Py_None);
        } catch (const PyErrorAlreadySet&) {
            add_processing_note(name(i));
            throw;
        }
    }
    // An optional parameter with a non-None default.
    template <class T>
    T get_or(std::size_t i, T fallback) const {
        return values_[i] ? get<T>(i) : fallback;
    }

  private:
    void parse(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
    void bind_positional(Py_ssize_t nargs);
    void bind_keyword(PyObject* key, PyObject* value);
    void check_required() const;

    const Signature& sig_;
    // Only the signature's parameters are ever read, and every parse sets all of them.
    std::array<PyObject*, kMaxParams> values_;
    std::vector<Keyword> collected_;
};

}  // namespace vorn::py
