#!/usr/bin/env bash
# Runs every test of the current source: the C++ unit tests (GoogleTest
# through CTest), the same suite again under AddressSanitizer/
# UndefinedBehaviorSanitizer (it holds the corpus, html5lib and fuzz runs of
# the whole entry), and the Python suite on every interpreter of
# tools/pythons.sh against the module rebuilt from this tree (tools/dev.sh),
# never an installed one. Warnings are errors in every build.
# The tests read the shared corpus at ../shared/corpus; without it the tests
# that need it are skipped, or fail with TIDEWELL_REQUIRE_CORPUS=1 (CI).
# TIDEWELL_SKIP_SANITIZE=1 leaves out the sanitizer pass for a quick local run;
# TIDEWELL_JOBS sets the parallelism (default: all cores).
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
jobs="${TIDEWELL_JOBS:-$(nproc)}"

# The real pages, html5lib cases and ground truth the tests read.
if [ ! -d ../shared/corpus ]; then
  echo "note: no test corpus at $(cd .. && pwd)/shared/corpus: the tests that need it are skipped" \
    "(TIDEWELL_REQUIRE_CORPUS=1 makes them fail, as in CI)" >&2
fi
export TIDEWELL_JOBS="$jobs" TIDEWELL_WERROR=1

# cmake and ninja from the first project venv when they are not on PATH.
for venv in .venv/*/bin; do
  if [ -d "$venv" ]; then PATH="$PATH:$root/$venv"; break; fi
done

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
  tag="$("$py" -c 'import sys; print("cp%d%d" % sys.version_info[:2])')"
  runner="$py"
  if [ -x ".venv/$tag/bin/python" ]; then runner=".venv/$tag/bin/python"; fi
  echo "== pytest on $("$runner" --version) against build/dev/python"
  tools/dev.sh "$py"
  PYTHONPATH="$root/build/dev/python" TIDEWELL_EXPECT_PACKAGE="$root/build/dev/python/tidewell" \
    "$runner" -m pytest -q -p no:cacheprovider tests/python
done
