#!/usr/bin/env bash
# Lists the CPython interpreters the module is built and tested on: the
# default python3 and, when pyenv carries them, 3.12 and 3.13.
set -u
echo python3
root="${PYENV_ROOT:-$HOME/.pyenv}"
for v in 3.12 3.13; do
  for d in "$root"/versions/"$v".*; do
    if [ -x "$d/bin/python" ]; then echo "$d/bin/python"; break; fi
  done
done
