#include "python/toolkit/callable.hpp"

#include <deque>

#include "python/toolkit/values.hpp"

namespace vorn::py {

PyMethodDef method_def(const Signature& sig, FastcallFn fn, int extra_flags) {
    return PyMethodDef{sig.name.data(),
                       reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(fn)),
                       METH_FASTCALL | METH_KEYWORDS | extra_flags, doc_string(sig)};
}

Ref new_function(const Signature& sig, FastcallFn fn) {
    // A function object points at its PyMethodDef for life; these never move or go away.
    static std::deque<PyMethodDef> defs;
    PyMethodDef& def = defs.emplace_back(method_def(sig, fn));
    Ref module_name = make_str(kModuleName);
    return Ref::check(PyCFunction_NewEx(&def, nullptr, module_name.get()));
}

}  // namespace vorn::py
