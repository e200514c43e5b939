// What the module's parts share: the reading of an `options` argument, the
// mapping of C++ exceptions onto Python exceptions, and the stream class.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include "options/options.hpp"

namespace tidewell {

// Reads an `options` argument: absent (nullptr) or None gives the defaults;
// anything else goes through json.dumps and the options reader. False with a
// Python exception set when the options are refused (ValueError "invalid
// conversion options: ...") or json.dumps fails (its exception unchanged).
bool parse_conversion_options(PyObject* obj, ConversionOptions& out);

// Raises the Python exception for the C++ exception being handled: MemoryError
// for allocation failure and for a string that would outgrow its largest
// size, RuntimeError "internal error in tidewell" otherwise. Call only inside
// a catch block.
void raise_from_current_exception();

// The class MarkdownStreamProcessor, created on first use and kept for the
// life of the process; a borrowed reference, or nullptr with an exception set.
PyObject* markdown_stream_processor_type();

}  // namespace tidewell
