// The one place that includes Python.h: every binding file builds against the limited API only.
#pragma once

#ifndef Py_LIMITED_API
#error "the extension is built against the limited API; define Py_LIMITED_API"
#endif

#define PY_SSIZE_T_CLEAN
#include <Python.h>
