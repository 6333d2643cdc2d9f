// Holds the interpreter's cyclic garbage collector off for a scope.
//
// While the module reads a caller's payload through borrowed pointers (see py_document.hpp) it runs
// no user code, but a collection may still start inside any allocation of a container (on 3.10
// and 3.11), and the finalizers and weakref callbacks it runs may empty the very containers being
// read and free what was borrowed. Such a scope pauses the collector; the allocations it saved up
// start a collection at the next allocation after it.
#pragma once

#include "python/toolkit/ref.hpp"

namespace vorn::py {

class GcPause {
  public:
    GcPause() : resume_(PyGC_Disable() != 0) {}
    GcPause(const GcPause&) = delete;
    GcPause& operator=(const GcPause&) = delete;
    ~GcPause() {
        if (resume_) PyGC_Enable();
    }

  private:
    bool resume_;  // a collector the host turned off stays off
};

}  // namespace vorn::py
