#!/usr/bin/env bash
# Installs everything the build needs on a fresh Debian machine, builds and
# installs the module into every available CPython (3.11, 3.12, 3.13), and
# converts a small sample page.
set -euo pipefail
cd "$(dirname "$0")/.."

SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO=sudo; fi
need=""
for pkg in g++ pkg-config libgumbo-dev libgtest-dev; do
  dpkg -s "$pkg" >/dev/null 2>&1 || need="$need $pkg"
done
if [ -n "$need" ]; then
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq $need
fi

for py in $(tools/pythons.sh); do
  echo "== building for $($py --version)"
  $py -m pip install -q --upgrade pip >/dev/null 2>&1 || true
  $py -m pip install -q cmake ninja pytest scikit-build-core
  $py -m pip install -q --no-build-isolation .
done

python3 tools/convert_sample.py tools/sample.html
