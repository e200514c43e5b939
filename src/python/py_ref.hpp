// Small RAII helpers over the CPython C API.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <string_view>

namespace tidewell::py {

// An owned (strong) reference, released on scope exit.
class Ref {
 public:
  Ref() = default;
  explicit Ref(PyObject* owned) : p_(owned) {}
  Ref(const Ref&) = delete;
  Ref& operator=(const Ref&) = delete;
  Ref(Ref&& other) noexcept : p_(other.p_) { other.p_ = nullptr; }
  Ref& operator=(Ref&& other) noexcept {
    if (this != &other) {
      Py_XDECREF(p_);
      p_ = other.p_;
      other.p_ = nullptr;
    }
    return *this;
  }
  ~Ref() { Py_XDECREF(p_); }

  PyObject* get() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  // Hands the reference to the caller.
  PyObject* release() {
    PyObject* p = p_;
    p_ = nullptr;
    return p;
  }

 private:
  PyObject* p_ = nullptr;
};

// A new str from UTF-8 bytes with an explicit length (NUL bytes and '%' are
// taken as text, never interpreted).
inline Ref str(std::string_view text) {
  return Ref(PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size())));
}

// Raises `type` with a message given by length.
inline void raise(PyObject* type, std::string_view message) {
  Ref msg = str(message);
  if (msg) PyErr_SetObject(type, msg.get());
}

}  // namespace tidewell::py
