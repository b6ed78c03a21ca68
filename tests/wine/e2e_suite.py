#!/usr/bin/env python3
"""The real zoba.exe, end to end under Wine, as a person would use it.

Each case copies the tool into a fresh folder, starts it through zoba_driver
(CreateProcessA with an exact command line), lets the driver read and answer
every message box, and then checks the boxes, the settings file, the command
line the stub AT.exe was given and the exit status. The last cases put the
real AT.exe beside the tool and check what the prefix's Task Scheduler holds. Run by with_wine.sh, which
provides the display, the prefix and the Japanese locale (code page 932).
"""

import argparse
import datetime
import json
import os
import random
import shutil
import string
import subprocess
import sys
import time
import traceback

import server_standin


def sj(text):
    """The Shift_JIS (code page 932) bytes the tool shows for a text."""
    return text.encode("cp932")


CAPTION = sj("ZOBA iepg予約ツール 2008/03/29版 by Pelmoro")
STATION = sj("テレビ東京")
CONFIRMATION = sj(
    "チャンネル:8 テレビ東京\r\n"
    "日時：2008/03/29 21:00-21:54\r\n"
    "番組タイトル:Sample_Show\r\n"
    "起動時刻:03/29 20:59\r\n"
    "上記で予約しますか？"
)
AT_COMMAND = b"AT 20:59 /interactive /NEXT:29 REC Y%04d 8 21:00-21:54 2008 03 29 Sample_Show"
REGISTERED = sj("\n登録しました")
NOT_STARTED = sj("\n登録できませんでした（コマンドを起動できません）")
NO_CHANNEL = sj(" のチャンネルが登録されていません")
CANNOT_OPEN = sj("ファイルがオープンできません")
NO_ARGUMENT = sj("iepgファイルが指定されていません")
END_NOTICE = sj("終了")
EXIT_ANOTHER_INSTANCE = 0xFFFFFFFF  # -1 as Windows reports it
SETTINGS_REGISTERED = sj("[TVCH]\r\nテレビ東京=8\r\n")

# What the debug console lists for the sample, in order, before the question.
TRACE_SAMPLE = [
    sj(line)
    for line in [
        "   0 zoba:242",
        "   1 zoba:384 >s1,s2=Content-type,application/x-tv-program-info; charset=shift_jis\n",
        "   2 zoba:384 >s1,s2=version,1\n",
        "   3 zoba:384 >s1,s2=station,テレビ東京\n",
        "   4 zoba:393 >ch=8 <= テレビ東京\n",
        "   5 zoba:384 >s1,s2=year,2008\n",
        "   6 zoba:399 >yyyy=2008 <= 2008\n",
        "   7 zoba:384 >s1,s2=month,03\n",
        "   8 zoba:405 >month: 03 <= 03\n",
        "   9 zoba:384 >s1,s2=date,29\n",
        "  10 zoba:411 >date: 29 <= 29\n",
        "  11 zoba:384 >s1,s2=start,21:00\n",
        "  12 zoba:417 >21:0 <= 21:00\n",
        "  13 zoba:384 >s1,s2=end,21:54\n",
        "  14 zoba:423 >21:54 <= 21:54\n",
        "  15 zoba:384 >s1,s2=program-title,Sample Show\n",
        "  16 zoba:429 >ptitle:Sample Show\n",
        "  17 zoba:432 >ptitle:Sample_Show\n",
        "  18 zoba:384 >s1,s2=土曜の夜のサンプル番組です。\n,\n",
        "  19 zoba:384 >s1,s2=,\n",
    ]
]

RUN_LIMIT = 120  # seconds for one driven run
SCHEDULER_LIMIT = 60  # seconds for the Task Scheduler to answer
SCHEDULE_KEY = "HKLM\\System\\CurrentControlSet\\Services\\Schedule"
# AT.exe's statuses (README, "AT.exe's exit statuses").
AT_PAST, AT_NO_PROGRAM, AT_NO_SCHEDULER = 3, 4, 5
AT_UNREADABLE, AT_RECORDER = 2, 8
CLASSES = "HKCU\\Software\\Classes"
# Wine 8 does not show HKCU\Software\Classes through HKEY_CLASSES_ROOT as
# Windows does, so the shell would not see a per-user association: the set-up
# case mirrors what the script wrote there, as Windows' merged view would.
MERGED_CLASSES = "HKLM\\Software\\Classes"
ASSOCIATION_KEYS = (".tvpi", ".tvpid", "zoba.iepg")


class Failure(Exception):
    pass


def check(condition, what):
    if not condition:
        raise Failure(what)


def readable(value):
    """Shift_JIS bytes shown as text, so that a failure can be read."""
    if isinstance(value, bytes):
        return repr(value.decode("cp932", "backslashreplace"))
    if isinstance(value, list):
        return "[" + ", ".join(readable(item) for item in value) + "]"
    return repr(value)


def check_equal(actual, expected, what):
    if actual != expected:
        raise Failure("%s:\n    expected %s\n    actual   %s"
                      % (what, readable(expected), readable(actual)))


def win_path(path):
    """The Windows name of a Unix path, through Wine's Z: drive."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


class Box:
    def __init__(self):
        self.caption = b""
        self.text = b""
        self.console_title = None
        self.console = None


class Run:
    """What the driver saw: the boxes in order and the exit status."""

    def __init__(self, log_bytes):
        self.boxes = []
        self.exit_status = None
        self.raw = log_bytes
        for line in log_bytes.decode("ascii").splitlines():
            word, _, rest = line.partition(" ")
            self._take(word, rest)

    def _take(self, word, rest):
        box = self.boxes[-1] if self.boxes else None
        if word == "box":
            self.boxes.append(Box())
        elif word == "caption":
            box.caption = bytes.fromhex(rest)
        elif word == "text":
            box.text = bytes.fromhex(rest)
        elif word == "console-title":
            box.console_title = bytes.fromhex(rest)
            box.console = []
        elif word == "line":
            box.console.append(bytes.fromhex(rest))
        elif word == "exit":
            self.exit_status = int(rest)
        elif word in ("timeout", "not-started", "lock-failed"):
            raise Failure("driver: " + word + " " + rest)

    def texts(self):
        return [box.text for box in self.boxes]


class Driven:
    """One run of the driver. Wine now and then fails to start a process at
    all; such a run, in which the tool never ran, is started again (and said
    so), as a person would click again. A run in which the tool ran is never
    repeated."""

    LAUNCHES = 3

    def __init__(self, wine, driver, job, log):
        self.command = [wine, driver, win_path(job), win_path(log)]
        self.log = log
        self.launches = 0
        self.process = None

    def launch(self):
        if os.path.exists(self.log):
            os.remove(self.log)
        with open(self.log + ".stderr", "wb") as errors:
            self.process = subprocess.Popen(self.command, stdin=subprocess.DEVNULL, stderr=errors)
        self.launches += 1

    def wait(self):
        try:
            return self.process.wait(timeout=RUN_LIMIT)
        except subprocess.TimeoutExpired:
            self.process.kill()
            raise Failure("the driver did not finish")

    def never_ran(self):
        """No log: Wine did not start the driver. "not-started": the driver
        could not start the tool. Either way nothing of the tool ran."""
        if not os.path.exists(self.log):
            return True
        return read(self.log).startswith(b"not-started")

    def relaunch(self):
        """Starts an ended run again if the tool never ran in it."""
        if self.process.poll() is None or self.launches >= self.LAUNCHES or not self.never_ran():
            return False
        print("note: %s: the tool did not start (%r, Wine said %r); starting it again"
              % (os.path.basename(self.log), read_if_any(self.log),
                 read_if_any(self.log + ".stderr")), flush=True)
        self.launch()
        return True


class Suite:
    def __init__(self, options):
        self.o = options
        self.passed = []
        self.failed = []

    # --- running the tool -------------------------------------------------

    def fresh_folder(self, name, settings=None, with_at=True, real_at=False):
        """A fresh folder with its own copy of the tool, the stub (or the real
        AT.exe and the stub as its recorder REC.exe) and the sample."""
        folder = os.path.join(self.o.work, name)
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)
        shutil.copy(self.o.zoba, os.path.join(folder, "zoba.exe"))
        if real_at:
            shutil.copy(self.o.at, os.path.join(folder, "AT.exe"))
            shutil.copy(self.o.at_stub, os.path.join(folder, "REC.exe"))
        elif with_at:
            shutil.copy(self.o.at_stub, os.path.join(folder, "AT.exe"))
        shutil.copy(self.o.sample, os.path.join(folder, "sample.tvpi"))
        if settings is not None:
            write(os.path.join(folder, "zoba.ini"), settings)
        return folder

    def start(self, folder, command_line, answers, name="run"):
        """Starts the driver on a command line (bytes) with one script line per box."""
        job = os.path.join(folder, name + ".job")
        write(job, b"\n".join([command_line] + [sj(a) for a in answers]) + b"\n")
        driven = Driven(self.o.wine, self.o.driver, job, os.path.join(folder, name + ".log"))
        driven.launch()
        return driven

    def finish(self, driven):
        status = driven.wait()
        while status != 0 and driven.relaunch():
            status = driven.wait()
        if status != 0:
            raise Failure("driver exit status %d; its log: %r; Wine said: %r"
                          % (status, read_if_any(driven.log), read_if_any(driven.log + ".stderr")))
        return Run(read(driven.log))

    def run(self, folder, command_line, answers, name="run"):
        return self.finish(self.start(folder, command_line, answers, name))

    def sample_command(self, folder):
        return sj('"%s" "%s"' % (win_path(os.path.join(folder, "zoba.exe")),
                                 win_path(os.path.join(folder, "sample.tvpi"))))

    def screenshot(self, ready_path, which, png_name):
        """Crops the screen to the box or the console, as the driver reported it."""
        rects = {}
        for line in read(ready_path).decode("ascii").splitlines():
            label, x, y, w, h = line.split()
            rects[label] = (int(x), int(y), int(w), int(h))
        x, y, w, h = rects[which]
        check(w > 0 and h > 0, "a window to photograph: " + which)
        time.sleep(1.0)  # let the window finish painting
        os.makedirs(self.o.docs, exist_ok=True)
        target = os.path.join(self.o.docs, png_name)
        subprocess.run(
            ["import", "-silent", "-window", "root", "-crop", "%dx%d+%d+%d" % (w, h, x, y),
             "+repage", "-strip", "png:" + target],
            check=True,
        )
        check(os.path.getsize(target) > 0, "screenshot " + png_name)

    def wait_ready(self, path, driven):
        deadline = time.time() + RUN_LIMIT
        while not os.path.exists(path):
            if driven.process.poll() is not None and not driven.relaunch():
                raise Failure("the tool ended before the pause " + path)
            check(time.time() < deadline, "no pause " + path)
            time.sleep(0.1)

    # --- the cases ----------------------------------------------------------

    def case_first_run_bare_folder(self):
        folder = self.fresh_folder("first_run")
        r = self.run(folder, self.sample_command(folder), [])
        check_equal(r.texts(), [STATION + NO_CHANNEL], "boxes")
        check_equal(r.boxes[0].caption, CAPTION, "caption")
        check_equal(r.exit_status, 0, "exit status")
        lines = [line for line in read(os.path.join(folder, "zoba.ini")).split(b"\r\n") if line]
        check_equal(lines, [b"[ZOBA]", b"debug=0", b"sch_start_offset=-1", b"rec_end_offset=0",
                            b"no=0", b"tuners=1", b"[TVCH]", STATION + b"="],
                    "settings written")
        check(not os.path.exists(os.path.join(folder, "AT.log")), "nothing registered")

    def case_registered_ok(self):
        folder = self.fresh_folder("registered", SETTINGS_REGISTERED)
        pause = os.path.join(folder, "confirmation")
        driven = self.start(folder, self.sample_command(folder),
                                  ["ok\tpause=" + win_path(pause)])
        self.wait_ready(pause + ".ready", driven)
        self.screenshot(pause + ".ready", "box", "confirmation.png")
        write(pause + ".go", b"")
        r = self.finish(driven)
        check_equal(r.texts(), [CONFIRMATION, AT_COMMAND % 1 + REGISTERED], "boxes")
        check_equal([b.caption for b in r.boxes], [CAPTION, CAPTION], "captions")
        check_equal(r.exit_status, 0, "exit status")
        check_equal(at_log(folder), [AT_COMMAND % 1], "command line given to AT")
        check_equal(setting(folder, b"no"), b"0001", "no advanced")
        # Started without a console window: none flashed up.
        check_equal(read(os.path.join(folder, "AT.console")), b"0\n", "AT's console window")

    def case_second_run(self):
        folder = self.fresh_folder("second_run", SETTINGS_REGISTERED)
        self.run(folder, self.sample_command(folder), ["ok"], "first")
        r = self.run(folder, self.sample_command(folder), ["ok"], "second")
        check_equal(r.texts(), [CONFIRMATION, AT_COMMAND % 2 + REGISTERED], "second run")
        check_equal(at_log(folder), [AT_COMMAND % 1, AT_COMMAND % 2], "both registrations")
        check_equal(setting(folder, b"no"), b"0002", "no after the second run")

    def case_several_programmes(self):
        """A file of four programmes: booked, no channel, skipped, booked."""
        folder = self.fresh_folder("several", SETTINGS_REGISTERED)
        sample = read(self.o.sample)

        def later(start, end, title):
            return (sample.replace(b"start: 21:00", b"start: " + start)
                    .replace(b"end: 21:54", b"end: " + end)
                    .replace(b"Sample Show", title))

        blocks = [sample, sample.replace(STATION, b"BS-TEST"),
                  later(b"22:00", b"22:30", b"Late News"), later(b"23:00", b"23:55", b"Night Movie")]
        header = (b"Content-type: application/x-multi-tv-program-info; charset=shift_jis\r\n"
                  b"version: 1\r\nboundary: XXXBOUNDARYXXX\r\nmulti-program-title: my list\r\n\r\n")
        boundary = b"XXXBOUNDARYXXX\r\n"
        write(os.path.join(folder, "list.tvpi"), header + b"".join(boundary + b for b in blocks)
              + boundary)
        command = sj('"%s" "%s"' % (win_path(os.path.join(folder, "zoba.exe")),
                                    win_path(os.path.join(folder, "list.tvpi"))))
        # Yes books, No skips only that programme; the station without a
        # channel is named once, at the end.
        r = self.run(folder, command, ["yes", "ok", "no", "yes", "ok", "ok"])
        late = CONFIRMATION.replace(b"21:00-21:54", b"22:00-22:30").replace(b"20:59", b"21:59")
        night = CONFIRMATION.replace(b"21:00-21:54", b"23:00-23:55").replace(b"20:59", b"22:59")
        night_at = b"AT 22:59 /interactive /NEXT:29 REC Y0002 8 23:00-23:55 2008 03 29 Night_Movie"
        answers = sj("\r\n（はい: 予約する　いいえ: この番組を飛ばす　キャンセル: ここで終える）")
        check_equal(r.texts(), [
            sj("番組 1/4\r\n") + CONFIRMATION + answers, AT_COMMAND % 1 + REGISTERED,
            sj("番組 3/4\r\n") + late.replace(b"Sample_Show", b"Late_News") + answers,
            sj("番組 4/4\r\n") + night.replace(b"Sample_Show", b"Night_Movie") + answers,
            night_at + REGISTERED,
            sj("次の放送局のチャンネルが登録されていません\r\n") + b"BS-TEST"], "boxes")
        check_equal(at_log(folder), [AT_COMMAND % 1, night_at], "command lines given to AT")
        check_equal(setting(folder, b"no"), b"0002", "no advanced once per registration")
        check(b"\r\nBS-TEST=\r\n" in read(os.path.join(folder, "zoba.ini")), "station entered")
        check_equal(r.exit_status, 0, "exit status")

    def case_cancel(self):
        folder = self.fresh_folder("cancel", SETTINGS_REGISTERED + sj("[ZOBA]\r\nno=0041\r\n"))
        before = read(os.path.join(folder, "zoba.ini"))
        r = self.run(folder, self.sample_command(folder), ["cancel"])
        check_equal(r.texts(), [CONFIRMATION], "boxes")
        check_equal(r.exit_status, 0, "exit status")
        check(not os.path.exists(os.path.join(folder, "AT.log")), "nothing registered")
        after = read(os.path.join(folder, "zoba.ini"))
        check_equal(setting(folder, b"no"), b"0041", "no unchanged")
        check(after.startswith(before), "settings kept, only missing defaults added")

    def case_no_argument(self):
        folder = self.fresh_folder("no_argument")
        r = self.run(folder, sj('"%s"' % win_path(os.path.join(folder, "zoba.exe"))), [])
        check_equal(r.texts(), [NO_ARGUMENT], "boxes")
        check_equal(r.exit_status, 0, "exit status")

    def case_unopenable_file(self):
        folder = self.fresh_folder("unopenable")
        missing = win_path(os.path.join(folder, "missing.tvpi"))
        r = self.run(folder, sj("%s %s" % (win_path(os.path.join(folder, "zoba.exe")), missing)),
                     [])
        check_equal(r.texts(), [sj(missing) + CANNOT_OPEN], "boxes")
        check_equal(r.exit_status, 0, "exit status")

    def spaces_folder(self, name):
        """A case folder whose programme file lies in "my folder/my programme.tvpi"."""
        folder = self.fresh_folder(name, SETTINGS_REGISTERED)
        os.makedirs(os.path.join(folder, "my folder"))
        programme = os.path.join(folder, "my folder", "my programme.tvpi")
        shutil.copy(self.o.sample, programme)
        return folder, win_path(os.path.join(folder, "zoba.exe")), win_path(programme)

    def case_quoted_path_with_spaces(self):
        folder, zoba, programme = self.spaces_folder("quoted_path")
        r = self.run(folder, sj('%s "%s" ignored' % (zoba, programme)), ["ok"])
        check_equal(r.texts(), [CONFIRMATION, AT_COMMAND % 1 + REGISTERED], "boxes")
        check_equal(at_log(folder), [AT_COMMAND % 1], "command line given to AT")

    def case_unquoted_path_with_spaces(self):
        folder, zoba, programme = self.spaces_folder("unquoted_path")
        r = self.run(folder, sj("%s %s" % (zoba, programme)), [])
        first_word = win_path(os.path.join(folder, "my"))
        check_equal(r.texts(), [sj(first_word) + CANNOT_OPEN], "boxes")
        check(not os.path.exists(os.path.join(folder, "AT.log")), "nothing registered")

    def case_debug_console(self):
        folder = self.fresh_folder("debug", sj("[ZOBA]\r\ndebug=1\r\n") + SETTINGS_REGISTERED)
        pause = os.path.join(folder, "end")
        driven = self.start(folder, self.sample_command(folder),
                                  ["ok", "ok", "ok\tpause=" + win_path(pause)])
        self.wait_ready(pause + ".ready", driven)
        self.screenshot(pause + ".ready", "console", "console.png")
        write(pause + ".go", b"")
        r = self.finish(driven)
        check_equal(r.texts(), [CONFIRMATION, AT_COMMAND % 1 + REGISTERED, END_NOTICE], "boxes")
        for box in r.boxes:
            check_equal(box.console_title, b"CONSOLE", "console title")
        check_equal(r.boxes[0].console, TRACE_SAMPLE + [b"OK"], "console at the question")
        check_equal(r.boxes[2].console,
                    TRACE_SAMPLE + [b"  20 zoba:274", b"  21 zoba:281", b"OK"],
                    "console at the end")
        check_equal(r.exit_status, 0, "exit status")

    def case_second_instance(self):
        folder = self.fresh_folder("second_instance", SETTINGS_REGISTERED)
        pause = os.path.join(folder, "first")
        driven = self.start(folder, self.sample_command(folder),
                                  ["ok\tpause=" + win_path(pause)])
        try:
            self.wait_ready(pause + ".ready", driven)
            second = self.run(folder, self.sample_command(folder), [], "second")
        finally:
            write(pause + ".go", b"")
        first = self.finish(driven)
        check_equal(second.texts(), [], "boxes of the second instance")
        check_equal(second.exit_status, EXIT_ANOTHER_INSTANCE, "exit status of the second")
        check_equal(first.texts(), [CONFIRMATION, AT_COMMAND % 1 + REGISTERED], "first")
        check_equal(at_log(folder), [AT_COMMAND % 1], "one registration")

    def case_scheduler_fails(self):
        folder = self.fresh_folder("scheduler_fails", SETTINGS_REGISTERED)
        write(os.path.join(folder, "AT.status"), b"3")
        # What the scheduler says on failing is shown, its first three lines.
        write(os.path.join(folder, "AT.reason"),
              sj("\r\nAT: 予約できません\r\nline 2\r\nline 3\r\nline 4\r\n"))
        r = self.run(folder, self.sample_command(folder), ["ok"])
        failed = sj("\n登録できませんでした（終了コード 3）\nAT: 予約できません\nline 2\nline 3")
        check_equal(r.texts(), [CONFIRMATION, AT_COMMAND % 1 + failed], "boxes")
        check_equal(at_log(folder), [AT_COMMAND % 1], "command line given to AT")
        check_equal(setting(folder, b"no"), b"0001", "the number is used up")

    def case_hostile_files(self):
        """A station that would read back as a section is refused, and a tab
        in a title never splits the recorder's arguments."""
        folder = self.fresh_folder("hostile", SETTINGS_REGISTERED + sj("[ZOBA]\r\nno=0041\r\n"))
        programme = os.path.join(folder, "sample.tvpi")
        sample = read(programme)
        write(programme, sample.replace(sj("station: テレビ東京"), b"station: [ZOBA]"))
        before = read(os.path.join(folder, "zoba.ini"))
        r = self.run(folder, self.sample_command(folder), [], "station")
        check_equal(r.texts(), [sj("[ZOBA] は設定ファイルに登録できない放送局名です")], "boxes")
        check_equal(read(os.path.join(folder, "zoba.ini"))[:len(before)], before,
                    "the settings kept")
        write(programme, sample.replace(b"Sample Show", b"-Sample\tShow"))
        r = self.run(folder, self.sample_command(folder), ["ok"], "title")
        command = (AT_COMMAND % 42).replace(b"Sample_Show", b"_Sample_Show")
        check_equal(at_log(folder), [command], "command line given to AT")

    def case_scheduler_missing(self):
        folder = self.fresh_folder("scheduler_missing", SETTINGS_REGISTERED, with_at=False)
        r = self.run(folder, self.sample_command(folder), ["ok"])
        check_equal(r.texts(), [CONFIRMATION, AT_COMMAND % 1 + NOT_STARTED], "boxes")
        check_equal(setting(folder, b"no"), b"0001", "the number is used up")

    def case_settings_held_open(self):
        folder = self.fresh_folder("settings_held", SETTINGS_REGISTERED)
        settings = os.path.join(folder, "zoba.ini")
        r = self.run(folder, self.sample_command(folder), ["ok\tlock=" + win_path(settings)])
        notice = sj(win_path(settings) + "に書き込めないため予約を中止しました")
        check_equal(r.texts(), [CONFIRMATION, notice], "boxes")
        check(not os.path.exists(os.path.join(folder, "AT.log")), "nothing registered")
        check_equal(setting(folder, b"no"), b"0", "no unchanged")
        check_equal(r.exit_status, 0, "exit status")

    # --- booking on a recording server, through WinHTTP ----------------------

    def server_folder(self, name, url, day):
        """A folder whose settings name a recording server (and a booking
        number that must stay as it is), with a digital programme file for
        the service 1024 of network 32736 on that day, 21:00-21:54, whose
        event is 3. Gives (folder, command line)."""
        settings = sj("[ZOBA]\r\nno=0041\r\n[SERVER]\r\nurl=%s\r\n" % url)
        folder = self.fresh_folder(name, settings)
        lines = ["Content-type: application/x-tv-program-info; charset=shift_jis",
                 "version: 2", "station: DFS00400", "station-name: テスト局",
                 "year: %04d" % day.year, "month: %02d" % day.month, "date: %02d" % day.day,
                 "start: 21:00", "end: 21:54", "program-title: Server Show", "program-id: 3",
                 "", "サーバーで録る番組です。"]
        programme = os.path.join(folder, "programme.tvpid")
        write(programme, sj("\r\n".join(lines) + "\r\n"))
        command = sj('"%s" "%s"' % (win_path(os.path.join(folder, "zoba.exe")),
                                    win_path(programme)))
        return folder, command

    def case_server_books_by_programme(self):
        """zoba.exe books on a stand-in EPGStation on 127.0.0.1 through
        WinHTTP: the programme by its id, the server named in the question,
        the server's number in the notice; AT is never run."""
        day = datetime.date.today() + datetime.timedelta(days=7)
        start = datetime.datetime.combine(day, datetime.time(21, 0))
        end = datetime.datetime.combine(day, datetime.time(21, 54))
        programme_id = 327360102400003
        answers = server_standin.epgstation_answers(
            programme_id, 3273601024, int(start.timestamp()) * 1000, int(end.timestamp()) * 1000,
            "Server Show")
        with server_standin.StandIn(answers) as server:
            folder, command = self.server_folder("server_books", server.url, day)
            r = self.run(folder, command, ["ok", "ok"])
        # The server's channel id where a tuner channel stands; no launch
        # time, since the server records.
        question = sj("チャンネル:3273601024 DFS00400（テスト局）\r\n"
                      "日時：%04d/%02d/%02d 21:00-21:54\r\n"
                      "番組タイトル:Server_Show\r\n"
                      "録画サーバー: EPGStation 2.7.3\r\n"
                      "上記で予約しますか？" % (day.year, day.month, day.day))
        check(r.boxes and sj("\r\n録画サーバー: EPGStation 2.7.3\r\n") in r.boxes[0].text,
              "the question names the server: %s" % readable(r.texts()))
        check_equal(r.texts(), [question, sj("EPGStation 予約 7\n登録しました")], "boxes")
        check_equal([b.caption for b in r.boxes], [CAPTION, CAPTION], "captions")
        check_equal(r.exit_status, 0, "exit status")
        check_equal([q.method + " " + q.path for q in server.received], [
            "GET /api/version", "GET /api/channels",
            "GET /api/schedules/detail/%d?isHalfWidth=true" % programme_id,
            "GET /api/reserves?type=all&isHalfWidth=true&offset=0&limit=500",
            "POST /api/reserves"], "the requests the server received")
        posted = server.received[-1]
        check_equal(posted.body, b'{"allowEndLack":false,"programId":327360102400003}',
                    "the booking sent")
        headers = {key.lower(): value for key, value in posted.headers.items()}
        check_equal(headers.get("content-type"), "application/json", "the booking's Content-Type")
        check_equal(headers.get("content-length"), str(len(posted.body)),
                    "the booking's Content-Length")
        check_equal(setting(folder, b"no"), b"0041", "no unchanged")
        check_equal(at_log(folder), [], "AT never run")

    def case_server_down(self):
        """The server named in the settings does not listen: one notice names
        it and why, nothing is asked, and the booking number stays."""
        url = "http://127.0.0.1:%d" % server_standin.free_port()
        day = datetime.date.today() + datetime.timedelta(days=7)
        folder, command = self.server_folder("server_down", url, day)
        started = time.time()
        r = self.run(folder, command, ["ok"])
        took = time.time() - started
        check_equal(len(r.boxes), 1, "one box: %s" % readable(r.texts()))
        notice = r.boxes[0].text
        head = sj("%s に予約できませんでした\nサーバーに接続できません（" % url)
        check(notice.startswith(head) and notice.endswith(sj("）")),
              "the notice names the server and why: %s" % readable(notice))
        check(b"WinHTTP" in notice, "the notice keeps WinHTTP's own words: %s" % readable(notice))
        check_equal(r.boxes[0].caption, CAPTION, "caption")
        check_equal(r.exit_status, 0, "exit status")
        check_equal(setting(folder, b"no"), b"0041", "no unchanged")
        check_equal(at_log(folder), [], "AT never run")
        print("  server_down: %s in %.1f s" % (readable(notice), took), flush=True)

    # --- REC.exe, the recorder launcher, with a stub recorder --------------

    def rec_folder(self, name, command, stop=None):
        """A folder with REC.exe, the stub recorder and the shipped zoba.ini,
        whose [REC] section gets a command (and a stop mode); the recordings
        go to a folder with a blank in its name, which REC makes."""
        folder = os.path.join(self.o.work, name)
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)
        shutil.copy(self.o.rec, os.path.join(folder, "REC.exe"))
        shutil.copy(self.o.rec_stub, os.path.join(folder, "rec_stub.exe"))
        videos = os.path.join(folder, "rec videos")
        shipped = read(self.o.shipped_ini)
        keys = "command=%s\r\nfolder=%s\r\n" % (command, win_path(videos))
        if stop:
            keys += "stop=%s\r\n" % stop
        check(shipped.count(b"\r\n[REC]\r\n") == 1, "one [REC] section in the shipped zoba.ini")
        write(os.path.join(folder, "zoba.ini"),
              shipped.replace(b"\r\n[REC]\r\n", b"\r\n[REC]\r\n" + sj(keys)))
        return folder, videos

    def start_rec(self, folder, words):
        """REC.exe started as a person would type it; its output to a file."""
        with open(os.path.join(folder, "REC.output"), "wb") as out:
            return subprocess.Popen([self.o.wine, os.path.join(folder, "REC.exe")] + words,
                                    cwd=folder, stdin=subprocess.DEVNULL, stdout=out,
                                    stderr=subprocess.STDOUT)

    def check_recording(self, folder, videos, process, name, ending, outcome):
        """One REC run: the whole programme recorded into one new file, the
        stub started with no console window and ended as the stop mode says,
        and one log line. Returns the stub's arguments."""
        check_equal((process.returncode, read(os.path.join(folder, "REC.output"))), (0, b""),
                    "REC's exit status and output")
        check_equal(sorted(os.listdir(videos)), [name], "the recordings")
        check(os.path.getsize(os.path.join(videos, name)) > 0, "bytes recorded")
        lines = read(os.path.join(folder, "rec_stub.log")).decode().splitlines()
        check_equal(lines[1:], ["window 0"] + ([ending] if ending else []), "the stub's log")
        check(lines[0].startswith("args "), "the stub's arguments: %r" % lines)
        log = read(os.path.join(folder, "REC.log")).decode().splitlines()
        check(len(log) == 1 and " recorded attempt 1 from " in log[0]
              and (": %s, " % outcome) in log[0], "REC's log line: %r" % log)
        return json.loads(lines[0][len("args "):])

    def case_rec_recordings(self):
        """REC.exe three times side by side on a programme starting 15 to 75
        seconds ahead: a Japanese title whose Shift_JIS holds "\\" and "|" as
        second bytes (表, ポ) recorded by a recorder that stops itself, one
        stopped by a line end on its input, and one that REC ends."""
        title = "表示ポート:テスト"
        runs = [("duration", "rec_stub.exe --title {title} --seconds {seconds} --file {file}",
                 None, title, "time-up", "exit 0"),
                ("stdin", "rec_stub.exe --stdin --file {file}", "stdin", "Stdin_Show",
                 "line-end", "exit 0"),
                ("terminate", "rec_stub.exe --file {file}", "terminate", "Ended_Show", None,
                 "terminated")]
        # The next minute, unless it is too near for three Wine starts to
        # come before it: a recorder started after the start is "partial".
        start = (datetime.datetime.now() + datetime.timedelta(seconds=75)).replace(
            second=0, microsecond=0)
        end = start + datetime.timedelta(minutes=2)
        window = ["8", "%s-%s" % (start.strftime("%H:%M"), end.strftime("%H:%M")),
                  start.strftime("%Y"), start.strftime("%m"), start.strftime("%d")]
        started = []
        for mode, command, stop, show, ending, outcome in runs:
            # One REC lives in a folder whose Shift_JIS name holds a "\"
            # second byte (表): its settings file is still found.
            name = "rec_" + mode + ("_表示" if mode == "stdin" else "")
            folder, videos = self.rec_folder(name, command, stop)
            started.append((folder, videos, self.start_rec(folder, ["Y0001"] + window + [show])))
        deadline = time.time() + (end - datetime.datetime.now()).total_seconds() + RUN_LIMIT
        for _, _, process in started:
            try:
                process.wait(timeout=max(deadline - time.time(), 1))
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()
        problems = []
        stem = start.strftime("%Y%m%d-%H%M") + "_8_"
        for (mode, _, _, show, ending, outcome), (folder, videos, process) in zip(runs, started):
            try:
                name = stem + show.replace(":", "_") + ".ts"
                words = self.check_recording(folder, videos, process, name, ending, outcome)
                if mode == "duration":
                    check_equal(words[:4] + words[5:],
                                [win_path(os.path.join(folder, "rec_stub.exe")), "--title", title,
                                 "--seconds", "--file", win_path(os.path.join(videos, name))],
                                "the recorder's arguments")
                    check(60 <= int(words[4]) <= 185, "the seconds left: %s" % words[4])
            except Failure as failure:
                problems.append("%s: %s" % (mode, failure))
        check(not problems, "\n".join(problems))

    def case_rec_job_ends_what_cmd_started(self):
        """A recorder that is cmd handing the work to a stub in the
        background (start /b) and ending 3 s later: REC ends the stub with
        cmd's job before each new attempt and after the last, so no
        recording grows once REC has ended."""
        folder, videos = self.rec_folder(
            "rec_job", "cmd /c start /b rec_stub.exe --file {file} & rec_stub.exe --seconds 3")
        # Begun a minute ago: REC starts at once and has two minutes left.
        begun = datetime.datetime.now().replace(second=0, microsecond=0) - datetime.timedelta(
            minutes=1)
        end = begun + datetime.timedelta(minutes=3)
        words = ["Y0001", "8", "%s-%s" % (begun.strftime("%H:%M"), end.strftime("%H:%M")),
                 begun.strftime("%Y"), begun.strftime("%m"), begun.strftime("%d"), "Job_Show"]
        process = self.start_rec(folder, words)
        process.wait(timeout=RUN_LIMIT + 180)
        log = read(os.path.join(folder, "REC.log")).decode().splitlines()
        check(len(log) == 4 and all(" partial attempt " in line and ": exit 0, " in line
                                    for line in log), "four attempts, each cmd's: %r" % log)
        stubs = [line for line in read(os.path.join(folder, "rec_stub.log")).decode().splitlines()
                 if line.startswith("args ") and "--file" in line]
        check(len(stubs) == 4, "a background stub per attempt: %r" % stubs)
        sizes = {name: os.path.getsize(os.path.join(videos, name)) for name in os.listdir(videos)}
        time.sleep(3)
        later = {name: os.path.getsize(os.path.join(videos, name)) for name in os.listdir(videos)}
        check(len(sizes) == 4 and sizes == later, "nothing written after REC's end: %r then %r"
              % (sizes, later))

    def case_rec_check_refuses_a_batch_file_windows_would_open(self):
        """rec.bat. and "rec.bat " are rec.bat to Windows: --check refuses
        them as the run would, so no booking is made that never records;
        rec_stub.exe. is rec_stub.exe and passes."""
        for name, refused in (("rec_stub.exe.", False), ("rec.bat.", True), ("rec.bat ", True)):
            path = os.path.join(self.o.work, "rec_batch", name)
            folder, _ = self.rec_folder("rec_batch", '"%s" --file {file}' % win_path(path))
            write(os.path.join(folder, "rec.bat"), b"@echo off\r\n")
            words = ["--check", "Y0001", "8", "21:00-21:54", "2030", "03", "29", "T"]
            process = self.start_rec(folder, words)
            process.wait(timeout=RUN_LIMIT)
            reason = ("REC: the recorder %s is not a program (command= in [REC])\r\n"
                      % win_path(path)).encode() if refused else b""
            check_equal((process.returncode, read(os.path.join(folder, "REC.output"))),
                        (9 if refused else 0, reason), "REC --check of %r" % name)

    def case_rec_check(self):
        """The whole booking with the shipped zoba.ini, whose [REC] keys are
        all comments: zoba asks, the real AT.exe asks the real REC.exe to
        check through a pipe, and REC's reason, written to standard error
        by a program without a console, reaches zoba's notice."""
        folder, _ = self.task_folder("rec_check")
        shutil.copy(self.o.rec, os.path.join(folder, "REC.exe"))
        settings = os.path.join(folder, "zoba.ini")
        write(settings, read(self.o.shipped_ini))
        r = self.run(folder, self.sample_command(folder), ["ok"])
        self.failed_notice(r, AT_RECORDER, "REC with no command",
                           b"the recorder cannot record: REC: no recorder: set command= in [REC]"
                           b" of the settings file (" + sj(win_path(settings)) + b")")
        check(not os.path.exists(self.install_task(folder, "Y0001")), "no task")

    # --- the real AT.exe and the prefix's Task Scheduler -------------------

    def at(self, folder, *words, settings=None):
        """Runs AT.exe of a folder with the words, for the install of a
        settings file as zoba names it when given; (status, output lines).
        The output goes through a file: a Wine service that this run starts
        would hold a pipe open after AT has ended."""
        output = os.path.join(folder, "AT.output")
        env = dict(os.environ)
        if settings is not None:
            env["ZOBA_SETTINGS"] = settings
        with open(output, "wb") as out:
            status = subprocess.run([self.o.wine, os.path.join(folder, "AT.exe")] + list(words),
                                    cwd=folder, stdin=subprocess.DEVNULL, stdout=out, env=env,
                                    stderr=subprocess.STDOUT, timeout=RUN_LIMIT).returncode
        return status, read(output).splitlines()

    def wait_for_scheduler(self, folder):
        """Polls until the Task Scheduler answers AT's listing."""
        deadline = time.time() + SCHEDULER_LIMIT
        while True:
            status, lines = self.at(folder)
            if status == 0:
                return
            check(time.time() < deadline, "the Task Scheduler answers: %r" % lines)
            time.sleep(1)

    def task_folder(self, name, title=b"Sample Show"):
        """A folder with the real AT.exe, the Task Scheduler answering, and a
        programme two days ahead, so that its launch is still to come."""
        folder = self.fresh_folder(name, SETTINGS_REGISTERED, real_at=True)
        self.wait_for_scheduler(folder)
        day = datetime.date.today() + datetime.timedelta(days=2)
        programme = read(self.o.sample)
        for old, new in ((b"year: 2008", b"year: %04d" % day.year),
                         (b"month: 03", b"month: %02d" % day.month),
                         (b"date: 29", b"date: %02d" % day.day)):
            programme = programme.replace(b"\r\n" + old + b"\r\n", b"\r\n" + new + b"\r\n")
        programme = programme.replace(b"program-title: Sample Show", b"program-title: " + title)
        write(os.path.join(folder, "sample.tvpi"), programme)
        return folder, day

    def register_ahead(self, name, title=b"Sample_Show"):
        """The tool run on a programme ahead with the real AT.exe beside it;
        the title has nothing that the tool's title cleaning changes."""
        folder, day = self.task_folder(name, title)
        command = (b"AT 20:59 /interactive /NEXT:%02d REC Y0001 8 21:00-21:54 %04d %02d %02d "
                   % (day.day, day.year, day.month, day.day)) + title
        r = self.run(folder, self.sample_command(folder), ["ok"])
        check_equal(r.texts()[1:], [command + REGISTERED], "the notice")
        listing = b"Y0001  %04d/%02d/%02d 20:59  " % (day.year, day.month, day.day) + command[
            command.index(b"REC"):]
        return folder, listing

    def task_file(self, name):
        """Where the prefix's Task Scheduler keeps a task."""
        return os.path.join(os.environ["WINEPREFIX"], "drive_c", "windows", "system32",
                            "tasks", name)

    def install_task(self, folder, job_id):
        """The task file of a job of the install whose settings file is the
        zoba.ini of a folder (AT.exe's task name: "zoba <install> <id>")."""
        return self.task_file("zoba %s %s" % (install_id(win_path(os.path.join(
            folder, "zoba.ini"))), job_id))

    def case_task_registered(self):
        # A Japanese title, whose Shift_JIS has a "\" trail byte (表), passes
        # through UTF-16 into the Task Scheduler and back into AT's listing.
        folder, listing = self.register_ahead("task_registered", sj("表示テスト番組"))
        try:
            stored = read_if_any(self.install_task(folder, "Y0001"))
            check(stored != b"", "the Task Scheduler keeps the install's task Y0001")
            # Wine writes it in UTF-8: the Shift_JIS text came through UTF-16.
            description = b"<Description>%s</Description>" % listing.decode("cp932").encode()
            check(description in stored, "its description holds the listing: %r" % stored)
            check_equal(read(os.path.join(folder, "AT.tasks")),
                        os.path.basename(self.install_task(folder, "Y0001")).encode() + b"\r\n",
                        "the names AT registered")
            check_equal(setting(folder, b"no"), b"0001", "no advanced")
            check_equal(self.at(folder), (0, [listing]), "AT's listing")
        finally:
            self.at(folder, "Y0001", "/delete")

    def case_task_collision(self):
        """The Task Scheduler's tasks, listed by the real AT.exe, read back
        before the question: the same programme again, then one overlapping
        it."""
        folder, _ = self.register_ahead("task_collision")
        try:
            sample = read(os.path.join(folder, "sample.tvpi"))
            r = self.run(folder, self.sample_command(folder), ["cancel"], "again")
            same = sj("\r\n※ 予約済み: Y0001 8 21:00-21:54 Sample_Show\r\n上記で予約しますか？")
            check(r.texts()[0].endswith(same), "the same programme: %r" % r.texts())
            write(os.path.join(folder, "sample.tvpi"),
                  sample.replace(b"start: 21:00", b"start: 21:30").replace(b"end: 21:54",
                                                                         b"end: 22:00"))
            r = self.run(folder, self.sample_command(folder), ["cancel"], "overlap")
            overlap = sj("\r\n※ 重なる予約: Y0001 8 21:00-21:54 Sample_Show\r\n上記で予約しますか？")
            check(r.texts()[0].endswith(overlap), "an overlap: %r" % r.texts())
        finally:
            self.at(folder, "Y0001", "/delete")

    def case_station_name_beside_its_code(self):
        """A digital programme file names its station by a code: the name
        people know is shown beside it, and the code is the settings key."""
        folder = self.fresh_folder("station_name")
        digital = (read(self.o.sample).replace(b"station: " + STATION, b"station: DFS00420\r\n"
                                               b"station-name: " + sj("フジテレビ")))
        write(os.path.join(folder, "sample.tvpid"), digital)
        command = sj('"%s" "%s"' % (win_path(os.path.join(folder, "zoba.exe")),
                                    win_path(os.path.join(folder, "sample.tvpid"))))
        r = self.run(folder, command, ["ok"], "unknown")
        check_equal(r.texts(), [sj("DFS00420（フジテレビ） のチャンネルが登録されていません")],
                    "the no-channel notice")
        settings = read(os.path.join(folder, "zoba.ini"))
        write(os.path.join(folder, "zoba.ini"), settings.replace(b"DFS00420=", b"DFS00420=8"))
        r = self.run(folder, command, ["cancel"], "known")
        check_equal(r.texts(), [CONFIRMATION.replace(STATION, sj("DFS00420（フジテレビ）"))],
                    "the confirmation")

    def case_task_deleted(self):
        folder, _ = self.register_ahead("task_deleted")
        check_equal(self.at(folder, "Y0001", "/delete"),
                    (0, [b"Deleted the job with job ID = Y0001"]), "AT ID /delete")
        check(not os.path.exists(self.install_task(folder, "Y0001")), "the task is gone")
        check_equal(self.at(folder), (0, [b"There are no entries in the list."]), "listing")
        status, lines = self.at(folder, "Y0001", "/delete")
        check(status == 7 and lines[0].startswith(b"AT: there is no job Y0001"),
              "a second deletion: %r %r" % (status, lines))

    def failed_notice(self, r, status, what, reason):
        """The failure notice: AT's status, then why, in AT's own words."""
        notice = sj("\n登録できませんでした（終了コード %d）\nAT: " % status) + reason
        check(len(r.texts()) == 2 and r.texts()[1].endswith(notice),
              "%s: the failure notice with status %d: %s" % (what, status, readable(r.texts())))

    def case_task_launch_past(self):
        folder = self.fresh_folder("task_launch_past", SETTINGS_REGISTERED, real_at=True)
        self.wait_for_scheduler(folder)
        r = self.run(folder, self.sample_command(folder), ["ok"])  # the 2008 sample
        check_equal(r.texts(), [CONFIRMATION, AT_COMMAND % 1 + sj(
            "\n登録できませんでした（終了コード %d）\n" % AT_PAST) +
            b"AT: 2008-03-29 20:59 is in the past; nothing was registered"], "boxes")
        check_equal(setting(folder, b"no"), b"0001", "the number is used up")
        check(not os.path.exists(self.install_task(folder, "Y0001")), "no task")

    def case_task_missing_program(self):
        folder, _ = self.task_folder("task_missing_program")
        write(os.path.join(folder, "zoba.ini"),
              SETTINGS_REGISTERED + b"[ZOBA]\r\nrec_exec=NoSuchRecorder -q\r\n")
        r = self.run(folder, self.sample_command(folder), ["ok"])
        self.failed_notice(r, AT_NO_PROGRAM, "a recorder that is nowhere",
                           b"the program NoSuchRecorder cannot be found")
        check(not os.path.exists(self.install_task(folder, "Y0001")), "no task")
        check_equal(setting(folder, b"no"), b"0001", "the number is used up")

    def case_task_two_installs(self):
        """Two installs book Y0001: each keeps its own task, lists and deletes
        only its own; the same install booking Y0001 again gets Y0001-2."""
        first, listing = self.register_ahead("task_install_one")
        second, _ = self.register_ahead("task_install_two")
        try:
            for folder in (first, second):
                check(os.path.exists(self.install_task(folder, "Y0001")),
                      "the task of %s" % os.path.basename(folder))
            check_equal(self.at(first), (0, [listing]), "the first install's listing")
            # AT typed by hand serves the zoba.ini beside it: the same install.
            words = listing.decode("cp932").split("  ", 2)[2].split(" ")
            day = words[6]
            check_equal(self.at(first, "20:59", "/NEXT:" + day, *words),
                        (0, [b"Added a new job with job ID = Y0001-2"]), "a second Y0001")
            check(os.path.exists(self.install_task(first, "Y0001-2")), "the task Y0001-2")
            check_equal(self.at(first, "Y0001", "/delete"),
                        (0, [b"Deleted the job with job ID = Y0001"]), "the first deleted")
            check(os.path.exists(self.install_task(second, "Y0001")), "the other install's task")
            check_equal(self.at(first), (0, [listing.replace(b"Y0001  ", b"Y0001-2  ", 1)]),
                        "the first install's listing after the deletion")
        finally:
            self.at(first, "Y0001-2", "/delete")
            self.at(second, "Y0001", "/delete")

    def case_task_install_collision(self):
        """Two settings files beside one AT.exe whose install names are the
        same: the second's Y0001 is booked as Y0001-2, and each lists and
        deletes only its own task, told apart by the settings file the task
        names as its source."""
        folder, day = self.task_folder("task_install_collision")
        installs = colliding_settings(win_path(folder))
        words = ["REC", "Y0001", "8", "21:00-21:54"] + day.strftime("%Y %m %d").split()
        when = b"%04d/%02d/%02d 20:59  " % (day.year, day.month, day.day)
        try:
            for path, title, job in zip(installs, ("First", "Second"), ("Y0001", "Y0001-2")):
                check_equal(self.at(folder, "20:59", "/NEXT:%02d" % day.day, *words, title,
                                    settings=path),
                            (0, [b"Added a new job with job ID = " + job.encode()]), title)
                listing = job.encode() + b"  " + when + " ".join(words + [title]).encode()
                check_equal(self.at(folder, settings=path), (0, [listing]), title + "'s listing")
            task = self.task_file("zoba %s Y0001" % install_id(installs[0]))
            stored = read(task)
            check(b"<Source>%s</Source>" % installs[0].encode() in stored,
                  "the task names its settings file: %r" % stored)
            check_equal(self.at(folder, "Y0001", "/delete", settings=installs[1]),
                        (7, [b"AT: there is no job Y0001"]), "the second deleting the first's")
            check(os.path.exists(task), "the first's task is kept")
        finally:
            self.at(folder, "Y0001", "/delete", settings=installs[0])
            self.at(folder, "Y0001-2", "/delete", settings=installs[1])

    def case_task_refused_values(self):
        """REC asked to check its settings refuses the booking with its reason;
        a control byte in the command is refused with the byte named."""
        folder, day = self.task_folder("task_refused_values")
        write(os.path.join(folder, "AT.status"), b"9")
        write(os.path.join(folder, "AT.reason"), b"REC: no tuner is set in [REC]\r\n")
        r = self.run(folder, self.sample_command(folder), ["ok"])
        self.failed_notice(r, AT_RECORDER, "REC refusing its settings",
                           b"the recorder cannot record: REC: no tuner is set in [REC]")
        check(not os.path.exists(self.install_task(folder, "Y0001")), "no task")
        check_equal(at_log(folder), [b'"%s" --check Y0001 8 21:00-21:54 %04d %02d %02d Sample_Show'
                                     % (win_path(os.path.join(folder, "REC.exe")).encode(),
                                        day.year, day.month, day.day)], "REC's check")
        os.remove(os.path.join(folder, "AT.status"))
        status, lines = self.at(folder, "20:59", "/NEXT:%02d" % day.day, "REC", "Y0002",
                                "a\x01b")
        check_equal((status, lines), (AT_UNREADABLE, [
            b"AT: in the arguments, the control byte 0x01 at position 8 cannot be written into "
            b"a task; nothing was registered"]), "a control byte")
        # A REC of the user's (no REC signature in its file) is never started
        # at booking: the stub recorder would log its run.
        shutil.copy(self.o.rec_stub, os.path.join(folder, "REC.exe"))
        words = ["REC", "Y0003", "8", "21:00-21:54"] + day.strftime("%Y %m %d").split() + ["S"]
        check_equal((self.at(folder, "20:59", "/NEXT:%02d" % day.day, *words),
                     os.path.exists(os.path.join(folder, "rec_stub.log"))),
                    ((0, [b"Added a new job with job ID = Y0003"]), False), "a user's own REC")
        self.at(folder, "Y0003", "/delete")

    def case_setup_association(self):
        """setup.cmd run by cmd associates the programme files with the zoba.exe
        beside it, in a folder whose name has a blank; a file opened as
        Explorer opens it ("start" on it) reaches the confirmation; /u undoes
        it."""
        folder = self.fresh_folder("set up", SETTINGS_REGISTERED)
        shutil.copy(self.o.setup, os.path.join(folder, "setup.cmd"))
        script = win_path(os.path.join(folder, "setup.cmd"))
        status, said = self.wine_output(["cmd", "/c", script], folder)
        check(status == 0 and b"now open with" in said, "setup.cmd: %r %r" % (status, said))
        check_equal(self.wine_output(["reg", "query", CLASSES + "\\zoba.iepg\\shell\\open\\command",
                                      "/ve"], folder)[1].split(b"REG_SZ")[-1].strip(),
                    b'"%s" "%%1"' % win_path(os.path.join(folder, "zoba.exe")).encode(),
                    "the command it registered")
        try:
            for key in ASSOCIATION_KEYS:
                self.wine_output(["reg", "copy", CLASSES + "\\" + key,
                                  MERGED_CLASSES + "\\" + key, "/s", "/f"], folder)
            programme = win_path(os.path.join(folder, "sample.tvpi"))
            r = self.run(folder, sj('follow=zoba.exe\tcmd /c start "" "%s"' % programme), ["ok"])
            check_equal(r.texts(), [CONFIRMATION, AT_COMMAND % 1 + REGISTERED], "boxes")
            check_equal(at_log(folder), [AT_COMMAND % 1], "command line given to AT")
        finally:
            for key in ASSOCIATION_KEYS:
                self.wine_output(["reg", "delete", MERGED_CLASSES + "\\" + key, "/f"], folder)
        status, said = self.wine_output(["cmd", "/c", script, "/u"], folder)
        check(status == 0 and b"no longer open" in said, "setup.cmd /u: %r %r" % (status, said))
        for key in ASSOCIATION_KEYS:
            check(self.wine_output(["reg", "query", CLASSES + "\\" + key], folder)[0] != 0,
                  "%s removed" % key)

    def case_setup_refuses_folder(self):
        """setup.cmd in a folder whose name holds "%" or "!" (which cmd reads
        as part of a variable) refuses, naming the character, run from its
        own folder and from another, and writes nothing: no key, no file."""
        for name, character in (("a%b", b"%"), ("a!b", b"!")):
            folder = self.fresh_folder("set" + name, SETTINGS_REGISTERED)
            shutil.copy(self.o.setup, os.path.join(folder, "setup.cmd"))
            script = win_path(os.path.join(folder, "setup.cmd"))
            files = sorted(os.listdir(folder))
            refusal = (b'The name of this folder holds "%s", which cmd reads as part of a '
                       b'variable.\r\nNothing was registered. Move the folder to one whose name '
                       b'has no %% or !,\r\nthen run setup.cmd there.\r\n' % character)
            for where in (folder, self.o.work):
                status, said = self.wine_output(["cmd", "/c", script], where)
                check(status == 0 and said.startswith(refusal),
                      "setup.cmd in %s run from %s: %r %r" % (name, where, status, said))
            check_equal(sorted(set(os.listdir(folder)) - {"wine.output"}), files,
                        "the files of " + name)
            for key in ASSOCIATION_KEYS:
                check(self.wine_output(["reg", "query", CLASSES + "\\" + key], folder)[0] != 0,
                      "no key %s after %s" % (key, name))

    def wine_output(self, words, folder):
        """A Windows program run under Wine with a key press for its input;
        (status, what it wrote)."""
        output = os.path.join(folder, "wine.output")
        with open(output, "wb") as out:
            status = subprocess.run([self.o.wine] + words, cwd=folder, input=b"\r\n",
                                    stdout=out, stderr=subprocess.STDOUT,
                                    timeout=RUN_LIMIT).returncode
        return status, read(output)

    def restart_wineserver(self):
        server = os.path.join(os.path.dirname(self.o.wine), "wineserver")
        quiet = dict(stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                     stderr=subprocess.DEVNULL)
        subprocess.run([server, "-k"], check=False, **quiet)
        subprocess.run([server, "-w"], check=False, **quiet)
        subprocess.run([server, "-p"], check=True, **quiet)

    def set_scheduler_start(self, value):
        subprocess.run([self.o.wine, "reg", "add", SCHEDULE_KEY, "/v", "Start", "/t",
                        "REG_DWORD", "/d", str(value), "/f"], check=True,
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=RUN_LIMIT)

    def case_task_scheduler_not_running(self):
        """Last: it stops the Task Scheduler (a disabled service, a fresh
        server) to run the tool before it answers, then starts it again."""
        folder, _ = self.task_folder("task_scheduler_not_running")
        self.set_scheduler_start(4)  # disabled
        self.restart_wineserver()
        try:
            r = self.run(folder, self.sample_command(folder), ["ok"])
            self.failed_notice(r, AT_NO_SCHEDULER, "the Task Scheduler not running",
                               b"the Task Scheduler is not available (the Task Scheduler service "
                               b"is not running, 0x80041315)")
            check_equal(setting(folder, b"no"), b"0001", "the number is used up")
        finally:
            self.set_scheduler_start(3)  # started on demand, as a prefix has it
            self.restart_wineserver()
        self.wait_for_scheduler(folder)
        check(not os.path.exists(self.task_file("zoba Y0001")), "no task")

    # ------------------------------------------------------------------------

    def run_all(self):
        cases = [name for name in dir(self) if name.startswith("case_")]
        cases.sort(key=lambda name: getattr(Suite, name).__code__.co_firstlineno)
        # ZOBA_WINE_CASES=a,b runs only those cases (names without "case_").
        wanted = os.environ.get("ZOBA_WINE_CASES")
        if wanted:
            cases = [name for name in cases if name[len("case_"):] in wanted.split(",")]
        for name in cases:
            label = name[len("case_"):]
            started = time.time()
            try:
                getattr(self, name)()
            except Failure as failure:
                self.failed.append(label)
                print("FAIL %s: %s" % (label, failure), flush=True)
                continue
            except Exception:
                self.failed.append(label)
                print("FAIL %s:\n%s" % (label, traceback.format_exc()), flush=True)
                continue
            self.passed.append(label)
            print("PASS %s (%.1f s)" % (label, time.time() - started), flush=True)
        print("wine: %d passed, %d failed" % (len(self.passed), len(self.failed)), flush=True)
        return 0 if not self.failed else 1


def read(path):
    with open(path, "rb") as f:
        return f.read()


def read_if_any(path):
    return read(path) if os.path.exists(path) else b""


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)


def at_log(folder):
    path = os.path.join(folder, "AT.log")
    return read(path).splitlines() if os.path.exists(path) else []


def setting(folder, key):
    """The value of a key of section ZOBA, as the file holds it."""
    section = None
    for line in read(os.path.join(folder, "zoba.ini")).splitlines():
        if line.startswith(b"["):
            section = line
        elif section == b"[ZOBA]" and line.startswith(key + b"="):
            return line[len(key) + 1:]
    return None


def install_id(settings_path):
    """AT's name for an install: FNV-1a (32 bits) of its settings file's
    path, ASCII letters in lower case, as eight hexadecimal digits."""
    value = 2166136261
    for byte in settings_path.encode("cp932"):
        if 0x41 <= byte <= 0x5A:
            byte += 32
        value = ((value ^ byte) * 16777619) & 0xFFFFFFFF
    return "%08x" % value


def colliding_settings(folder):
    """Two settings files in a folder (its Windows name) whose install names
    are the same, found by trying names of random letters: one repeats after
    some 80,000 of them, in about a second."""
    head = int(install_id(folder + "\\"), 16)
    names = {}
    chooser = random.Random(1)
    while True:
        name = "".join(chooser.choice(string.ascii_lowercase) for _ in range(7)) + ".ini"
        value = fnv1a(name.encode(), head)
        if names.setdefault(value, name) != name:
            return [folder + "\\" + n for n in (names[value], name)]


def fnv1a(data, value):
    for byte in data:
        value = ((value ^ byte) * 16777619) & 0xFFFFFFFF
    return value


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    for option in ("wine", "zoba", "driver", "at-stub", "at", "sample", "work", "docs", "rec",
                   "rec-stub", "shipped-ini"):
        parser.add_argument("--" + option, required=True)
    parser.add_argument("--setup", required=True)
    options = parser.parse_args()
    shutil.rmtree(options.work, ignore_errors=True)
    os.makedirs(options.work)
    return Suite(options).run_all()


if __name__ == "__main__":
    sys.exit(main())
