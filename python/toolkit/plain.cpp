#include "python/toolkit/plain.hpp"

#include "python/toolkit/py_walk.hpp"

namespace vorn::py {

std::optional<Json::Kind> int_kind(PyObject* n) {
    int overflow = 0;
    const long long v = PyLong_AsLongLongAndOverflow(n, &overflow);
    if (overflow == 0) return v < 0 ? Json::Kind::Int : Json::Kind::UInt;
    if (overflow < 0) return std::nullopt;
    const unsigned long long u = PyLong_AsUnsignedLongLong(n);
    if (u == static_cast<unsigned long long>(-1) && PyErr_Occurred()) {
        PyErr_Clear();
        return std::nullopt;
    }
    return Json::Kind::UInt;
}

NestingBudget::~NestingBudget() {
    for (; entered_ > 0; --entered_) Py_LeaveRecursiveCall();
}

bool NestingBudget::reach(std::size_t depth) {
    while (entered_ < depth) {
        if (entered_ >= kMaxJsonDepth + 1 || Py_EnterRecursiveCall("")) {
            PyErr_Clear();
            return false;
        }
        ++entered_;
    }
    return true;
}

}  // namespace vorn::py
