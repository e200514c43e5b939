#!/usr/bin/env bash
# Runs every test: the C++ unit tests (GoogleTest through CTest) and the
# Python suite on every interpreter the module was installed into.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake -S . -B build/tests -G Ninja -DTIDEWELL_BUILD_MODULE=OFF -DTIDEWELL_BUILD_TESTS=ON >/dev/null
cmake --build build/tests --parallel
ctest --test-dir build/tests --output-on-failure --parallel "$(nproc)"

for py in $(tools/pythons.sh); do
  echo "== pytest on $($py --version)"
  $py -m pytest -q -p no:cacheprovider tests/python
done
