// The class MarkdownStreamProcessor: HTML converted in chunks, each call
// returning the Markdown that is ready.
#include <atomic>
#include <cstdint>
#include <new>
#include <string>

#include "python/module.hpp"
#include "python/py_ref.hpp"
#include "converter/entry/markdown_stream.hpp"

namespace tidewell {
namespace {

struct StreamObject {
  PyObject_HEAD
  MarkdownStream* stream;
  // 0 when free; every method holds it for the whole call.
  std::atomic<std::uintptr_t> access;
};

constexpr std::uintptr_t kBorrowed = ~std::uintptr_t{0};

// Exclusive access to one object for one call, released on every path.
class Borrow {
 public:
  explicit Borrow(StreamObject* self) : self_(self) {
    std::uintptr_t expected = 0;
    held_ = self_->access.compare_exchange_strong(expected, kBorrowed);
    if (!held_) PyErr_SetString(PyExc_RuntimeError, "Already borrowed");
  }
  ~Borrow() {
    if (held_) self_->access.store(0);
  }
  Borrow(const Borrow&) = delete;
  Borrow& operator=(const Borrow&) = delete;
  explicit operator bool() const { return held_; }

 private:
  StreamObject* self_;
  bool held_;
};

// The one argument of a call: by position or by the keyword `name`, at most
// one positional; nullptr when it was not given. False with TypeError set for
// anything else.
bool single_argument(const char* function, const char* name, PyObject* args, PyObject* kwargs, bool required,
                     PyObject** out) {
  *out = nullptr;
  const Py_ssize_t nargs = PyTuple_GET_SIZE(args);
  if (nargs > 1) {
    PyErr_Format(PyExc_TypeError, "%s() takes at most 1 positional argument (%zd given)", function, nargs);
    return false;
  }
  if (nargs == 1) *out = PyTuple_GET_ITEM(args, 0);
  if (kwargs && PyDict_GET_SIZE(kwargs) > 0) {
    py::Ref key(PyUnicode_FromString(name));
    if (!key) return false;
    PyObject* value = PyDict_GetItemWithError(kwargs, key.get());
    if (!value && PyErr_Occurred()) return false;
    if (value && *out) {
      PyErr_Format(PyExc_TypeError, "%s() got multiple values for argument '%s'", function, name);
      return false;
    }
    if (PyDict_GET_SIZE(kwargs) > (value ? 1 : 0)) {
      PyObject *key, *item;
      Py_ssize_t pos = 0;
      while (PyDict_Next(kwargs, &pos, &key, &item)) {
        if (PyUnicode_Check(key) && PyUnicode_CompareWithASCIIString(key, name) == 0) continue;
        PyErr_Format(PyExc_TypeError, "%s() got an unexpected keyword argument '%S'", function, key);
        return false;
      }
    }
    if (value) *out = value;
  }
  if (!*out && required) {
    PyErr_Format(PyExc_TypeError, "%s() missing 1 required positional argument: '%s'", function, name);
    return false;
  }
  return true;
}

PyObject* stream_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  PyObject* options = nullptr;
  if (!single_argument("MarkdownStreamProcessor", "options", args, kwargs, false, &options)) return nullptr;
  try {
    // The options are read only to refuse bad ones: the stream always
    // converts with its own fixed settings.
    ConversionOptions checked;
    if (!parse_conversion_options(options, checked)) return nullptr;
    auto* stream = new MarkdownStream(4096);
    auto* self = reinterpret_cast<StreamObject*>(type->tp_alloc(type, 0));
    if (!self) {
      delete stream;
      return nullptr;
    }
    self->stream = stream;
    new (&self->access) std::atomic<std::uintptr_t>(0);
    return reinterpret_cast<PyObject*>(self);
  } catch (...) {
    raise_from_current_exception();
    return nullptr;
  }
}

void stream_dealloc(PyObject* object) {
  auto* self = reinterpret_cast<StreamObject*>(object);
  PyTypeObject* type = Py_TYPE(object);
  delete self->stream;
  self->stream = nullptr;
  type->tp_free(object);
  Py_DECREF(type);
}

// The Markdown of a call, or ValueError with the refusal convert would give.
PyObject* text_result(const Outcome<std::string>& markdown) {
  if (!markdown) {
    py::raise(PyExc_ValueError, markdown.error().display());
    return nullptr;
  }
  return py::str(markdown.value()).release();
}

// False with ValueError set once finish() has ended the document (a refused
// stream keeps raising its refusal instead).
bool still_open(const StreamObject* self, const char* function) {
  if (!self->stream->finished() || self->stream->refused()) return true;
  PyErr_Format(PyExc_ValueError,
               "%s() called after finish(); create a new MarkdownStreamProcessor for the next document", function);
  return false;
}

PyObject* stream_process_chunk(PyObject* object, PyObject* args, PyObject* kwargs) {
  auto* self = reinterpret_cast<StreamObject*>(object);
  Borrow borrow(self);
  if (!borrow) return nullptr;
  PyObject* chunk = nullptr;
  if (!single_argument("process_chunk", "chunk", args, kwargs, true, &chunk)) return nullptr;
  if (!PyUnicode_Check(chunk)) {
    PyErr_Format(PyExc_TypeError, "process_chunk() argument 'chunk' must be str, not %s", Py_TYPE(chunk)->tp_name);
    return nullptr;
  }
  if (!still_open(self, "process_chunk")) return nullptr;
  Py_ssize_t size = 0;
  const char* data = PyUnicode_AsUTF8AndSize(chunk, &size);
  if (!data) return nullptr;
  try {
    return text_result(self->stream->process_chunk(std::string_view(data, static_cast<std::size_t>(size))));
  } catch (...) {
    raise_from_current_exception();
    return nullptr;
  }
}

PyObject* stream_finish(PyObject* object, PyObject*) {
  auto* self = reinterpret_cast<StreamObject*>(object);
  Borrow borrow(self);
  if (!borrow) return nullptr;
  if (!still_open(self, "finish")) return nullptr;
  try {
    return text_result(self->stream->finish());
  } catch (...) {
    raise_from_current_exception();
    return nullptr;
  }
}

PyMethodDef stream_methods[] = {
    {"process_chunk", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(stream_process_chunk)),
     METH_VARARGS | METH_KEYWORDS,
     "process_chunk($self, chunk)\n--\n\n"
     "The Markdown ready after `chunk`. Raises ValueError for input that\n"
     "`convert` refuses (the same message, from then on at every call) and\n"
     "after `finish`."},
    {"finish", stream_finish, METH_NOARGS,
     "finish($self)\n--\n\n"
     "Ends the document and returns the rest of the Markdown. Raises\n"
     "ValueError when the input is refused or `finish` was called before."},
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot stream_slots[] = {
    {Py_tp_doc, const_cast<char*>("MarkdownStreamProcessor(options=None)\n--\n\n"
                                   "Converts HTML that arrives in pieces: each `process_chunk` returns the\n"
                                   "Markdown that can no longer change, keeping markup cut by the chunk's end\n"
                                   "for the next call; `finish` returns the rest. The options are checked like\n"
                                   "those of `convert` (ValueError when refused) and otherwise not used. One\n"
                                   "object converts one document.")},
    {Py_tp_new, reinterpret_cast<void*>(stream_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(stream_dealloc)},
    {Py_tp_methods, stream_methods},
    {0, nullptr},
};

PyType_Spec stream_spec = {
    "builtins.MarkdownStreamProcessor",
    sizeof(StreamObject),
    0,
    Py_TPFLAGS_DEFAULT,
    stream_slots,
};

}  // namespace

PyObject* markdown_stream_processor_type() {
  static PyObject* type = nullptr;
  if (!type) type = PyType_FromSpec(&stream_spec);
  return type;
}

}  // namespace tidewell
