#!/usr/bin/env bash
# Runs every test: format and clang-tidy checks, the unit tests (Linux, with sanitizers), the
# Linux differential, end-to-end and robustness suites, the Windows build,
# whose unit tests and end-to-end suite run under Wine, and each fuzz target
# for 30 s. Installs what is missing first; can be run again.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib.sh
need_build_tools
. scripts/wine-env.sh
wine_env_install

echo "== format check"
git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror
echo "== clang-tidy"
bash scripts/tidy.sh

# ---- Linux: Wine for the profile differential test, at and a running atd
# for the end-to-end suite.
. scripts/linux.sh
prepare_linux_tests
# ---- end of the Linux block

echo "== linux: unit tests"
cmake --preset linux >/dev/null
cmake --build --preset linux
linux_log=build/linux/linux-tests.log
ctest --preset linux -E '^robust_' 2>&1 | tee "$linux_log"
if grep -q 'linux_desktop .*Skipped' "$linux_log"; then
  echo "FAILED: the desktop test was skipped; the set-up installs what it needs" >&2
  exit 1
fi

# A case that cannot be set up here (no mounts, no immutable files) is
# skipped and counted as such, never as passed.
echo "== linux: killed while writing, sixteen at once, unwritable settings"
robust_log=build/linux/robust-tests.log
robust_status=0
ctest --preset linux -R '^robust_' --verbose >"$robust_log" 2>&1 || robust_status=$?
grep -E '^[0-9]+: ((PASS|FAIL|SKIP) |  )|^ *[0-9]+/[0-9]+ Test' "$robust_log" | sed 's/^[0-9]*: //'
awk '/^[0-9]+: PASS /{p++} /^[0-9]+: FAIL /{f++} /^[0-9]+: SKIP /{s++}
     END{printf "robust: %d passed, %d failed, %d skipped\n", p, f, s}' "$robust_log"
if [ "$robust_status" -ne 0 ]; then
  cat "$robust_log" >&2
  exit "$robust_status"
fi

echo "== windows: zoba.exe"
cmake --preset windows >/dev/null
cmake --build --preset windows

# --- Windows under Wine ------------------------------------------------------
# Each test makes its own display and prefix; a test that cannot have them is
# skipped by CTest, and a skipped Wine test fails the test command.
wine_log=build/windows/wine-tests.log
echo "== windows: unit tests under Wine"
ctest --preset windows -E '^wine_e2e$' 2>&1 | tee "$wine_log"
echo "== windows: zoba.exe end to end under Wine"
ctest --preset windows -R '^wine_e2e$' --verbose 2>&1 | tee -a "$wine_log"
if grep -q '(Skipped)' "$wine_log"; then
  echo "FAILED: a Wine test was skipped; the Windows program was not tested" >&2
  exit 1
fi

echo "== fuzz: each target for 30 s"
bash scripts/fuzz.sh 30
