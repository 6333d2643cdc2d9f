// Scoped access to a mutable object's BorrowFlag. Taken before any argument is converted (a
// conversion can run Python code that re-enters the object) and held through the core call.
// A refused access raises RuntimeError and changes nothing.
#pragma once

#include "python/toolkit/borrow_flag.hpp"
#include "python/toolkit/errors.hpp"

namespace vorn::py {

class SharedAccess {
  public:
    explicit SharedAccess(BorrowFlag& flag) : flag_(flag) {
        if (!flag_.try_shared()) raise(PyExc_RuntimeError, "Already mutably borrowed");
    }
    ~SharedAccess() { flag_.release_shared(); }
    SharedAccess(const SharedAccess&) = delete;
    SharedAccess& operator=(const SharedAccess&) = delete;

  private:
    BorrowFlag& flag_;
};

class ExclusiveAccess {
  public:
    explicit ExclusiveAccess(BorrowFlag& flag) : flag_(flag) {
        if (!flag_.try_exclusive()) raise(PyExc_RuntimeError, "Already borrowed");
    }
    ~ExclusiveAccess() { flag_.release_exclusive(); }
    ExclusiveAccess(const ExclusiveAccess&) = delete;
    ExclusiveAccess& operator=(const ExclusiveAccess&) = delete;

  private:
    BorrowFlag& flag_;
};

}  // namespace vorn::py
