// The extension module `tidewell._tidewell`, re-exported whole by the package
// `tidewell`: initialisation, `convert` and `convert_to_markdown`, the reading
// of their options, and the mapping of failures onto exceptions.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <exception>
#include <new>
#include <stdexcept>
#include <string>
#include <string_view>

#include "converter/entry/convert_entry.hpp"
#include "options/options_reader.hpp"
#include "python/module.hpp"
#include "python/py_ref.hpp"
#include "result/result_writer.hpp"

namespace tidewell {

// Turns a C++ exception escaping a conversion into a Python exception:
// allocation failure, and a string asked to grow past its largest size, are
// MemoryError with one message (which of the two it was depends on where the
// size ran out, not on the input); anything else is a fault of the library,
// whose own message (a standard library's wording) says nothing to the caller.
void raise_from_current_exception() {
  static constexpr std::string_view kTooLarge = "the output is too large to hold in memory";
  try {
    throw;
  } catch (const std::bad_alloc&) {
    py::raise(PyExc_MemoryError, kTooLarge);
  } catch (const std::length_error&) {
    py::raise(PyExc_MemoryError, kTooLarge);
  } catch (...) {
    py::raise(PyExc_RuntimeError, "internal error in tidewell");
  }
}

namespace {

constexpr const char* kVersion = TIDEWELL_VERSION;

// ---- arguments: (html, options=None), by position or keyword ---------------

struct Arguments {
  PyObject* html = nullptr;     // borrowed
  PyObject* options = nullptr;  // borrowed; nullptr when not given
};

bool parse_arguments(const char* fname, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames,
                     Arguments& out) {
  const Py_ssize_t nargs = PyVectorcall_NARGS(nargsf);
  if (nargs > 2) {
    PyErr_Format(PyExc_TypeError, "%s() takes from 1 to 2 positional arguments but %zd were given", fname, nargs);
    return false;
  }
  PyObject* slots[2] = {nargs > 0 ? args[0] : nullptr, nargs > 1 ? args[1] : nullptr};
  static const char* const names[2] = {"html", "options"};
  const Py_ssize_t nkw = kwnames ? PyTuple_GET_SIZE(kwnames) : 0;
  for (Py_ssize_t i = 0; i < nkw; ++i) {
    PyObject* key = PyTuple_GET_ITEM(kwnames, i);
    int slot = -1;
    for (int k = 0; k < 2; ++k) {
      if (PyUnicode_Check(key) && PyUnicode_CompareWithASCIIString(key, names[k]) == 0) slot = k;
    }
    if (slot < 0) {
      PyErr_Format(PyExc_TypeError, "%s() got an unexpected keyword argument '%U'", fname, key);
      return false;
    }
    if (slots[slot]) {
      PyErr_Format(PyExc_TypeError, "%s() got multiple values for argument '%s'", fname, names[slot]);
      return false;
    }
    slots[slot] = args[nargs + i];
  }
  if (!slots[0]) {
    PyErr_Format(PyExc_TypeError, "%s() missing 1 required positional argument: 'html'", fname);
    return false;
  }
  out.html = slots[0];
  out.options = slots[1] == Py_None ? nullptr : slots[1];
  return true;
}

// The UTF-8 form of `html`, borrowed from the str object for the call.
bool html_utf8(const char* fname, PyObject* html, std::string_view& out) {
  if (!PyUnicode_Check(html)) {
    PyErr_Format(PyExc_TypeError, "%s() argument 'html' must be str, not %s", fname, Py_TYPE(html)->tp_name);
    return false;
  }
  Py_ssize_t size = 0;
  const char* data = PyUnicode_AsUTF8AndSize(html, &size);
  if (!data) {
    // Keep the interpreter's own encoding error; name the argument in a note.
    PyObject *type, *value, *traceback;
    PyErr_Fetch(&type, &value, &traceback);
    PyErr_NormalizeException(&type, &value, &traceback);
    if (value) {
      py::Ref note(PyUnicode_FromFormat("while reading argument 'html' of %s()", fname));
      if (note) {
        py::Ref r(PyObject_CallMethod(value, "add_note", "O", note.get()));
        if (!r) PyErr_Clear();
      }
    }
    PyErr_Restore(type, value, traceback);
    return false;
  }
  out = std::string_view(data, static_cast<std::size_t>(size));
  return true;
}

PyObject* import_json() {
  py::Ref name = py::str("json");
  if (!name) return nullptr;
  return PyImport_Import(name.get());
}

}  // namespace

bool parse_conversion_options(PyObject* obj, ConversionOptions& out) {
  if (!obj || obj == Py_None) {
    out = default_options();
    return true;
  }
  py::Ref json(import_json());
  if (!json) return false;
  py::Ref dumps(PyObject_GetAttrString(json.get(), "dumps"));
  if (!dumps) return false;
  py::Ref text(PyObject_CallOneArg(dumps.get(), obj));
  if (!text) return false;
  if (!PyUnicode_Check(text.get())) {
    PyErr_Format(PyExc_TypeError, "json.dumps returned %s, not str", Py_TYPE(text.get())->tp_name);
    return false;
  }
  Py_ssize_t size = 0;
  const char* data = PyUnicode_AsUTF8AndSize(text.get(), &size);
  if (!data) return false;
  std::string owned(data, static_cast<std::size_t>(size));
  JsonError error;
  if (!conversion_options_from_json(owned, out, error)) {
    py::raise(PyExc_ValueError, "invalid conversion options: " + error.display());
    return false;
  }
  return true;
}

namespace {

enum class Returns { Dict, Text };

PyObject* run_conversion(const char* fname, Returns returns, PyObject* const* args, Py_ssize_t nargsf,
                         PyObject* kwnames) {
  Arguments arguments;
  if (!parse_arguments(fname, args, nargsf, kwnames, arguments)) return nullptr;
  std::string_view html;
  if (!html_utf8(fname, arguments.html, html)) return nullptr;
  try {
    ConversionOptions options;
    if (!parse_conversion_options(arguments.options, options)) return nullptr;
    Outcome<ConversionResult> outcome = convert_entry(html, std::move(options));
    if (!outcome) {
      py::raise(PyExc_ValueError, outcome.error().display());
      return nullptr;
    }
    const ConversionResult& result = outcome.value();
    if (returns == Returns::Text) {
      return py::str(result.content ? std::string_view(*result.content) : std::string_view()).release();
    }
    std::string buffer;
    buffer.reserve(128);
    serialize_conversion_result(result, buffer);
    py::Ref json(import_json());
    if (!json) return nullptr;
    py::Ref loads(PyObject_GetAttrString(json.get(), "loads"));
    if (!loads) return nullptr;
    py::Ref text = py::str(buffer);
    if (!text) return nullptr;
    return PyObject_CallOneArg(loads.get(), text.get());
  } catch (...) {
    raise_from_current_exception();
    return nullptr;
  }
}

PyObject* py_convert(PyObject*, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
  return run_conversion("convert", Returns::Dict, args, nargsf, kwnames);
}

PyObject* py_convert_to_markdown(PyObject*, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
  return run_conversion("convert_to_markdown", Returns::Text, args, nargsf, kwnames);
}

PyMethodDef convert_def = {"convert", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(py_convert)),
                           METH_FASTCALL | METH_KEYWORDS,
                           "convert(html, options=None)\n--\n\n"
                           "Converts `html` and returns the whole result. Raises ValueError for bad\n"
                           "options or refused input, TypeError for arguments of the wrong type,\n"
                           "MemoryError when the output is too large to hold in memory."};
PyMethodDef convert_to_markdown_def = {
    "convert_to_markdown", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(py_convert_to_markdown)),
    METH_FASTCALL | METH_KEYWORDS,
    "convert_to_markdown(html, options=None)\n--\n\n"
    "Converts `html` and returns the text alone (\"\" when there is none)."};

// Adds `value` under `name` and appends the name to `__all__`.
int add_public(PyObject* module, const char* name, PyObject* value) {
  py::Ref all(PyObject_GetAttrString(module, "__all__"));
  if (!all) {
    if (!PyErr_ExceptionMatches(PyExc_AttributeError)) return -1;
    PyErr_Clear();
    all = py::Ref(PyList_New(0));
    if (!all || PyObject_SetAttrString(module, "__all__", all.get()) < 0) return -1;
  }
  py::Ref key(PyUnicode_FromString(name));
  if (!key || PyList_Append(all.get(), key.get()) < 0) return -1;
  return PyObject_SetAttr(module, key.get(), value);
}

// The functions present themselves as members of the package ("tidewell"),
// where users find them.
int add_function(PyObject* module, PyMethodDef* def) {
  py::Ref module_name(PyUnicode_FromString("tidewell"));
  if (!module_name) return -1;
  py::Ref function(PyCMethod_New(def, module, module_name.get(), nullptr));
  if (!function) return -1;
  py::Ref name(PyObject_GetAttrString(function.get(), "__name__"));
  if (!name) return -1;
  if (!PyUnicode_Check(name.get())) {
    PyErr_SetString(PyExc_TypeError, "function __name__ must be a str");
    return -1;
  }
  const char* text = PyUnicode_AsUTF8(name.get());
  if (!text) return -1;
  return add_public(module, text, function.get());
}

int module_exec(PyObject* module) {
  if (!PyModule_Check(module)) {
    PyErr_SetString(PyExc_TypeError, "tidewell: exec step expects a module");
    return -1;
  }
  py::Ref version(PyUnicode_FromString(kVersion));
  if (!version || add_public(module, "__version__", version.get()) < 0) return -1;
  if (add_function(module, &convert_def) < 0) return -1;
  if (add_function(module, &convert_to_markdown_def) < 0) return -1;
  PyObject* stream_type = markdown_stream_processor_type();
  if (!stream_type || add_public(module, "MarkdownStreamProcessor", stream_type) < 0) return -1;
  return 0;
}

PyModuleDef_Slot module_slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(module_exec)},
    {0, nullptr},
};

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT, "tidewell._tidewell", "", 0, nullptr, module_slots, nullptr, nullptr, nullptr,
};

}  // namespace
}  // namespace tidewell

PyMODINIT_FUNC PyInit__tidewell(void) { return PyModuleDef_Init(&tidewell::module_def); }
