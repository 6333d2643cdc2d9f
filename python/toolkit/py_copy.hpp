// Payloads read straight from Python objects, with no JSON value in between.
//
// `copy_payload` converts a payload into new Python objects, exactly as converting it to JSON and
// back would: dicts with their keys in ascending UTF-8 order, lists for every array; exact str,
// int, float, bool and None leaves are the caller's own objects, anything else is converted by the
// same rules. A value that does not convert raises the conversion's TypeError.
//
// `is_plain_payload` tells, without building anything or running user code, that a payload would
// convert and may be read as it is: only exact dicts, lists and tuples, exact str keys, and leaves
// of the plain kinds. When it says no, convert the payload to learn why.
#pragma once

#include "core/json.hpp"
#include "python/toolkit/ref.hpp"

namespace vorn::py {

Ref copy_payload(PyObject* payload, MemoryResource* scratch);

bool is_plain_payload(PyObject* payload, MemoryResource* scratch);

}  // namespace vorn::py
