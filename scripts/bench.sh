#!/usr/bin/env bash
# Builds the benchmarks and the Linux zoba (Release, no sanitizers) and prints
# the machine and the tables that docs/performance.md keeps:
#   scan      the line scan over generated 256 MiB files against a memchr
#             count of their line feeds (ZOBA_SCAN_MIB changes the size)
#   memory    peak resident size of a whole run on a 1 MiB and a 256 MiB file
#   startup   a whole run that ends in the no-channel notice, against /bin/true
#   settings  channel look-up and new-station write with 10 and 10,000
#             stations in [TVCH]
#   list      files of 1 and 10,000 programmes: the two passes, and whole
#             runs (time and peak resident size)
#   rec       REC recording ten short programmes side by side: start and
#             stop accuracy, CPU time while waiting, peak resident size
#             (scripts/bench_rec.py; about three minutes)
#   listing   AT's listing and a whole run to the question with an empty at
#             queue and with 200 of the install's jobs and 200 foreign ones
#             queued in 2030 (needs atd; the jobs are removed afterwards)
#   server    booking on a recording server on 127.0.0.1 that holds 1,000
#             reservations and tunes 100 channels (stand-ins for EPGStation
#             and mirakc serving canned answers): to the question and the
#             whole booking, on a pseudo-terminal (bench/server_bench.py)
#   scripts/bench.sh [PART...]   (default: every part, in that order)
# Installs what is missing first; run it on an otherwise idle machine.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib.sh
need_build_tools
need time

parts=("$@")
[ ${#parts[@]} -gt 0 ] || parts=(scan memory startup settings list rec listing server)
for part in "${parts[@]}"; do
  case "$part" in
    scan | memory | startup | settings | list | rec | listing | server) ;;
    *)
      echo "bench: unknown part $part (scan, memory, startup, settings, list, rec, listing," \
        "server)" >&2
      exit 2
      ;;
  esac
done

cmake --preset bench >/dev/null
cmake --build --preset bench >/dev/null
cmake --preset linux-release >/dev/null
cmake --build --preset linux-release >/dev/null

runs=50
# Every run of the tool: no terminal (standard input from /dev/null), no
# desktop, a UTF-8 locale, its own folder (the settings file is beside the
# program) and its own single-instance lock, so nothing else on the machine
# can make a run leave early.
work="$(mktemp -d "${TMPDIR:-/tmp}/zoba-bench.XXXXXX")"
trap 'rm -rf "$work"' EXIT
unset DISPLAY WAYLAND_DISPLAY
export LC_ALL=C.UTF-8 XDG_RUNTIME_DIR="$work"
mkdir -p "$work/tool"
cp build/linux-release/zoba "$work/tool/zoba"
zoba="$work/tool/zoba"

# iepg_file PATH BYTES: a programme of a station the settings do not know,
# so that the run ends in the no-channel notice, with a description long
# enough to make the file BYTES long (Shift_JIS, CRLF).
iepg_file() {
  local line
  line="$(printf '\x82\xb1\x82\xcc\x94\xd4\x91\x67\x82\xcd\x81\x41\x93\xfa\x96\x7b 21:00 %.0s' {1..50})"
  {
    printf 'Content-type: application/x-tv-program-info; charset=shift_jis\r\n'
    printf 'version: 1\r\nstation: BENCH-TV\r\nyear: 2008\r\nmonth: 03\r\ndate: 29\r\n'
    printf 'start: 21:00\r\nend: 21:54\r\nprogram-title: Bench\r\n\r\n'
    yes "$line"$'\r' || true
  } | head -c "$2" >"$1"
}

# Peak resident size in KiB of a whole run (median of 5).
peak_rss() {
  local i
  for i in 1 2 3 4 5; do
    /usr/bin/time -v -o "$work/time.txt" "$zoba" "$1" </dev/null 2>"$work/stderr.txt"
    grep -q 'のチャンネルが登録されていません' "$work/stderr.txt"
    awk -F': ' '/Maximum resident set size/ { print $2 }' "$work/time.txt"
  done | sort -n | sed -n 3p
}

median_of() { build/bench/run_bench "$runs" "$@" | awk '{ print $2 }'; }

bench_scan() {
  echo "== Scan throughput"
  build/bench/scan_bench "${ZOBA_SCAN_MIB:-256}"
}

bench_memory() {
  echo "== Memory: peak resident size of a whole run (median of 5)"
  iepg_file "$work/small.tvpi" $((1024 * 1024))
  iepg_file "$work/large.tvpi" $((256 * 1024 * 1024))
  local small large
  small="$(peak_rss "$work/small.tvpi")"
  large="$(peak_rss "$work/large.tvpi")"
  rm -f "$work/large.tvpi"
  echo "| file | peak RSS |"
  echo "|---|---:|"
  echo "| 1 MiB iEPG file | $small KiB |"
  echo "| 256 MiB iEPG file | $large KiB |"
  echo "Difference: $((large - small)) KiB (goal: within 1024 KiB)"
}

bench_startup() {
  echo "== Start-up: median wall time of $runs runs, no terminal"
  iepg_file "$work/notice.tvpi" 213
  local true_time zoba_time
  true_time="$(median_of /bin/true)"
  zoba_time="$(median_of "$zoba" "$work/notice.tvpi")"
  grep -q $'^BENCH-TV=\r$' "$work/tool/zoba.ini"
  echo "| program | time per run |"
  echo "|---|---:|"
  echo "| \`/bin/true\` | $true_time µs |"
  echo "| zoba, ending in the no-channel notice | $zoba_time µs |"
  awk -v z="$zoba_time" -v t="$true_time" \
    'BEGIN { printf "Ratio: %.2f (goal: within 3)\n", z / t }'
}

# settings_file PATH STATIONS: [ZOBA] and STATIONS stations in [TVCH], the
# last of them KNOWN-TV with channel 8.
settings_file() {
  {
    printf '[ZOBA]\r\ndebug=0\r\nsch_start_offset=-1\r\nrec_end_offset=0\r\nno=0012\r\n[TVCH]\r\n'
    seq 1 $(($2 - 1)) | awk '{ printf "\x83\x65\x83\x8C\x83\x72%d=%d\r\n", $1, $1 % 120 + 1 }'
    printf 'KNOWN-TV=8\r\n'
  } >"$1"
}

bench_settings() {
  echo "== Settings size: the functions"
  mkdir -p "$work/settings"
  build/bench/settings_bench "$work/settings" 10 10000
  echo
  echo "== Settings size: whole runs of zoba (median of $runs)"
  iepg_file "$work/notice.tvpi" 213
  sed 's/BENCH-TV/KNOWN-TV/' "$work/notice.tvpi" >"$work/known.tvpi"
  echo "| stations in [TVCH] | settings file | run, known station | run, new station entered |"
  echo "|---:|---:|---:|---:|"
  local stations known fresh
  for stations in 10 10000; do
    settings_file "$work/settings-$stations.ini" "$stations"
    cp "$work/settings-$stations.ini" "$work/tool/zoba.ini"
    known="$(median_of "$zoba" "$work/known.tvpi")"
    fresh="$(median_of --reset "$work/settings-$stations.ini" "$work/tool/zoba.ini" \
      "$zoba" "$work/notice.tvpi")"
    grep -q '^BENCH-TV=' "$work/tool/zoba.ini"
    echo "| $stations | $(stat -c %s "$work/settings-$stations.ini") bytes | $known µs | $fresh µs |"
  done
}

# list_file PATH PROGRAMMES STATION [distinct]: a file of several programmes
# of one station (with distinct, of STATION1, STATION2, ... one each), each
# block with a description of about 300 bytes (Shift_JIS, CRLF), and a
# closing boundary line.
list_file() {
  local description
  description="$(printf '\x82\xb1\x82\xcc\x94\xd4\x91\x67\x82\xcd\x81\x41\x93\xfa\x96\x7b\x82\xcc 21:00 \x83\x6a\x83\x85\x81\x5b\x83\x58\x82\xc5\x82\xb7\x81\x42%.0s' {1..8})"
  {
    printf 'Content-type: application/x-multi-tv-program-info; charset=shift_jis\r\n'
    printf 'version: 1\r\nboundary: XXXBOUNDARYXXX\r\n\r\n'
    seq 1 "$2" | LC_ALL=C awk -v station="$3" -v distinct="${4:-}" -v description="$description" '{
      printf "XXXBOUNDARYXXX\r\nContent-type: application/x-tv-program-info; charset=shift_jis\r\n"
      printf "version: 1\r\nstation: %s%s\r\n", station, distinct == "" ? "" : $1
      printf "year: 2026\r\nmonth: 12\r\ndate: 08\r\n"
      printf "start: 17:00\r\nend: 17:30\r\nprogram-title: Programme %d\r\n", $1
      printf "genre: 1\r\nsubgenre: 2\r\n\r\n%s\r\n\r\n", description }'
    printf 'XXXBOUNDARYXXX\r\n'
  } >"$1"
}

# A whole run on a file, checked to have shown COUNT lines of TEXT: the
# median wall time of 5 runs, and the peak resident size of one more.
list_run() {
  local time
  time="$(build/bench/run_bench 5 "$zoba" "$1" | awk '{ printf "%.1f", $2 / 1000 }')"
  /usr/bin/time -f '%M' -o "$work/time.txt" "$zoba" "$1" </dev/null 2>"$work/stderr.txt"
  [ "$(grep -c -- "$2" "$work/stderr.txt")" = "$3" ]
  echo "$time ms | $(cat "$work/time.txt") KiB"
}

bench_list() {
  echo "== Files of several programmes: the two passes (list_bench)"
  build/bench/list_bench 1 10000
  echo
  echo "== Files of several programmes: whole runs, no terminal"
  printf '[ZOBA]\r\ndebug=0\r\nsch_start_offset=-1\r\nrec_end_offset=0\r\nno=0012\r\n' \
    >"$work/tool/zoba.ini"
  printf '[TVCH]\r\nKNOWN-TV=8\r\nBENCH-TV=\r\n' >>"$work/tool/zoba.ini"
  echo "| programmes | file | each ends in | time | peak RSS |"
  echo "|---:|---:|---|---:|---:|"
  echo "| (\`/bin/true\`) | | | $(build/bench/run_bench 5 /bin/true |
    awk '{ printf "%.1f", $2 / 1000 }') ms | |"
  local programmes
  for programmes in 1 1000 10000; do
    list_file "$work/known.tvpi" "$programmes" KNOWN-TV
    list_file "$work/notice.tvpi" "$programmes" BENCH-TV
    echo "| $programmes | $(stat -c %s "$work/known.tvpi") bytes | the confirmation (Cancel) |" \
      "$(list_run "$work/known.tvpi" "/$programmes\$" "$programmes") |"
    echo "| $programmes | $(stat -c %s "$work/notice.tvpi") bytes | the no-channel notice |" \
      "$(list_run "$work/notice.tvpi" '^BENCH-TV$' 1) |"
  done
  echo
  echo "== Files of several programmes, each of a station the settings lack"
  cp "$work/tool/zoba.ini" "$work/before.ini"
  echo "| programmes | new stations | first run: all entered, one notice | next run: entered already |"
  echo "|---:|---:|---:|---:|"
  for programmes in 1000 10000; do
    list_file "$work/new.tvpi" "$programmes" NEW-TV distinct
    local first next
    first="$(build/bench/run_bench 5 --reset "$work/before.ini" "$work/tool/zoba.ini" \
      "$zoba" "$work/new.tvpi" | awk '{ printf "%.1f", $2 / 1000 }')"
    [ "$(grep -c '^NEW-TV[0-9]*=' "$work/tool/zoba.ini")" = "$programmes" ]
    "$zoba" "$work/new.tvpi" </dev/null 2>"$work/stderr.txt"
    [ "$(grep -c '次の放送局のチャンネルが登録されていません' "$work/stderr.txt")" = 1 ]
    next="$(build/bench/run_bench 5 "$zoba" "$work/new.tvpi" | awk '{ printf "%.1f", $2 / 1000 }')"
    echo "| $programmes | $programmes | $first ms | $next ms |"
    cp "$work/before.ini" "$work/tool/zoba.ini"
  done
}

# queue_jobs COUNT: COUNT jobs booked through AT for the install beside it,
# and COUNT foreign at jobs, all in January 2030; their numbers are kept in
# jobs.txt for the clean-up.
queue_jobs() {
  local i day
  for i in $(seq 1 "$1"); do
    day="$(printf %02d $(((i - 1) % 28 + 1)))"
    "$work/tool/AT" 20:59 "/NEXT:$day" /bin/true "Y$(printf %04d "$i")" 8 21:00-21:54 \
      2030 01 "$day" Queued 2>&1 | sed -n 's/^job \([0-9]*\) .*/\1/p' >>"$work/jobs.txt"
    echo true | at -t 203001010000 2>&1 | sed -n 's/^job \([0-9]*\) .*/\1/p' >>"$work/jobs.txt"
  done
}

# booking_time: the median wall time of 5 whole bookings, zoba on a
# pseudo-terminal answered y as soon as it asks, from its start to its end.
booking_time() {
  python3 - "$zoba" "$work/known.tvpi" <<'PYTHON'
import os, pty, select, subprocess, sys, time
times = []
for _ in range(5):
    master, slave = pty.openpty()
    began = time.monotonic()
    zoba = subprocess.Popen(sys.argv[1:], stdin=slave, stdout=slave, stderr=slave)
    os.close(slave)
    out = b""
    while True:
        if select.select([master], [], [], 10)[0] == []:
            sys.exit("zoba did not ask")
        try:
            out += os.read(master, 4096)
        except OSError:
            break
        if b"[y/N] " in out and b"y\n" not in out:
            os.write(master, b"y\n")
            out += b"y\n"
    zoba.wait()
    times.append(time.monotonic() - began)
    os.close(master)
    if "登録しました".encode() not in out:
        sys.exit("not booked: %r" % out)
print("%.1f" % (sorted(times)[2] * 1000))
PYTHON
}

# listing_row LABEL: the median wall time of AT's listing and of a whole run
# of zoba to the question (no terminal: answered Cancel), 20 runs each, and
# of a whole booking (booking_time).
listing_row() {
  local listing run
  listing="$(build/bench/run_bench 20 "$work/tool/AT" | awk '{ printf "%.1f", $2 / 1000 }')"
  run="$(build/bench/run_bench 20 "$zoba" "$work/known.tvpi" | awk '{ printf "%.1f", $2 / 1000 }')"
  echo "| $1 | $listing ms | $run ms | $(booking_time) ms |"
}

bench_listing() {
  echo "== Reading the reservations before the question"
  pgrep -x atd >/dev/null || atd
  # Under set -e a failing command would end the trap before the folder is
  # removed: the record is gone once the part has cleaned up after itself.
  trap 'cut -f1 "$work/tool/AT.jobs" >>"$work/jobs.txt" 2>/dev/null || true
    sort -u "$work/jobs.txt" | xargs -r atrm 2>/dev/null || true; rm -rf "$work"' EXIT
  : >"$work/jobs.txt"
  cp build/linux-release/AT "$work/tool/AT"
  printf '[ZOBA]\r\ndebug=0\r\nsch_start_offset=-1\r\nrec_end_offset=0\r\nno=0012\r\n' \
    >"$work/tool/zoba.ini"
  printf 'rec_exec=/bin/true\r\ntuners=1\r\n[TVCH]\r\nKNOWN-TV=8\r\n' >>"$work/tool/zoba.ini"
  iepg_file "$work/notice.tvpi" 213
  sed 's/BENCH-TV/KNOWN-TV/; s/year: 2008/year: 2030/; s/month: 03/month: 01/' \
    "$work/notice.tvpi" >"$work/known.tvpi"
  echo "| at queue | AT (listing) | zoba, a whole run to the question (Cancel) | a whole booking (y) |"
  echo "|---|---:|---:|---:|"
  listing_row "none of this install's jobs, $(atq | wc -l) others"
  queue_jobs 200
  [ "$("$work/tool/AT" | grep -c ' Queued$')" = 200 ]
  local own
  own="$(wc -l <"$work/tool/AT.jobs")"
  listing_row "$own of this install's jobs, $(($(atq | wc -l) - own)) others"
  # The bookings' jobs too. AT's record names the queued ones again, and
  # atrm fails for a number it has already removed: each is removed once.
  cut -f1 "$work/tool/AT.jobs" >>"$work/jobs.txt"
  sort -u "$work/jobs.txt" | xargs -r atrm 2>/dev/null
  : >"$work/jobs.txt"
  rm -f "$work/tool/AT.jobs"
}

bench_rec() {
  echo "== REC: ten short programmes side by side"
  python3 scripts/bench_rec.py build/linux-release/REC 10
}

bench_server() {
  echo "== Booking on a recording server: 1,000 reservations, 100 channels"
  python3 bench/server_bench.py "$zoba" 20
}

cpu="$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//')"
memory="$(free -g | awk '/^Mem:/ { print $2 }')"
echo "Machine: $(nproc) cores, ${cpu}, ${memory} GiB memory, $(uname -sr)"
echo "Compiler: $(c++ --version | head -n 1)"
for part in "${parts[@]}"; do
  echo
  "bench_$part"
done
