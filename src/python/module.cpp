// Placeholder module while the binding layer is written.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

static int module_exec(PyObject* module) {
  return PyModule_AddStringConstant(module, "__version__", "0.4.5");
}
static PyModuleDef_Slot slots[] = {{Py_mod_exec, reinterpret_cast<void*>(module_exec)}, {0, nullptr}};
static PyModuleDef def = {PyModuleDef_HEAD_INIT, "tidewell", "", 0, nullptr, slots, nullptr, nullptr, nullptr};
PyMODINIT_FUNC PyInit_tidewell(void) { return PyModuleDef_Init(&def); }
