#!/usr/bin/env bash
# The Linux program on the bundled sample: builds zoba, AT and REC, sets up
# demo/ with a settings file that knows the sample's station and records
# with REC through a harmless stand-in tuner (demo/tuner, which writes bytes
# for the seconds asked: no tuner, no network), dates the sample a few
# minutes ahead, runs zoba there and shows the job atq lists, then where
# the recording and REC.log will appear and when. Installs and starts what
# it needs (at, atd). Can be run again: the previous demo job is removed
# first.
#
# zoba asks on the terminal. Without one it shows the confirmation on
# standard error and registers nothing, unless ZOBA_DEMO_ANSWER holds the
# answer to type (y for OK). It ends once the job is queued; with
# ZOBA_DEMO_WAIT=1 it waits for the recording and shows REC's log line.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib.sh
. scripts/linux.sh
need_build_tools
start_atd

cmake --preset linux-release >/dev/null
cmake --build --preset linux-release

demo="$PWD/demo"
mkdir -p "$demo"
if [ -f "$demo/job" ]; then
  atrm "$(cat "$demo/job")" 2>/dev/null || true
  rm -f "$demo/job"
fi
cp build/linux-release/zoba build/linux-release/AT build/linux-release/REC "$demo/"
# The stand-in tuner REC starts: a recorder's arguments, a recorder's bytes.
cat >"$demo/tuner" <<'TUNER'
#!/bin/sh
# A stand-in tuner for the demo: writes 18,800 bytes a second to the file
# (argument 1) for the seconds asked (argument 2), as a recorder would.
end=$(($(date +%s) + $2))
while [ "$(date +%s)" -lt "$end" ]; do
  head -c 18800 /dev/zero >>"$1" || exit 1
  sleep 1
done
TUNER
chmod +x "$demo/tuner"
# The programme starts on the third minute from now and lasts one: the job
# launches a minute before the start (sch_start_offset=-1), REC starts the
# tuner 5 seconds before it and the recording ends with the programme.
read -r year month day start < <(date -d '+3 min' '+%Y %m %d %H:%M')
end=$(date -d '+4 min' '+%H:%M')
# In UTF-8, as a settings file on Linux is.
printf '[ZOBA]\r\ndebug=0\r\nsch_start_offset=-1\r\nrec_end_offset=0\r\nno=0\r\n[TVCH]\r\nテレビ東京=8\r\n[REC]\r\ncommand="%s" {file} {seconds}\r\nfolder=%s\r\n; With a tuner, for example\r\n; command=recpt1 --b25 --strip {channel} {seconds} {file}\r\n' \
  "$demo/tuner" "$demo/recordings" >"$demo/zoba.ini"
LC_ALL=C sed -e "s/^year: [0-9]*/year: $year/" -e "s/^month: [0-9]*/month: $month/" \
  -e "s/^date: [0-9]*/date: $day/" -e "s/^start: [0-9:]*/start: $start/" \
  -e "s/^end: [0-9:]*/end: $end/" samples/sample.tvpi >"$demo/sample.tvpi"

# Waits until REC.log has a line for the recording (at most until the given
# time), then shows it and the recording's size.
wait_for_recording() {
  echo
  echo "Waiting for the recording (until $(date -d "@$2" +%H:%M:%S))..."
  while [ "$(date +%s)" -lt "$2" ] && ! grep -qF "$1" REC.log 2>/dev/null; do
    sleep 5
  done
  if grep -qF "$1" REC.log 2>/dev/null; then
    echo "REC.log says:"
    grep -F "$1" REC.log
    ls -l "$1"
  else
    echo "REC.log has no line for it yet; see $demo/zoba-jobs.log."
  fi
}

rm -f "$demo/REC.log"
before=$(atq | cut -f1 | sort)
cd "$demo"
echo
if [ -t 0 ] && [ -t 2 ]; then
  ./zoba sample.tvpi
elif [ -n "${ZOBA_DEMO_ANSWER:-}" ]; then
  echo "(No terminal: typing \"$ZOBA_DEMO_ANSWER\" from ZOBA_DEMO_ANSWER.)"
  printf '%s\n' "$ZOBA_DEMO_ANSWER" | script -qec "./zoba sample.tvpi" /dev/null
else
  echo "(No terminal to answer on: zoba registers nothing. ZOBA_DEMO_ANSWER=y answers OK.)"
  ./zoba sample.tvpi </dev/null
fi
job=$(comm -13 <(echo "$before") <(atq | cut -f1 | sort) | head -1)
echo
if [ -n "$job" ]; then
  echo "$job" >job
  echo "atq lists the demo job:"
  atq | grep -P "^$job\t"
  echo "It will run: $(at -c "$job" | grep -F " 2>>'zoba-jobs.log'" | sed "s/ 2>>.*//")"
  recording="$demo/recordings/$year$month$day-${start/:/}_8_Sample_Show.ts"
  echo "At $start REC starts the stand-in tuner; at $end the recording is whole:"
  echo "  $recording"
  echo "REC writes its line to $demo/REC.log then, the job to $demo/zoba-jobs.log."
  echo "Remove the job with: $demo/AT Y0001 /delete (or atrm $job)"
  if [ "${ZOBA_DEMO_WAIT:-}" = 1 ]; then
    wait_for_recording "$recording" "$(date -d '+5 min' +%s)"
  else
    echo "(ZOBA_DEMO_WAIT=1 waits for it and shows REC's line.)"
  fi
else
  echo "No job was registered."
fi
