#!/usr/bin/env bash
# Runs every test: the C++ unit tests (GoogleTest through CTest), the same
# suite again under AddressSanitizer/UndefinedBehaviorSanitizer (it holds the
# corpus, html5lib and fuzz runs of the whole entry), and the Python suite on
# every interpreter the module was installed into.
# TIDEWELL_SKIP_SANITIZE=1 leaves out the sanitizer pass for a quick local run.
set -euo pipefail
cd "$(dirname "$0")/.."

jobs="${TIDEWELL_JOBS:-$(nproc)}"

cmake -S . -B build/tests -G Ninja -DTIDEWELL_BUILD_MODULE=OFF -DTIDEWELL_BUILD_TESTS=ON \
  -DTIDEWELL_WERROR=ON >/dev/null
cmake --build build/tests --parallel "$jobs"
ctest --test-dir build/tests --output-on-failure --parallel "$jobs"

if [ "${TIDEWELL_SKIP_SANITIZE:-0}" != 1 ]; then
  echo "== C++ tests under ASan/UBSan"
  cmake -S . -B build/asan -G Ninja -DTIDEWELL_BUILD_MODULE=OFF -DTIDEWELL_BUILD_TESTS=ON \
    -DTIDEWELL_SANITIZE=ON -DTIDEWELL_WERROR=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build build/asan --parallel "$jobs"
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir build/asan --output-on-failure --parallel "$jobs"
fi

for py in $(tools/pythons.sh); do
  echo "== pytest on $($py --version)"
  $py -m pytest -q -p no:cacheprovider tests/python
done
