#!/usr/bin/env bash
# The Linux program on the bundled sample: builds zoba and AT, sets up
# demo/ with a settings file that knows the sample's station, the sample
# dated tomorrow and a harmless recorder that only logs its arguments, runs
# zoba there and shows the job atq lists. Installs and starts what it needs
# (at, atd). Can be run again: the previous demo job is removed first.
#
# zoba asks on the terminal. Without one it shows the confirmation on
# standard error and registers nothing, unless ZOBA_DEMO_ANSWER holds the
# answer to type (y for OK).
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
cp build/linux-release/zoba build/linux-release/AT "$demo/"
cp samples/demo-recorder.sh "$demo/recorder"
# The job runs in zoba's folder, so the recorder is named relative to it.
printf '[ZOBA]\r\ndebug=0\r\nsch_start_offset=-1\r\nrec_end_offset=0\r\nno=0\r\nrec_exec=./recorder\r\n[TVCH]\r\nテレビ東京=8\r\n[REC]\r\n; With rec_exec=REC, REC records with the recorder named here, for example\r\n; command=recpt1 --b25 --strip {channel} {seconds} {file}\r\n' |
  iconv -f UTF-8 -t CP932 >"$demo/zoba.ini"
read -r year month day < <(date -d tomorrow '+%Y %m %d')
LC_ALL=C sed -e "s/^year: [0-9]*/year: $year/" -e "s/^month: [0-9]*/month: $month/" \
  -e "s/^date: [0-9]*/date: $day/" samples/sample.tvpi >"$demo/sample.tvpi"

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
  echo "The recorder will log to $demo/recorder.log, the job to $demo/zoba-jobs.log."
  echo "Remove the job with: $demo/AT Y0001 /delete (or atrm $job)"
else
  echo "No job was registered."
fi
