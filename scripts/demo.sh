#!/usr/bin/env bash
# Builds zoba and shows what it makes of the bundled sample. Installs what is
# missing first; can be run again.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib.sh
need_build_tools

cmake --preset windows >/dev/null
cmake --build --preset windows
echo
echo "The Windows program is build/windows/zoba.exe."
echo "Copy it to a folder of its own and open samples/sample.tvpi with it."

# ---- Linux: the program on the bundled sample, ending with its job in atq.
bash scripts/demo-linux.sh
