// Owning references to Python objects, and the exception that carries "a Python error is already
// set" through C++ code back to the entry guard.
#pragma once

#include <utility>

#include "python/toolkit/python.hpp"

namespace vorn::py {

// Thrown after a Python exception has been set; the entry guard turns it into a NULL return.
struct PyErrorAlreadySet {};

[[noreturn]] inline void throw_error_already_set() {
    throw PyErrorAlreadySet{};
}

class Ref {
  public:
    Ref() = default;
    Ref(const Ref& other) : p_(other.p_) { Py_XINCREF(p_); }
    Ref(Ref&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    Ref& operator=(Ref other) noexcept {
        std::swap(p_, other.p_);
        return *this;
    }
    ~Ref() { Py_XDECREF(p_); }

    static Ref steal(PyObject* p) { return Ref(p); }
    static Ref borrow(PyObject* p) {
        Py_XINCREF(p);
        return Ref(p);
    }
    // Takes a new reference returned by a C API call; NULL means the call raised.
    static Ref check(PyObject* p) {
        if (!p) throw_error_already_set();
        return Ref(p);
    }

    PyObject* get() const { return p_; }
    PyObject* release() { return std::exchange(p_, nullptr); }
    explicit operator bool() const { return p_ != nullptr; }

  private:
    explicit Ref(PyObject* p) : p_(p) {}
    PyObject* p_ = nullptr;
};

// A C API status (-1 on error) checked.
inline void check_status(int status) {
    if (status < 0) throw_error_already_set();
}

}  // namespace vorn::py
