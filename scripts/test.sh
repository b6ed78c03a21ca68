#!/usr/bin/env bash
# Runs every test: format check, the unit tests (Linux, with sanitizers),
# the Windows build, and each fuzz target for 30 s. Installs what is missing
# first; can be run again.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib.sh
need_build_tools

echo "== format check"
git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror

echo "== linux: unit tests"
cmake --preset linux >/dev/null
cmake --build --preset linux
ctest --preset linux

echo "== windows: zoba.exe"
cmake --preset windows >/dev/null
cmake --build --preset windows

echo "== fuzz: each target for 30 s"
bash scripts/fuzz.sh 30
