#!/usr/bin/env bash
# Builds the extension module with AddressSanitizer and UndefinedBehavior-
# Sanitizer into build/asan-module and runs a Python command against it:
#
#     tools/sanitized_module.sh [PYTHON] -- ARGS...
#     tools/sanitized_module.sh .venv/cp311/bin/python -- tools/fuzz_roads.py --count 500000
#
# The interpreter itself is not instrumented, so the sanitizer runtimes are
# preloaded; leak checking is off (the interpreter keeps its own memory
# until exit), every other report aborts the run.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
py="python3"
if [ "${1:-}" != "--" ] && [ $# -gt 0 ]; then py="$1"; shift; fi
[ "${1:-}" = "--" ] && shift
tag="$("$py" -c 'import sys; print("cp%d%d" % sys.version_info[:2])')"
exe="$("$py" -c 'import sys; print(sys.executable)')"
if [ -d "$root/.venv/$tag/bin" ]; then PATH="$root/.venv/$tag/bin:$PATH"; fi
build="$root/build/asan-module/$tag"
package="$root/build/asan-module/python"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTIDEWELL_BUILD_TESTS=OFF \
  -DTIDEWELL_BUILD_MODULE=ON -DTIDEWELL_SANITIZE=ON -DPython_EXECUTABLE="$exe" \
  -DTIDEWELL_PACKAGE_DIR="$package" >/dev/null
cmake --build "$build" --parallel "${TIDEWELL_JOBS:-4}" >/dev/null
preload="$(g++ -print-file-name=libasan.so) $(g++ -print-file-name=libubsan.so)"
LD_PRELOAD="$preload" PYTHONPATH="$package" ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 \
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 "$py" "$@"
