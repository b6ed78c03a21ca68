#!/usr/bin/env python3
"""REC's timing and cost: WINDOWS short programmes recorded side by side by
as many RECs (stop=terminate, lead 5 s), each with a recorder that notes when
it was started and when it was told to stop, and REC's CPU time and peak
resident size (from /proc, as REC's child sees its parent) at both moments.
Half the windows last one minute, half two, to show whether REC's memory
grows with the length of a recording.

Usage: bench_rec.py REC [WINDOWS]   (default 10; takes about three minutes)
"""
import datetime
import json
import os
import shutil
import statistics
import subprocess
import sys
import tempfile

# The recorder's start is read from /proc (when the kernel made it), not
# from its own clock, so that the interpreter's start-up is left out.
RECORDER = """#!PYTHON
import json, os, signal, sys, time
with open("/proc/self/stat") as f:
    born = int(f.read().rsplit(")", 1)[1].split()[19]) / os.sysconf("SC_CLK_TCK")
with open("/proc/uptime") as f:
    started = time.time() - (float(f.read().split()[0]) - born)
def rec_state():
    parent = os.getppid()
    with open("/proc/%d/stat" % parent) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    ticks = os.sysconf("SC_CLK_TCK")
    with open("/proc/%d/status" % parent) as f:
        hwm = [l.split()[1] for l in f if l.startswith("VmHWM:")][0]
    return (int(fields[11]) + int(fields[12])) / ticks, int(hwm)
cpu_at_start, rss_at_start = rec_state()
def stop(*_):
    cpu_at_stop, rss_at_stop = rec_state()
    with open(sys.argv[2] + ".json", "w") as f:
        json.dump({"started": started, "stopped": time.time(), "cpu_at_start": cpu_at_start,
                   "cpu_at_stop": cpu_at_stop, "rss_at_start": rss_at_start,
                   "rss_at_stop": rss_at_stop}, f)
    sys.exit(0)
signal.signal(signal.SIGTERM, stop)
with open(sys.argv[2], "ab") as out:
    while True:
        out.write(b"\\0" * 188 * 1000)
        out.flush()
        time.sleep(0.1)
""".replace("PYTHON", sys.executable)


def main():
    rec = os.path.abspath(sys.argv[1])
    count = int(sys.argv[2]) if len(sys.argv) > 2 else 10
    lead = 5
    now = datetime.datetime.now()
    start = now.replace(second=0, microsecond=0) + datetime.timedelta(minutes=1)
    if (start - now).total_seconds() < 30:
        start += datetime.timedelta(minutes=1)
    work = tempfile.mkdtemp(prefix="zoba_rec_bench_")
    runs = []
    for i in range(count):
        folder = os.path.join(work, "rec%d" % i)
        os.mkdir(folder)
        shutil.copy(rec, os.path.join(folder, "REC"))
        with open(os.path.join(folder, "bench_rec"), "w") as f:
            f.write(RECORDER)
        os.chmod(os.path.join(folder, "bench_rec"), 0o755)
        with open(os.path.join(folder, "zoba.ini"), "w") as f:
            f.write("[REC]\ncommand=bench_rec {seconds} {file}\nfolder=%s\nstop=terminate\n"
                    "lead=%d\nname={id}.ts\n" % (folder, lead))
        end = start + datetime.timedelta(minutes=1 + i % 2)
        words = ["B%04d" % i, "27", "%s-%s" % (start.strftime("%H:%M"), end.strftime("%H:%M")),
                 start.strftime("%Y"), start.strftime("%m"), start.strftime("%d"), "Bench"]
        runs.append((folder, end, subprocess.Popen([os.path.join(folder, "REC")] + words)))
    rows = []
    for folder, end, process in runs:
        status = process.wait()
        seen = [n for n in os.listdir(folder) if n.endswith(".ts.json")]
        with open(os.path.join(folder, seen[0])) as f:
            figures = json.load(f)
        figures["status"] = status
        figures["start_offset"] = figures["started"] - (start.timestamp() - lead)
        figures["stop_offset"] = figures["stopped"] - end.timestamp()
        figures["minutes"] = round((end - start).total_seconds() / 60)
        rows.append(figures)
    shutil.rmtree(work)
    print("| window | REC's exit | start − (start − lead) | told to stop − end | "
          "REC CPU waiting | REC CPU recording | REC peak RSS at start / at stop |")
    print("|---:|---:|---:|---:|---:|---:|---:|")
    for row in rows:
        print("| %d min | %d | %+.3f s | %+.3f s | %.2f s | %.2f s | %d / %d KiB |" % (
            row["minutes"], row["status"], row["start_offset"], row["stop_offset"],
            row["cpu_at_start"], row["cpu_at_stop"] - row["cpu_at_start"], row["rss_at_start"],
            row["rss_at_stop"]))
    for key in ("start_offset", "stop_offset"):
        values = [r[key] for r in rows]
        print("%s: min %+.3f s, median %+.3f s, max %+.3f s" % (
            key, min(values), statistics.median(values), max(values)))
    return 0 if all(r["status"] == 0 for r in rows) else 1


if __name__ == "__main__":
    sys.exit(main())
