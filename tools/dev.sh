#!/usr/bin/env bash
# The dev loop: builds this tree's extension module incrementally and lays out
# an importable `tidewell` package in build/dev/python, installing nothing:
#
#     tools/dev.sh && PYTHONPATH=build/dev/python python3 -m pytest tests/python
#
# tools/dev.sh [PYTHON]   builds for PYTHON (default: python3) in
# build/dev/<cpXY>. Builds for several interpreters share build/dev/python,
# since each module's file name carries its interpreter's tag.
# TIDEWELL_JOBS sets the build's parallelism (default 4); TIDEWELL_WERROR=1
# turns warnings into errors.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
py="${1:-python3}"
tag="$("$py" -c 'import sys; print("cp%d%d" % sys.version_info[:2])')"
exe="$("$py" -c 'import sys; print(sys.executable)')"

# cmake and ninja from the project venv of this interpreter (tools/setup.sh),
# when there is one.
if [ -d "$root/.venv/$tag/bin" ]; then PATH="$root/.venv/$tag/bin:$PATH"; fi

build="$root/build/dev/$tag"
package="$root/build/dev/python"
werror=OFF
if [ "${TIDEWELL_WERROR:-0}" = 1 ]; then werror=ON; fi
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTIDEWELL_BUILD_TESTS=OFF \
  -DTIDEWELL_BUILD_MODULE=ON -DPython_EXECUTABLE="$exe" -DTIDEWELL_PACKAGE_DIR="$package" \
  -DTIDEWELL_WERROR="$werror" >/dev/null
cmake --build "$build" --parallel "${TIDEWELL_JOBS:-4}"
