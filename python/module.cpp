#include <Python.h>

static PyModuleDef_Slot vorn_slots[] = {{0, nullptr}};
static PyModuleDef vorn_module = {PyModuleDef_HEAD_INIT, "vorn_sdk_core", nullptr, 0, nullptr,
                                  vorn_slots, nullptr, nullptr, nullptr};
PyMODINIT_FUNC PyInit_vorn_sdk_core() { return PyModuleDef_Init(&vorn_module); }
