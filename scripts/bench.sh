#!/usr/bin/env bash
# Builds the scan benchmark (Release) and prints the machine and the table
# that docs/performance.md keeps: the line scan over a generated iEPG file
# (two shapes, 256 MiB each) against a memchr count of its line feeds.
#   scripts/bench.sh [MIB]
# Installs what is missing first; run it on an otherwise idle machine.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib.sh
need_build_tools

cmake --preset bench >/dev/null
cmake --build --preset bench >/dev/null

cpu="$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//')"
memory="$(free -g | awk '/^Mem:/ { print $2 }')"
echo "Machine: $(nproc) cores, ${cpu}, ${memory} GiB memory, $(uname -sr)"
echo "Compiler: $(c++ --version | head -n 1)"
echo
build/bench/scan_bench "${1:-256}"
