#!/usr/bin/env bash
# Runs a command with an Xvfb display and a Wine prefix of its own (Japanese
# locale, ANSI code page 932), then ends the wineserver and the display and
# removes the prefix. Exits 77, the tests' skip code, when no display or no
# working Wine could be had; otherwise with the command's own status.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../../scripts/wine-env.sh"

prefix=$(mktemp -d "${TMPDIR:-/tmp}/zoba-wine.XXXXXX")
cleanup() {
  wine_env_stop
  rm -rf "$prefix"
}
trap cleanup EXIT

wine_env_start_display || { echo "SKIP: no X display could be started"; exit 77; }
wine_env_make_prefix "$prefix" || { echo "SKIP: Wine could not make a prefix"; exit 77; }
"$@"
