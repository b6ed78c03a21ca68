#!/usr/bin/env python3
"""End-to-end tests of the Linux build: the real zoba and AT programs in a
folder of their own, driven through a pseudo-terminal, registering real
jobs with a running atd. Every job a test makes is removed afterwards.

Usage: run_e2e.py ZOBA AT. Exit status 0 when every test passed, 1 when one
failed, 77 (skipped) when at/atd cannot be used here.
"""
import calendar
import datetime
import json
import os
import pty
import random
import re
import select
import shutil
import string
import subprocess
import sys
import tempfile
import time
import traceback
import types

SKIP = 77
STATION = "テレビ東京"
REGISTERED = "登録しました"
NOT_REGISTERED = "登録できませんでした"
FAKE_RECORDER = """#!/usr/bin/env python3
import json, os, sys
with open(os.path.join(os.path.dirname(os.path.abspath(__file__)), "recorder.log"), "a") as f:
    f.write(json.dumps(sys.argv[1:]) + "\\n")
"""
# The text by which AT knows our REC (tools/rec/rec_signature.h).
REC_SIGNATURE = re.search(r'k_rec_signature\[\] = "([^"]*)"', open(os.path.join(
    os.path.dirname(os.path.abspath(__file__)), "../../tools/rec/rec_signature.h")).read()).group(1)
# REC as a stand-in until the real one is built here: its check refuses
# while a file "refuse" lies beside it; otherwise it records as fake_rec.
# Without its first line it is a user's own REC, which AT never asks.
REC_STAND_IN = """#!/bin/sh
# %s
here=$(dirname "$0")
if [ "$1" = --check ]; then
  [ -e "$here/refuse" ] || exit 0
  echo "REC: no tuner can receive channel $3" >&2
  exit 9
fi
exec "$here/fake_rec" "$@"
""" % REC_SIGNATURE


def atq():
    """The queued jobs: {number: datetime}."""
    out = subprocess.run(["atq"], capture_output=True, text=True, check=True).stdout
    jobs = {}
    for line in out.splitlines():
        number, when = line.split("\t")[:2]
        jobs[number] = datetime.datetime.strptime(when.rsplit(" ", 2)[0],
                                                  "%a %b %d %H:%M:%S %Y")
    return jobs


def can_use_at():
    if shutil.which("at") is None or shutil.which("atq") is None:
        return "at is not installed"
    try:
        pid = int(open("/run/atd.pid").read().split()[0])
        os.kill(pid, 0)
    except (OSError, ValueError):
        return "atd is not running"
    return None


def iepg(date, start, end, title, station=STATION):
    lines = ["Content-type: application/x-tv-program-info; charset=shift_jis", "version: 1",
             "station: " + station, "year: %04d" % date.year, "month: %02d" % date.month,
             "date: %02d" % date.day, "start: " + start, "end: " + end,
             "program-title: " + title, "", "説明"]
    return ("\r\n".join(lines) + "\r\n").encode("cp932")


class QueueWatch:
    """The at jobs queued since it was made; removed again when done."""

    def __init__(self):
        self.jobs_before = atq()

    def new_jobs(self):
        return {n: t for n, t in atq().items() if n not in self.jobs_before}

    def remove_new_jobs(self):
        jobs = list(self.new_jobs())
        if jobs:
            subprocess.run(["atrm"] + jobs, check=False)


class Case(QueueWatch):
    """One run of zoba in a fresh folder with its own settings."""

    def __init__(self, zoba, at, settings=""):
        self.folder = tempfile.mkdtemp(prefix="zoba_e2e_")
        self.zoba = os.path.join(self.folder, "zoba")
        shutil.copy(zoba, self.zoba)
        shutil.copy(at, os.path.join(self.folder, "AT"))
        self.recorder = os.path.join(self.folder, "fake_rec")
        with open(self.recorder, "w") as f:
            f.write(FAKE_RECORDER)
        os.chmod(self.recorder, 0o755)
        text = "[ZOBA]\r\nrec_exec=%s\r\n%s[TVCH]\r\n%s=8\r\n" % (self.recorder, settings, STATION)
        with open(self.ini(), "wb") as f:
            f.write(text.encode("cp932"))
        QueueWatch.__init__(self)
        self.extra_env = {}
        self.cwd = self.folder  # the folder zoba is started from

    def ini(self):
        return os.path.join(self.folder, "zoba.ini")

    def set_recorder(self, recorder):
        """Replaces rec_exec in the settings file (UTF-8 on Linux)."""
        text = self.ini_text().replace("rec_exec=%s\r\n" % self.recorder,
                                       "rec_exec=%s\r\n" % recorder)
        with open(self.ini(), "wb") as f:
            f.write(text.encode("utf-8"))

    def ini_text(self):
        """The settings file's text: Shift_JIS as one from Windows would be
        (the tool keeps it so), or UTF-8 once set_recorder has written it."""
        with open(self.ini(), "rb") as f:
            data = f.read()
        try:
            return data.decode("utf-8")
        except UnicodeDecodeError:
            return data.decode("cp932")

    def write_iepg(self, data, name="programme.tvpi"):
        path = os.path.join(self.folder, name)
        with open(path, "wb") as f:
            f.write(data)
        return path

    def env(self):
        env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
        env.update(LANG="C.UTF-8", LC_ALL="C.UTF-8", XDG_RUNTIME_DIR=self.folder)
        env.update(self.extra_env)
        return env

    def start(self, path):
        """Starts zoba on a pseudo-terminal; returns (process, master fd)."""
        master, slave = pty.openpty()
        process = subprocess.Popen([self.zoba, path], stdin=slave, stdout=slave, stderr=slave,
                                   env=self.env(), cwd=self.cwd, start_new_session=True)
        os.close(slave)
        return process, master

    def clean(self):
        self.remove_new_jobs()
        shutil.rmtree(self.folder, ignore_errors=True)


def read_until(master, process, marker, timeout=20):
    """Reads the terminal until marker shows or the process ends."""
    out = b""
    deadline = time.time() + timeout
    while time.time() < deadline:
        ready, _, _ = select.select([master], [], [], 0.2)
        if ready:
            try:
                chunk = os.read(master, 4096)
            except OSError:
                break
            if not chunk:
                break
            out += chunk
            if marker is not None and marker in out:
                return out.decode("utf-8", "replace")
        elif process.poll() is not None and not ready:
            break
    return out.decode("utf-8", "replace")


def run_answering(case, path, answer):
    """Runs zoba, answers its question, and returns (status, terminal text)."""
    process, master = case.start(path)
    text = read_until(master, process, b"[y/N] ")
    if "[y/N] " in text and answer is not None:
        os.write(master, answer.encode() + b"\n")
    text += read_until(master, process, None)
    status = process.wait(timeout=30)
    os.close(master)
    return status, text


def check(condition, what):
    if not condition:
        raise AssertionError(what)


def the_job(case):
    jobs = case.new_jobs()
    check(len(jobs) == 1, "one new job in atq, found %r" % jobs)
    return next(iter(jobs.items()))


def job_script(number):
    """The job's whole script as atd runs it (at -c)."""
    script = subprocess.run(["at", "-c", number], capture_output=True, check=True).stdout
    return script.decode("utf-8")


def job_command(number):
    """What AT wrote of the job's script, from its marker on: a change into
    zoba's folder and the recorder's command line, logged."""
    script = job_script(number)
    return script[script.index("# zoba AT job "):]


def run_job_line(case, line, cwd="/"):
    """Runs the job's script, from another folder as atd might, with the fake
    recorder; its arguments."""
    log = os.path.join(case.folder, "recorder.log")
    if os.path.exists(log):
        os.remove(log)
    subprocess.run(["sh", "-c", line], cwd=cwd, check=True)
    with open(log) as f:
        return [json.loads(entry) for entry in f.read().splitlines()]


def tomorrow():
    return datetime.date.today() + datetime.timedelta(days=1)


# ---- the tests


def test_typical_file_ok(zoba, at):
    case = Case(zoba, at)
    try:
        day = tomorrow()
        path = case.write_iepg(iepg(day, "21:00", "21:54", "Sample Show"))
        status, text = run_answering(case, path, "y")
        check(status == 0, "exit status 0, got %d" % status)
        check("上記で予約しますか？" in text and "チャンネル:8 " + STATION in text,
              "the confirmation in the terminal's character set: %r" % text)
        check(REGISTERED in text, "the registered notice: %r" % text)
        number, when = the_job(case)
        check(when == datetime.datetime(day.year, day.month, day.day, 20, 59),
              "job at %s 20:59, atq says %s" % (day, when))
        args = run_job_line(case, job_command(number))
        expected = ["Y0001", "8", "21:00-21:54", "%04d" % day.year, "%02d" % day.month,
                    "%02d" % day.day, "Sample_Show"]
        check(args == [expected], "the recorder gets exactly %r, got %r" % (expected, args))
        check("no=0001" in case.ini_text(), "no advanced to 0001")
        with open(case.ini(), "rb") as f:
            data = f.read()
        check(data == ("[ZOBA]\r\nrec_exec=%s\r\ndebug=0\r\nsch_start_offset=-1\r\n"
                       "rec_end_offset=0\r\nno=0001\r\ntuners=1\r\n[TVCH]\r\n%s=8\r\n"
                       % (case.recorder, STATION)).encode("cp932"),
              "the Shift_JIS settings written back in Shift_JIS: %r" % data)
    finally:
        case.clean()


def test_japanese_path_reads_right_in_the_notice(zoba, at):
    case = Case(zoba, at)
    try:
        path = os.path.join(case.folder, "読めない 番組.tvpi")
        status, text = run_answering(case, path, None)
        check(status == 0, "exit status 0, got %d" % status)
        check(path + "ファイルがオープンできません" in text,
              "the path as it was typed in the cannot-open notice: %r" % text)
    finally:
        case.clean()


def test_cancel_registers_nothing(zoba, at):
    case = Case(zoba, at)
    try:
        path = case.write_iepg(iepg(tomorrow(), "21:00", "21:54", "Show"))
        status, text = run_answering(case, path, "")
        check(status == 0, "exit status 0, got %d" % status)
        check(REGISTERED not in text, "no registered notice: %r" % text)
        check(case.new_jobs() == {}, "no job")
        check("no=0\r\n" in case.ini_text(), "no unchanged: %r" % case.ini_text())
    finally:
        case.clean()


def test_midnight_on_the_first_launches_on_day_0(zoba, at):
    case = Case(zoba, at)
    try:
        today = datetime.date.today()
        first = (today.replace(day=28) + datetime.timedelta(days=4)).replace(day=1)
        path = case.write_iepg(iepg(first, "00:00", "00:30", "Late"))
        status, text = run_answering(case, path, "yes")
        check("/NEXT:00 " in text and REGISTERED in text, "registered with day 0: %r" % text)
        _, when = the_job(case)
        last = first - datetime.timedelta(days=1)
        check(when == datetime.datetime(last.year, last.month, last.day, 23, 59),
              "job on the last day of the month before, 23:59; atq says %s" % when)
    finally:
        case.clean()


def test_launch_past_the_months_end(zoba, at):
    case = Case(zoba, at, settings="sch_start_offset=5\r\n")
    try:
        today = datetime.date.today()
        month = (today.replace(day=28) + datetime.timedelta(days=4)).replace(day=1)
        last = month.replace(day=calendar.monthrange(month.year, month.month)[1])
        path = case.write_iepg(iepg(last, "23:59", "00:30", "Night"))
        status, text = run_answering(case, path, "Y")
        check("/NEXT:%02d " % (last.day + 1) in text and REGISTERED in text,
              "registered with a day past the end: %r" % text)
        _, when = the_job(case)
        after = last + datetime.timedelta(days=1)
        check(when == datetime.datetime(after.year, after.month, after.day, 0, 4),
              "job on the 1st of the month after, 00:04; atq says %s" % when)
    finally:
        case.clean()


def test_hostile_titles_arrive_as_one_plain_argument(zoba, at):
    titles = ["it's \"quoted\"", "$(touch${IFS}PWNED1)", "`touch${IFS}PWNED2`",
              "a;touch${IFS}PWNED3", "a&&touch${IFS}PWNED4", "'$(touch${IFS}PWNED5)'\\",
              "Show\t--output=PWNED6\t-rf", "-rf"]
    for title in titles:
        case = Case(zoba, at)
        try:
            path = case.write_iepg(iepg(tomorrow(), "21:00", "21:54", title))
            status, text = run_answering(case, path, "y")
            check(REGISTERED in text, "registered: %r" % text)
            number, _ = the_job(case)
            args = run_job_line(case, job_command(number))
            # The title cleaning of the reader (also "&", "^" and "%", which
            # cmd.exe would read).
            # Control characters too, and a "-" that would start an option.
            cleaned = "".join("_" if c in " \"*/:;<>?|&^%" or ord(c) < 0x20 else c
                              for c in title)
            cleaned = "_" + cleaned[1:] if cleaned.startswith("-") else cleaned
            check(len(args) == 1 and len(args[0]) == 7 and args[0][6] == cleaned,
                  "title %r arrives as %r, got %r" % (title, cleaned, args))
            check(not any(n.startswith("PWNED") for n in os.listdir(case.folder)),
                  "nothing of the title ran: %r" % os.listdir(case.folder))
        finally:
            case.clean()


def test_second_instance_beeps_and_leaves(zoba, at):
    case = Case(zoba, at)
    try:
        path = case.write_iepg(iepg(tomorrow(), "21:00", "21:54", "Show"))
        first, master = case.start(path)
        read_until(master, first, b"[y/N] ")
        second, master2 = case.start(path)
        text = read_until(master2, second, None)
        status = second.wait(timeout=30)
        os.close(master2)
        check(status == 255, "exit status -1 (255), got %d" % status)
        check(text == "\a", "only the bell: %r" % text)
        os.write(master, b"n\n")
        read_until(master, first, None)
        first.wait(timeout=30)
        os.close(master)
        check(case.new_jobs() == {}, "no job")
    finally:
        case.clean()


def test_no_terminal_answers_cancel(zoba, at):
    case = Case(zoba, at)
    try:
        path = case.write_iepg(iepg(tomorrow(), "21:00", "21:54", "Show"))
        run = subprocess.run([case.zoba, path], stdin=subprocess.DEVNULL, capture_output=True,
                             env=case.env(), cwd=case.folder, timeout=30)
        err = run.stderr.decode("utf-8", "replace")
        check(run.returncode == 0, "exit status 0, got %d" % run.returncode)
        check("上記で予約しますか？" in err and "nothing was registered" in err,
              "the question and why nothing happened on standard error: %r" % err)
        check(case.new_jobs() == {}, "no job")
        check("no=0\r\n" in case.ini_text(), "no unchanged")
    finally:
        case.clean()


def test_debug_traces_in_order_on_standard_error(zoba, at):
    case = Case(zoba, at, settings="debug=1\r\n")
    try:
        path = case.write_iepg(iepg(tomorrow(), "21:00", "21:54", "Show"))
        status, text = run_answering(case, path, "n")
        lines = [line.strip() for line in text.replace("\r", "").split("\n")]
        traces = [line for line in lines if re.match(r"^\d+ zoba:\d+", line)]
        sequence = [int(line.split()[0]) for line in traces]
        check(sequence == list(range(len(traces))) and len(traces) > 10,
              "numbered from 0 in order: %r" % traces)
        check(traces[0] == "0 zoba:242" and traces[-2:] == ["%d zoba:274" % (len(traces) - 2),
                                                        "%d zoba:281" % (len(traces) - 1)],
              "242 first, 274 and 281 last: %r" % traces)
        check(lines.index("OK") < lines.index(traces[0]), "OK before the first trace line")
        check(any(":393 >ch=8 <= " + STATION in line for line in traces), "the station's trace")
        check(lines.index(traces[-1]) < lines.index("終了"), "the end notice after the last line")
        check(case.new_jobs() == {}, "no job")
    finally:
        case.clean()


def test_at_missing_is_reported(zoba, at):
    case = Case(zoba, at)
    try:
        case.extra_env = {"PATH": case.folder}  # AT is found beside zoba, at nowhere
        path = case.write_iepg(iepg(tomorrow(), "21:00", "21:54", "Show"))
        status, text = run_answering(case, path, "y")
        check("the at command is not installed" in text and NOT_REGISTERED in text,
              "AT's reason and the failure notice: %r" % text)
        check("no=0001" in case.ini_text(), "the number is used up all the same")
        check(case.new_jobs() == {}, "no job")
    finally:
        case.clean()


def test_what_is_not_a_file_is_refused_at_once(zoba, at):
    case = Case(zoba, at)
    try:
        fifo = os.path.join(case.folder, "fifo.tvpi")
        os.mkfifo(fifo)
        for path in (fifo, "/dev/zero", case.folder):
            began = time.monotonic()
            status, text = run_answering(case, path, "y")
            check(status == 0 and "ファイルがオープンできません" in text,
                  "%s: the cannot-open notice: %r" % (path, text))
            check(time.monotonic() - began < 1.5, "%s: at once" % path)
        check(case.new_jobs() == {}, "no job")
    finally:
        case.clean()


def test_a_station_that_cannot_be_a_key_is_refused(zoba, at):
    case = Case(zoba, at, settings="no=0041\r\ndebug=0\r\nsch_start_offset=-1\r\n"
                                   "rec_end_offset=0\r\ntuners=1\r\n")
    try:
        before = case.ini_text()
        # The last one would clear the terminal and paint its own text.
        for station in ("[ZOBA]", "NEWST=1 -o", "\x1b[2J\x1b[HFAKE"):
            path = case.write_iepg(iepg(tomorrow(), "21:00", "21:54", "Show", station=station))
            status, text = run_answering(case, path, "y")
            shown = station.replace("\x1b", "?")
            check(shown + " は設定ファイルに登録できない放送局名です" in text and "\x1b" not in text,
                  "the notice naming the station, control characters shown: %r" % text)
            check(case.ini_text() == before, "the settings file unchanged: %r" % case.ini_text())
        check(case.new_jobs() == {}, "no job")
    finally:
        case.clean()


def run_at(case, *words):
    """Runs the folder's AT as a person would type it; (status, output lines)."""
    run = subprocess.run([os.path.join(case.folder, "AT")] + list(words), capture_output=True,
                         env=case.env(), cwd=case.folder, timeout=30)
    return run.returncode, (run.stdout + run.stderr).decode("utf-8").splitlines()


def test_at_lists_and_cancels_its_jobs(zoba, at):
    case = Case(zoba, at)
    other = None
    try:
        # A job that AT did not make is neither listed nor removed.
        other = subprocess.run(["at", "-t", "203001010000"], input=b"true Y0001\n",
                               capture_output=True, check=True).stderr.decode()
        other = re.search(r"job (\d+)", other).group(1)
        case.jobs_before = atq()
        day = tomorrow()
        path = case.write_iepg(iepg(day, "21:00", "21:54", "Sample Show"))
        status, text = run_answering(case, path, "y")
        check(REGISTERED in text, "registered: %r" % text)
        when = "%04d/%02d/%02d 20:59" % (day.year, day.month, day.day)
        command = "%s Y0001 8 21:00-21:54 %04d %02d %02d Sample_Show" % (
            case.recorder, day.year, day.month, day.day)
        listing = run_at(case)
        check(listing == (0, ["Y0001  %s  %s" % (when, command)]), "AT lists: %r" % (listing,))
        # A record naming the foreign job's number at another time is not
        # listed, and the listing drops it.
        record = os.path.join(case.folder, "AT.jobs")
        with open(record) as f:
            own = f.read()
        with open(record, "a") as f:
            f.write("%s\t%s\t203001011200\tY0009  x\n" % (other, own.split("\t")[1]))
        check(run_at(case) == listing and open(record).read() == own, "a reused number")
        removed = run_at(case, "Y0001", "/delete")
        check(removed == (0, ["Deleted the job with job ID = Y0001"]),
              "AT Y0001 /delete: %r" % (removed,))
        check(case.new_jobs() == {}, "the job is gone from atq")
        check(other in atq(), "the job AT did not make is kept")
        check(run_at(case) == (0, ["There are no entries in the list."]), "empty listing")
        again = run_at(case, "Y0001", "/delete")
        check(again == (7, ["AT: there is no job Y0001"]), "a second delete: %r" % (again,))
    finally:
        if other is not None:
            subprocess.run(["atrm", other], check=False)
        case.clean()


def test_at_refuses_what_it_cannot_book(zoba, at):
    """A programme in the past, a recorder AT cannot find, or a programme date
    that is no date: AT fails at once, its reason in the notice, no job."""
    day = tomorrow()
    cases = [(None, datetime.date.today() - datetime.timedelta(days=2), "in the past"),
             ("REC", day, "is not a program in"),
             ("~/rec.sh", day, "is not an executable file"),
             ("/nonexistent/rec", day, "is not an executable file"),
             ("", day, "is not a program in"),
             (None, types.SimpleNamespace(year=2027, month=2, day=29), "is not a date"),
             (None, types.SimpleNamespace(year=2027, month=11, day=31), "is not a date")]
    for recorder, date, reason in cases:
        case = Case(zoba, at)
        try:
            if recorder is not None:
                case.set_recorder(recorder)
            path = case.write_iepg(iepg(date, "21:00", "21:54", "Show"))
            status, text = run_answering(case, path, "y")
            notice = text.split("上記で予約しますか？")[-1]
            check(NOT_REGISTERED in notice and reason in notice,
                  "%r %r: the failure notice with AT's reason: %r" % (recorder, date, text))
            check(case.new_jobs() == {}, "%r %r: no job" % (recorder, date))
        finally:
            case.clean()


def test_the_job_runs_in_zobas_folder_and_logs(zoba, at):
    """A relative recorder is found in zoba's folder, where the job runs and
    logs what became of it."""
    case = Case(zoba, at)
    try:
        shutil.copy(case.recorder, os.path.join(case.folder, "rec here"))
        case.set_recorder('"./rec here" -q')
        path = case.write_iepg(iepg(tomorrow(), "21:00", "21:54", "Show"))
        status, text = run_answering(case, path, "y")
        check(REGISTERED in text, "registered: %r" % text)
        number, _ = the_job(case)
        args = run_job_line(case, job_command(number))
        check(args and args[0][:2] == ["-q", "Y0001"], "the recorder ran: %r" % args)
        with open(os.path.join(case.folder, "zoba-jobs.log")) as f:
            log = f.read()
        check(" start Y0001 " in log and " end Y0001: exit status 0" in log,
              "the job's log in zoba's folder: %r" % log)
    finally:
        case.clean()


def test_a_recorder_path_arrives_byte_for_byte(zoba, at):
    """rec_exec under Vidéos/〜 (é has no Shift_JIS; 〜, U+301C, has a
    look-alike there) books, and the job names the path byte for byte."""
    case = Case(zoba, at)
    try:
        folder = os.path.join(case.folder, "Vidéos", "〜")
        os.makedirs(folder)
        recorder = os.path.join(folder, "rec")
        shutil.copy(case.recorder, recorder)
        case.set_recorder(recorder)
        path = case.write_iepg(iepg(tomorrow(), "21:00", "21:54", "Show"))
        status, text = run_answering(case, path, "y")
        check(REGISTERED in text, "registered: %r" % text)
        number, _ = the_job(case)
        line = job_command(number)
        check(recorder in line, "the job names %r: %r" % (recorder, line))
        subprocess.run(["sh", "-c", line], cwd="/", check=True)
        with open(os.path.join(folder, "recorder.log")) as f:
            args = [json.loads(entry) for entry in f.read().splitlines()]
        check(args and args[0][0] == "Y0001", "the recorder there ran: %r" % args)
    finally:
        case.clean()


def test_two_installs_keep_their_own_jobs(zoba, at):
    """Two installs book Y0001: each lists and deletes only its own; a job of
    the user's that holds the marker's text is no one's; the same install
    booking Y0001 again keeps both, and its /delete names both. That second
    booking is typed by hand: the recorder's path under Vidéos is taken as
    UTF-8, the title typed in Shift_JIS is converted."""
    one = Case(zoba, at)
    two = user = None
    try:
        day = tomorrow()
        listing = "Y0001  %04d/%02d/%02d %%s  %%s Y0001 8 21:00-21:54 %04d %02d %02d %%s" % (
            day.year, day.month, day.day, day.year, day.month, day.day)

        def book(case):
            status, text = run_answering(case, case.write_iepg(iepg(day, "21:00", "21:54", "S")),
                                         "y")
            check(REGISTERED in text, "registered: %r" % text)
            return the_job(case)[0]

        first = book(one)
        two = Case(zoba, at)  # made after one's booking: its new_jobs leave that out
        second = book(two)
        marker = job_command(first).splitlines()[0]
        user = subprocess.run(["at", "-t", "203001010000"], input=("true\n%s\n" % marker).encode(),
                              capture_output=True, check=True).stderr.decode()
        user = re.search(r"job (\d+)", user).group(1)
        videos = os.path.join(two.folder, "Vidéos")
        os.mkdir(videos)
        shutil.copy(two.recorder, os.path.join(videos, "rec"))
        hand = run_at(two, "20:58", "/NEXT:%02d" % day.day, videos + "/rec", "Y0001", "8",
                      "21:00-21:54", *day.strftime("%Y %m %d").split(), "番組".encode("cp932"))
        again = [n for n, t in two.new_jobs().items() if t.minute == 58]
        check(hand[0] == 0 and len(again) == 1, "Y0001 booked again by hand: %r" % (hand,))
        again = again[0]
        subprocess.run(["sh", "-c", job_command(again)], cwd="/", check=True)
        with open(os.path.join(videos, "recorder.log")) as f:
            check(json.loads(f.read())[::6] == ["Y0001", "番組"], "the recorder under Vidéos ran")
        check(run_at(one) == (0, [listing % ("20:59", one.recorder, "S")]),
              "one lists its own job only: %r" % (run_at(one),))
        both = [listing % ("20:58", videos + "/rec", "番組"), listing % ("20:59", two.recorder, "S")]
        one.extra_env = {"ZOBA_SETTINGS": two.ini()}  # as zoba names its install
        named = run_at(one)
        one.extra_env = {}
        check(sorted(named[1]) == both, "two's jobs, by its settings file's path: %r" % (named,))
        check(run_at(one, "Y0001", "/delete") == (0, ["Deleted the job with job ID = Y0001"]),
              "one deletes its Y0001")
        queue = atq()
        check(first not in queue and {second, again, user} <= set(queue),
              "one's job gone, two's and the user's kept: %r" % queue)
        removed = run_at(two, "Y0001", "/delete")
        check(removed[0] == 0 and removed[1][0] == "Deleted 2 jobs with job ID = Y0001:" and
              sorted(removed[1][1:]) == ["  " + line for line in both],
              "two deletes both its Y0001 jobs, each named: %r" % (removed,))
        check(user in atq(), "the user's job is kept")
    finally:
        if user is not None:
            subprocess.run(["atrm", user], check=False)
        one.clean()
        if two is not None:
            two.clean()


def fnv1a(data, value=2166136261):
    for byte in data:
        value = ((value ^ byte) * 16777619) & 0xFFFFFFFF
    return value


def colliding_settings(folder):
    """Two settings files in folder whose install names (FNV-1a, 32 bits, of
    the path) are the same, found by trying names of random letters: one
    repeats after some 80,000 of them, in about a second."""
    head = fnv1a((folder + "/").encode())
    names = {}
    chooser = random.Random(1)
    while True:
        name = "".join(chooser.choice(string.ascii_lowercase) for _ in range(7)) + ".ini"
        value = fnv1a(name.encode(), head)
        if names.setdefault(value, name) != name:
            return [os.path.join(folder, n) for n in (names[value], name)]


def test_installs_whose_names_collide_keep_their_own_jobs(zoba, at):
    """Two settings files beside one AT (one AT.jobs) whose install names are
    the same: each lists and deletes only its own Y0001, told apart by the
    settings file's path."""
    case = Case(zoba, at)
    try:
        day = tomorrow()
        installs = colliding_settings(case.folder)
        listings = []
        for path, title in zip(installs, ("First", "Second")):
            case.extra_env = {"ZOBA_SETTINGS": path}
            booked = run_at(case, "20:59", "/NEXT:%02d" % day.day, case.recorder, "Y0001", "8",
                            "21:00-21:54", *day.strftime("%Y %m %d").split(), title)
            check(booked[0] == 0, "%s booked: %r" % (title, booked))
            listings.append("Y0001  %04d/%02d/%02d 20:59  %s Y0001 8 21:00-21:54 %04d %02d %02d %s"
                            % (day.year, day.month, day.day, case.recorder, day.year, day.month,
                               day.day, title))
        queued = list(case.new_jobs())
        for path, listing in zip(installs, listings):
            case.extra_env = {"ZOBA_SETTINGS": path}
            check(run_at(case) == (0, [listing]), "%s lists its own job only: %r"
                  % (os.path.basename(path), run_at(case)))
        case.extra_env = {"ZOBA_SETTINGS": installs[1]}
        removed = run_at(case, "Y0001", "/delete")
        check(removed == (0, ["Deleted the job with job ID = Y0001"]), "deleted: %r" % (removed,))
        case.extra_env = {"ZOBA_SETTINGS": installs[0]}
        check(len(queued) == 2 and len(case.new_jobs()) == 1 and
              run_at(case) == (0, [listings[0]]), "the first install's job is kept: %r"
              % (run_at(case),))
    finally:
        case.clean()


def test_the_job_outlives_the_folder_zoba_was_started_from(zoba, at):
    """at runs a job in the folder it was run in: AT runs it from zoba's own,
    so the job of a zoba started from a folder removed since still records;
    a recorder gone by then leaves the reason in the job log."""
    case = Case(zoba, at)
    try:
        case.cwd = tempfile.mkdtemp(prefix="zoba_e2e_cwd_")
        path = case.write_iepg(iepg(tomorrow(), "21:00", "21:54", "Show"))
        status, text = run_answering(case, path, "y")
        shutil.rmtree(case.cwd)
        check(REGISTERED in text, "registered: %r" % text)
        number, _ = the_job(case)
        args = run_job_line(case, job_script(number))  # at's preamble and its cd too
        check(args and args[0][0] == "Y0001", "the recorder ran: %r" % args)
        os.remove(case.recorder)
        subprocess.run(["sh", "-c", job_script(number)], cwd="/", check=True)
        with open(os.path.join(case.folder, "zoba-jobs.log")) as f:
            log = f.read()
        check(" Y0001: the recorder %s is not an executable file" % case.recorder in log and
              log.endswith(" end Y0001: exit status 127\n"), "why, in the job log: %r" % log)
    finally:
        case.clean()


def test_rec_is_found_beside_at_and_asked_first(zoba, at):
    """rec_exec REC is found in AT's folder, not on PATH, and the job starts
    it by its full path; REC --check refusing refuses the booking with its
    reason."""
    case = Case(zoba, at)
    try:
        rec = os.path.join(case.folder, "REC")
        with open(rec, "w") as f:
            f.write(REC_STAND_IN)
        os.chmod(rec, 0o755)
        refuse = os.path.join(case.folder, "refuse")
        open(refuse, "w").close()
        case.set_recorder("REC")
        path = case.write_iepg(iepg(tomorrow(), "21:00", "21:54", "Show"))
        status, text = run_answering(case, path, "y")
        notice = text.split("上記で予約しますか？")[-1]
        check(NOT_REGISTERED in notice and "REC: no tuner can receive channel 8" in notice and
              "終了コード 8" in notice, "REC's reason and status 8 in the notice: %r" % notice)
        check(case.new_jobs() == {}, "no job")
        os.remove(refuse)
        status, text = run_answering(case, path, "y")
        check(REGISTERED in text, "registered once REC can record: %r" % text)
        number, _ = the_job(case)
        command = job_command(number)
        check("\n'%s' 'Y0002' '8' " % rec in command, "REC by its full path: %r" % command)
        check(run_job_line(case, command)[0][0] == "Y0002", "REC ran the recorder")
        with open(rec, "w") as f:
            f.write(REC_STAND_IN.replace(REC_SIGNATURE, "a REC of the user's"))
        open(refuse, "w").close()
        status, text = run_answering(case, path, "y")
        check(REGISTERED in text, "a REC without the signature is not asked: %r" % text)
    finally:
        case.clean()
    real = os.path.join(os.path.dirname(at), "REC")
    if os.path.exists(real):  # the real REC, with no [REC] settings, refuses
        case = Case(zoba, at)
        try:
            shutil.copy(real, case.folder)
            case.set_recorder("REC")
            path = case.write_iepg(iepg(tomorrow(), "21:00", "21:54", "Show"))
            status, text = run_answering(case, path, "y")
            notice = text.split("上記で予約しますか？")[-1]
            check(NOT_REGISTERED in notice and "REC: " in notice and "終了コード 8" in notice,
                  "the real REC's reason in the notice: %r" % notice)
            check(case.new_jobs() == {}, "no job")
        finally:
            case.clean()


def test_settings_with_a_byte_order_mark_keep_their_number(zoba, at):
    """Notepad's marks: the file is read through them, never taken for one
    without [ZOBA], so the reservation number goes on."""
    body = "[TVCH]\r\n%s=8\r\n[ZOBA]\r\nno=0041\r\n" % STATION
    for mark, encoding in ((b"\xef\xbb\xbf", "utf-8"), (b"\xff\xfe", "utf-16-le"),
                           (b"\xfe\xff", "utf-16-be")):
        case = Case(zoba, at)
        try:
            text = body.replace("no=0041", "rec_exec=%s\r\nno=0041" % case.recorder)
            with open(case.ini(), "wb") as f:
                f.write(mark + text.encode(encoding))
            path = case.write_iepg(iepg(tomorrow(), "21:00", "21:54", "Show"))
            status, out = run_answering(case, path, "y")
            check(" Y0042 " in out and REGISTERED in out, "%s: booked as Y0042: %r" % (encoding, out))
            with open(case.ini(), "rb") as f:
                data = f.read()
            check(data.startswith(mark), "%s: the mark kept" % encoding)
            after = data[len(mark):].decode(encoding)
            check(after.count("[ZOBA]") == 1 and "no=0042" in after,
                  "%s: one [ZOBA], no=0042: %r" % (encoding, after))
        finally:
            case.clean()


OVERLAP = "※ 重なる予約: "
BOOKED = "※ 予約済み: "


def conflict_lines(text):
    return [line.strip() for line in text.splitlines() if line.startswith("※")]


def test_the_question_names_what_a_booking_collides_with(zoba, at):
    """Read back from AT's listing of the jobs booked before: an overlap with
    one tuner, the same with two, and the same programme twice."""
    case = Case(zoba, at)
    try:
        day = tomorrow()
        bookings = [("21:00", "21:54", "First", []),
                    ("21:30", "22:00", "Second", [OVERLAP + "Y0001 8 21:00-21:54 First"]),
                    ("tuners", None, None, None),
                    # Back to back with First: one overlap, which two tuners take.
                    ("21:54", "22:10", "Late", []),
                    ("21:40", "21:50", "Third", [OVERLAP + "Y0001 8 21:00-21:54 First、"
                                                 "Y0002 8 21:30-22:00 Second"]),
                    ("21:00", "21:54", "First", [BOOKED + "Y0001 8 21:00-21:54 First"])]
        for start, end, title, expected in bookings:
            if start == "tuners":
                text = case.ini_text().replace("tuners=1\r\n", "tuners=2\r\n")
                with open(case.ini(), "wb") as f:
                    f.write(text.encode("utf-8"))
                continue
            path = case.write_iepg(iepg(day, start, end, title))
            status, text = run_answering(case, path, "y")
            check(status == 0 and REGISTERED in text, "%s registered: %r" % (title, text))
            check(conflict_lines(text) == expected,
                  "%s %s: %r, got %r" % (title, start, expected, conflict_lines(text)))
        check(len(case.new_jobs()) == 5, "five jobs: %r" % case.new_jobs())
    finally:
        case.clean()


def test_a_long_or_held_listing_neither_hides_nor_delays(zoba, at):
    """200 of this install's jobs with the longest titles (far past 64 KiB of
    listing) all reach the check; a listing held up by a lock on AT.jobs
    gives way after its time limit, and the question says so."""
    case = Case(zoba, at)
    holder = None
    try:
        day = tomorrow()
        words = ["%04d" % day.year, "%02d" % day.month, "%02d" % day.day, "T" * 250]
        for i in range(200):
            start = datetime.datetime(2000, 1, 1, 1) + datetime.timedelta(minutes=5 * i)
            end = start + datetime.timedelta(minutes=4)
            launch = start - datetime.timedelta(minutes=1)
            status, out = run_at(case, launch.strftime("%H:%M"), "/NEXT:%02d" % day.day,
                                 case.recorder, "Y%04d" % (i + 1), "5",
                                 start.strftime("%H:%M") + "-" + end.strftime("%H:%M"), *words)
            check(status == 0, "job %d booked: %r" % (i + 1, out))
        last = "Y0200 5 17:35-17:39 " + "T" * 250
        path = case.write_iepg(iepg(day, "17:36", "17:38", "New"))
        status, text = run_answering(case, path, "n")
        check(conflict_lines(text) == [OVERLAP + last], "the last job: %r" % conflict_lines(text))

        holder = subprocess.Popen(
            [sys.executable, "-c", "import fcntl, sys, time\n"
             "f = open(sys.argv[1], 'a')\nfcntl.flock(f, fcntl.LOCK_EX)\n"
             "print('held', flush=True)\ntime.sleep(60)",
             os.path.join(case.folder, "AT.jobs")], stdout=subprocess.PIPE)
        holder.stdout.readline()
        began = time.time()
        process, master = case.start(path)
        text = read_until(master, process, b"[y/N] ", timeout=30)
        waited = time.time() - began
        os.write(master, b"n\n")
        process.wait(timeout=30)
        os.close(master)
        check(waited < 9, "the question came %.1f s late" % waited)
        check(conflict_lines(text) == ["※ 予約の一覧が5秒以内に得られなかったため、"
                                       "重なる予約は確かめていません"], "held: %r" % text)
    finally:
        if holder is not None:
            holder.kill()
            holder.wait()
        case.clean()


def test_stop_here_books_nothing_after(zoba, at):
    case = Case(zoba, at)
    try:
        day = tomorrow()
        header = ("Content-type: application/x-multi-tv-program-info; charset=shift_jis\r\n"
                  "version: 1\r\nboundary: XXB\r\n\r\n").encode("ascii")
        blocks = [iepg(day, "2%d:00" % k, "2%d:30" % k, "Show%d" % k) for k in range(3)]
        path = case.write_iepg(header + b"".join(b"XXB\r\n" + b for b in blocks) + b"XXB\r\n")
        process, master = case.start(path)
        text = ""
        for answer in (b"n\n", b"q\n"):
            text += read_until(master, process, b"[y/n/q] ")
            os.write(master, answer)
        text += read_until(master, process, None)
        status = process.wait(timeout=30)
        os.close(master)
        check(status == 0, "exit status 0, got %d" % status)
        check("番組 1/3" in text and "番組 2/3" in text and "番組 3/3" not in text,
              "asked about the first two only: %r" % text)
        check(case.new_jobs() == {} and REGISTERED not in text, "nothing booked: %r" % text)
    finally:
        case.clean()


TESTS = [test_typical_file_ok, test_japanese_path_reads_right_in_the_notice,
         test_at_lists_and_cancels_its_jobs, test_debug_traces_in_order_on_standard_error, test_cancel_registers_nothing,
         test_midnight_on_the_first_launches_on_day_0, test_launch_past_the_months_end,
         test_hostile_titles_arrive_as_one_plain_argument, test_second_instance_beeps_and_leaves,
         test_no_terminal_answers_cancel, test_at_refuses_what_it_cannot_book,
         test_the_job_runs_in_zobas_folder_and_logs, test_two_installs_keep_their_own_jobs,
         test_installs_whose_names_collide_keep_their_own_jobs,
         test_the_job_outlives_the_folder_zoba_was_started_from,
         test_rec_is_found_beside_at_and_asked_first, test_at_missing_is_reported,
         test_what_is_not_a_file_is_refused_at_once,
         test_a_station_that_cannot_be_a_key_is_refused,
         test_settings_with_a_byte_order_mark_keep_their_number,
         test_the_question_names_what_a_booking_collides_with, test_stop_here_books_nothing_after,
         test_a_long_or_held_listing_neither_hides_nor_delays,
         test_a_recorder_path_arrives_byte_for_byte]


def main():
    zoba, at = sys.argv[1], sys.argv[2]
    reason = can_use_at()
    if reason is not None:
        print("SKIPPED: %s (start it with scripts/test.sh, or: atd)" % reason)
        return SKIP
    failed = 0
    for test in TESTS:
        try:
            test(zoba, at)
            print("PASS", test.__name__)
        except Exception:  # a failed check or a crash both fail the test
            failed += 1
            print("FAIL", test.__name__)
            traceback.print_exc(file=sys.stdout)
    print("%d of %d end-to-end tests passed" % (len(TESTS) - failed, len(TESTS)))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
