// Turning a Signature and an implementation into a METH_FASTCALL | METH_KEYWORDS entry point.
//
//   constexpr auto kSig = function("name", "doc", arg("a"), arg("b", "None"));
//   Ref name_impl(PyObject* self, const Arguments& args);
//   ... entry<kSig, name_impl> ...
//
// The adapter only parses and guards; the implementation converts its own arguments, so a
// stateful object can take its access guard before any conversion runs Python code.
#pragma once

#include "python/toolkit/arguments.hpp"
#include "python/toolkit/errors.hpp"

namespace vorn::py {

using Impl = Ref (*)(PyObject* self, const Arguments& args);
using FastcallFn = PyObject* (*)(PyObject*, PyObject* const*, Py_ssize_t, PyObject*);

template <const auto& Sig, Impl F>
PyObject* entry(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static constexpr Signature kSignature = Sig;
    return guarded([&] {
        Arguments parsed(kSignature, args, nargs, kwnames);
        return F(self, parsed).release();
    });
}

// A method table row for `entry<Sig, F>`, doc string rendered from the signature.
PyMethodDef method_def(const Signature& sig, FastcallFn fn, int extra_flags = 0);

template <const auto& Sig, Impl F>
PyMethodDef method_def(int extra_flags = 0) {
    return method_def(Sig, &entry<Sig, F>, extra_flags);
}

// A module-level function object whose __module__ is the module's name.
Ref new_function(const Signature& sig, FastcallFn fn);

template <const auto& Sig, Impl F>
Ref new_function() {
    return new_function(Sig, &entry<Sig, F>);
}

inline constexpr const char* kModuleName = "vorn_sdk_core";

}  // namespace vorn::py
