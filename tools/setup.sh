#!/usr/bin/env bash
# Prepares a fresh Debian machine: the system packages the build needs, and
# for every CPython interpreter that tools/pythons.sh lists a project venv
# .venv/<cpXY> holding the build and test tools and the module installed
# from this tree; then converts a small sample page. Nothing is installed
# into the interpreters themselves, so this works where the system python3 is
# externally managed.
set -euo pipefail
cd "$(dirname "$0")/.."

SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO=sudo; fi
need=""
for pkg in g++ libgtest-dev; do
  dpkg -s "$pkg" >/dev/null 2>&1 || need="$need $pkg"
done
# Debian's own python3 needs its venv and header packages.
if ! python3 -c 'import ensurepip' >/dev/null 2>&1; then need="$need python3-venv"; fi
if ! python3 -c 'import os, sysconfig; assert os.path.exists(sysconfig.get_paths()["include"] + "/Python.h")' \
    >/dev/null 2>&1; then
  need="$need python3-dev"
fi
if [ -n "$need" ]; then
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq $need
fi

first=""
for py in $(tools/pythons.sh); do
  tag="$("$py" -c 'import sys; print("cp%d%d" % sys.version_info[:2])')"
  venv=".venv/$tag"
  echo "== $venv for $("$py" --version)"
  if [ ! -x "$venv/bin/python" ]; then "$py" -m venv "$venv"; fi
  "$venv/bin/python" -m pip install -q --upgrade pip >/dev/null 2>&1 || true
  # markdown-it-py: the tests read the Markdown back with a CommonMark renderer;
  # mypy: they check the type information against the built module.
  "$venv/bin/python" -m pip install -q cmake ninja pytest pyyaml scikit-build-core markdown-it-py mypy
  # djot-py: the tests read the djot output back with it; it needs Python
  # 3.12 or later, and its tests are skipped where it is missing.
  if "$venv/bin/python" -c 'import sys; sys.exit(sys.version_info < (3, 12))'; then
    "$venv/bin/python" -m pip install -q djot-py
  fi
  PATH="$PWD/$venv/bin:$PATH" "$venv/bin/python" -m pip install -q --no-build-isolation .
  first="${first:-$venv}"
done

"$first/bin/python" tools/convert_sample.py tools/sample.html
echo "== tidewell is installed in $(for v in .venv/cp*; do printf '%s ' "$v"; done)(not in the system's" \
  "python3): run $first/bin/python, or activate with '. $first/bin/activate'"
