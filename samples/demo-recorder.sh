#!/bin/sh
# A harmless stand-in for a recorder: it only notes when it was started and
# with which arguments, in recorder.log beside itself.
log="$(dirname "$0")/recorder.log"
{
  printf '%s:' "$(date '+%Y-%m-%d %H:%M')"
  for word in "$@"; do printf ' [%s]' "$word"; done
  printf '\n'
} >>"$log"
