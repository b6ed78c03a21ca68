#!/usr/bin/env bash
# Runs every test: format check, the unit tests (Linux, with sanitizers),
# the Linux differential and end-to-end suites, and the Windows build.
# Installs what is missing first; can be run again.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib.sh
need_build_tools

echo "== format check"
git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror

# ---- Linux: Wine for the profile differential test, at and a running atd
# for the end-to-end suite.
. scripts/linux.sh
prepare_linux_tests
# ---- end of the Linux block

echo "== linux: unit tests"
cmake --preset linux >/dev/null
cmake --build --preset linux
ctest --preset linux

echo "== windows: zoba.exe"
cmake --preset windows >/dev/null
cmake --build --preset windows
