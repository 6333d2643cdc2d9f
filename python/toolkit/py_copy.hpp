// Payloads read straight from Python objects, with no JSON value in between.
//
// `copy_payload` converts a payload into new Python objects, exactly as converting it to JSON and
// back would: dicts with their keys in ascending UTF-8 order, lists for every array; exact str,
// int, float, bool and None leaves are the caller's own objects, anything else is converted by the
// same rules. A value that does not convert raises the conversion's TypeError.
#pragma once

#include "core/json.hpp"
#include "python/toolkit/ref.hpp"

namespace vorn::py {

Ref copy_payload(PyObject* payload, MemoryResource* scratch);

}  // namespace vorn::py
