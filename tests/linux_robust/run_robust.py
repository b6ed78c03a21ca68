#!/usr/bin/env python3
"""Crash, concurrency and unwritable-settings tests of the Linux build: the
real zoba in a folder of its own, with a stand-in AT beside it that only
records its arguments (the tool looks in its own folder first).

Usage: run_robust.py ZOBA CASE... (or "all"). Each case prints PASS, FAIL or
SKIP; the last line is "robust: N passed, N failed, N skipped". Exit status
1 when a case failed, 77 (skipped) when every case named was skipped, else 0.

What the user sees: with no terminal a message box's text goes to standard
error; on a terminal it is shown there and OK is "y". A second instance
exits with -1 (status 255) and its only output is the bell, which it rings
on a terminal.
"""
import contextlib
import os
import pty
import random
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import traceback

SKIP = 77
STATION = "テレビ東京"
NEW_STATION = "新局"
NOT_STORED = "に書き込めないため予約を中止しました"
NO_CHANNEL = " のチャンネルが登録されていません"
QUESTION = "上記で予約しますか？"
PROMPT = b"[y/N] "
# Records each command line it is given (not the listing zoba asks for, with
# no arguments, before its question); the log's path comes from the
# environment, since the folder beside the tool may be read-only.
AT_STUB = ('#!/bin/sh\n[ $# -gt 0 ] || exit 0\n'
           'printf "%s\\n" "$*" >> "$ZOBA_TEST_AT_LOG"\n')
# A settings file with every key the tool would add, and one without them.
COMPLETE = ("; zoba\r\n[ZOBA]\r\nrec_exec=REC\r\ndebug=0\r\nsch_start_offset=-1\r\n"
            "rec_end_offset=0\r\nno=0041\r\ntuners=1\r\n[TVCH]\r\n" + STATION + "=8\r\n")
PARTIAL = "; zoba\r\n[ZOBA]\r\nrec_exec=REC\r\n[TVCH]\r\n" + STATION + "=8\r\n"
DEFAULT_LINES = ["debug=0", "sch_start_offset=-1", "rec_end_offset=0", "no=0", "tuners=1"]


class Skipped(Exception):
    pass


def check(condition, what):
    if not condition:
        raise AssertionError(what)


def iepg(station=STATION):
    lines = ["Content-type: application/x-tv-program-info; charset=shift_jis", "version: 1",
             "station: " + station, "year: 2037", "month: 12", "date: 24", "start: 21:00",
             "end: 21:54", "program-title: Show", ""]
    return ("\r\n".join(lines)).encode("cp932")


def sjis(text):
    return text.encode("cp932")


class Folder:
    """zoba, the AT stand-in, a settings file and a programme file in a
    folder of their own; the lock file and the AT log go to a second one."""

    def __init__(self, zoba, settings, folder=None, station=STATION):
        self.folder = folder or tempfile.mkdtemp(prefix="zoba_robust_")
        self.run_folder = tempfile.mkdtemp(prefix="zoba_robust_run_")
        self.zoba = os.path.join(self.folder, "zoba")
        shutil.copy(zoba, self.zoba)
        with open(os.path.join(self.folder, "AT"), "w") as f:
            f.write(AT_STUB)
        os.chmod(os.path.join(self.folder, "AT"), 0o755)
        self.ini = os.path.join(self.folder, "zoba.ini")
        if settings is not None:
            with open(self.ini, "wb") as f:
                f.write(settings)
        self.programme = os.path.join(self.folder, "programme.tvpi")
        with open(self.programme, "wb") as f:
            f.write(iepg(station))
        self.at_log = os.path.join(self.run_folder, "at.log")

    def env(self):
        env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
        env.update(LANG="C.UTF-8", LC_ALL="C.UTF-8", XDG_RUNTIME_DIR=self.run_folder,
                   ZOBA_TEST_AT_LOG=self.at_log)
        return env

    def command(self):
        return [self.zoba, self.programme]

    def settings(self):
        with open(self.ini, "rb") as f:
            return f.read()

    def at_calls(self):
        if not os.path.exists(self.at_log):
            return []
        with open(self.at_log) as f:
            return f.read().splitlines()

    def listing(self):
        """Every file below the folder with its bytes (or None for a folder),
        but the empty lock file through which writers take turns."""
        found = {}
        for root, dirs, files in os.walk(self.folder):
            for name in dirs:
                found[os.path.relpath(os.path.join(root, name), self.folder)] = None
            for name in files:
                if name == "zoba.ini.lock":
                    continue
                path = os.path.join(root, name)
                with open(path, "rb") as f:
                    found[os.path.relpath(path, self.folder)] = f.read()
        return found

    def strays(self):
        known = {"zoba", "AT", "zoba.ini", "zoba.ini.lock", "programme.tvpi"}
        return sorted(set(os.listdir(self.folder)) - known)

    def clean(self):
        shutil.rmtree(self.run_folder, ignore_errors=True)
        shutil.rmtree(self.folder, ignore_errors=True)


def read_terminal(master, until=None, timeout=20):
    """Reads a pseudo-terminal until the text until shows or it closes."""
    out = b""
    deadline = time.time() + timeout
    while time.time() < deadline:
        ready, _, _ = select.select([master], [], [], 0.2)
        if not ready:
            continue
        try:
            chunk = os.read(master, 4096)
        except OSError:  # every slave end closed
            break
        if not chunk:
            break
        out += chunk
        if until is not None and until in out:
            break
    return out


def start_on_terminal(command, env, cwd):
    master, slave = pty.openpty()
    process = subprocess.Popen(command, stdin=slave, stdout=slave, stderr=slave, env=env,
                               cwd=cwd, start_new_session=True)
    os.close(slave)
    return process, master


def run_answering(folder, answer, prefix=()):
    """Runs zoba on a terminal and answers its question if it asks one.
    Returns (status, terminal text, whether it asked)."""
    process, master = start_on_terminal(list(prefix) + folder.command(), folder.env(),
                                        folder.run_folder)
    out = read_terminal(master, PROMPT)
    asked = PROMPT in out
    if asked:
        os.write(master, answer + b"\n")
    out += read_terminal(master)
    status = process.wait(timeout=30)
    os.close(master)
    return status, out.decode("utf-8", "replace"), asked


def run_without_terminal(folder):
    run = subprocess.run(folder.command(), stdin=subprocess.DEVNULL, capture_output=True,
                         env=folder.env(), cwd=folder.run_folder, timeout=30)
    return run.returncode, run.stdout.decode("utf-8", "replace"), run.stderr.decode(
        "utf-8", "replace")


# ---- killed while writing


def model_states(initial):
    """The settings file after each write of a first run that meets a new
    station: the five defaults after the last line of [ZOBA], then the
    station with an empty value at the end of [TVCH]. The Shift_JIS file
    stays Shift_JIS."""
    states = [initial]
    text = initial.decode("cp932")
    for line in DEFAULT_LINES:
        text = text.replace("\r\n[TVCH]", "\r\n" + line + "\r\n[TVCH]")
        states.append(text.encode("cp932"))
    states.append((text + NEW_STATION + "=\r\n").encode("cp932"))
    return states


def reset(folder, data):
    temp = folder.ini + ".test"
    with open(temp, "wb") as f:
        f.write(data)
    os.replace(temp, folder.ini)


def run_and_kill(folder, delay):
    process = subprocess.Popen(folder.command(), stdin=subprocess.DEVNULL,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                               env=folder.env(), cwd=folder.run_folder)
    time.sleep(delay)
    process.send_signal(signal.SIGKILL)
    return process.wait()


def test_killed_while_writing(zoba, kills=300):
    seed = int(os.environ.get("ZOBA_ROBUST_SEED", "20080329"))
    folder = Folder(zoba, sjis(PARTIAL), station=NEW_STATION)
    try:
        states = model_states(sjis(PARTIAL))
        # An undisturbed run writes every state in turn and ends in the last.
        durations = []
        for _ in range(5):
            reset(folder, states[0])
            began = time.monotonic()
            status, _, err = run_without_terminal(folder)
            durations.append(time.monotonic() - began)
            check(status == 0 and NEW_STATION + NO_CHANNEL in err, "a whole run: %r" % err)
            check(folder.settings() == states[-1],
                  "a whole run ends in %r, got %r" % (states[-1], folder.settings()))
            check(folder.strays() == [], "nothing left beside it: %r" % folder.strays())
        longest = sorted(durations)[len(durations) // 2] * 1.2
        rng = random.Random(seed)
        seen = [0] * len(states)
        mid_write = 0
        for kill in range(kills):
            reset(folder, states[0])
            run_and_kill(folder, rng.uniform(0, longest))
            data = folder.settings()
            check(data in states, "kill %d (seed %d): the file is one of the states a run "
                  "passes through, got %r" % (kill, seed, data))
            seen[states.index(data)] += 1
            strays = folder.strays()
            mid_write += bool(strays)
            check(len(strays) <= 1, "kill %d: at most the file being written is left beside "
                  "the settings, found %r" % (kill, strays))
        print("  %d kills over %.1f ms (seed %d): states %s, %d killed mid-write" %
              (kills, longest * 1000, seed, seen, mid_write))
        check(sum(seen[1:-1]) > 0, "some kills fall between the first and the last write")
        reset(folder, states[0])
        run_without_terminal(folder)
        check(folder.settings() == states[-1] and folder.strays() == [],
              "the next whole run clears what a killed one left: %r" % folder.strays())
    finally:
        folder.clean()


# ---- sixteen at once


# Says it is ready, waits for the barrier to open, then becomes the program.
WAIT_THEN_RUN = """import os, sys
ready, barrier = int(sys.argv[1]), int(sys.argv[2])
os.write(ready, b"r")
os.close(ready)
os.read(barrier, 1)
os.close(barrier)
os.execv(sys.argv[3], sys.argv[3:])
"""


def start_sixteen(folder, count):
    """Starts count instances on terminals of their own, holds them until
    every one is ready, and lets them go together. Returns [(process,
    master)]."""
    ready_read, ready_write = os.pipe()
    barrier_read, barrier_write = os.pipe()
    started = []
    for _ in range(count):
        command = [sys.executable, "-c", WAIT_THEN_RUN, str(ready_write),
                   str(barrier_read)] + folder.command()
        master, slave = pty.openpty()
        process = subprocess.Popen(command, stdin=slave, stdout=slave, stderr=slave,
                                   env=folder.env(), cwd=folder.run_folder,
                                   start_new_session=True,
                                   pass_fds=(ready_write, barrier_read))
        os.close(slave)
        started.append((process, master))
    os.close(ready_write)
    os.close(barrier_read)
    ready = b""
    while len(ready) < count:
        chunk = os.read(ready_read, count)
        check(chunk, "every instance reached the barrier")
        ready += chunk
    os.close(ready_read)
    os.close(barrier_write)  # every waiting instance reads the end of the pipe
    return started


def collect(started, timeout=60):
    """Reads every terminal until its process is gone or it asks the
    question. Returns {index: output}."""
    out = {i: b"" for i in range(len(started))}
    open_masters = {master: i for i, (_, master) in enumerate(started)}
    deadline = time.time() + timeout
    while open_masters and time.time() < deadline:
        ready, _, _ = select.select(list(open_masters), [], [], 0.2)
        for master in ready:
            i = open_masters[master]
            try:
                chunk = os.read(master, 4096)
            except OSError:
                chunk = b""
            out[i] += chunk
            if not chunk or PROMPT in out[i]:
                del open_masters[master]
    return out


def one_round(zoba, count):
    folder = Folder(zoba, sjis(PARTIAL))
    try:
        started = start_sixteen(folder, count)
        out = collect(started)
        askers = [i for i in out if PROMPT in out[i]]
        check(len(askers) == 1, "exactly one instance asks, %d did: %r" % (len(askers), out))
        winner = askers[0]
        for i, (process, master) in enumerate(started):
            if i == winner:
                continue
            status = process.wait(timeout=30)
            os.close(master)
            check(status == 255, "instance %d exits with -1 (255), got %d" % (i, status))
            check(out[i] == b"\a", "instance %d shows only the bell: %r" % (i, out[i]))
        process, master = started[winner]
        os.write(master, b"y\n")
        text = read_terminal(master).decode("utf-8", "replace")
        check(process.wait(timeout=30) == 0, "the one that went on ends with 0")
        os.close(master)
        check("登録しました" in text, "it registered: %r" % text)
        check(len(folder.at_calls()) == 1, "AT ran once: %r" % folder.at_calls())
        expected = PARTIAL.replace("\r\n[TVCH]", "\r\n" + "\r\n".join(DEFAULT_LINES[:3]) +
                                   "\r\nno=0001\r\ntuners=1\r\n[TVCH]")
        check(folder.settings() == expected.encode("cp932"),
              "the settings whole, every default once, no=0001, in Shift_JIS: %r"
              % folder.settings())
        check(folder.strays() == [], "nothing left beside it: %r" % folder.strays())
    finally:
        folder.clean()


def test_sixteen_at_once(zoba, rounds=5):
    for _ in range(rounds):
        one_round(zoba, 16)


# ---- settings that cannot be written


def check_refused(folder, before):
    """On OK the tool cannot store the number: it says so, runs no AT and
    leaves every file as it was."""
    status, text, asked = run_answering(folder, b"y")
    check(asked and QUESTION in text, "the question: %r" % text)
    check(status == 0, "exit status 0, got %d" % status)
    check(folder.ini + NOT_STORED in text, "the notice naming the settings file: %r" % text)
    check("登録" not in text.split(QUESTION, 1)[1], "nothing registered: %r" % text)
    check(folder.at_calls() == [], "AT never ran: %r" % folder.at_calls())
    check(folder.listing() == before, "every file as it was")


def mount_tmpfs(folder, size):
    if shutil.which("mount") is None:
        os.rmdir(folder)
        raise Skipped("mount is not installed")
    mounted = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=%s,mode=0755" % size, "none",
                              folder], capture_output=True, text=True)
    if mounted.returncode != 0:
        os.rmdir(folder)
        raise Skipped("cannot mount a tmpfs here: %s" % mounted.stderr.strip())


@contextlib.contextmanager
def tool_on_tmpfs(zoba, settings, name, size):
    """The tool and its settings on a tmpfs of their own: yields the mount
    point and the Folder; unmounts and removes both afterwards."""
    mount_point = tempfile.mkdtemp(prefix="zoba_robust_%s_" % name)
    mount_tmpfs(mount_point, size)
    folder = None
    try:
        folder = Folder(zoba, sjis(settings), folder=mount_point)
        yield mount_point, folder
    finally:
        if folder is not None:
            shutil.rmtree(folder.run_folder, ignore_errors=True)
        subprocess.run(["umount", mount_point], check=False)
        shutil.rmtree(mount_point, ignore_errors=True)


def test_read_only_folder(zoba):
    """A folder even root cannot write: a tmpfs remounted read-only."""
    for settings in (COMPLETE, PARTIAL):
        with tool_on_tmpfs(zoba, settings, "ro", "16m") as (mount_point, folder):
            remounted = subprocess.run(["mount", "-o", "remount,ro", mount_point],
                                       capture_output=True, text=True)
            if remounted.returncode != 0:
                raise Skipped("cannot remount read-only: %s" % remounted.stderr.strip())
            check_refused(folder, folder.listing())


def test_folder_of_another_user(zoba):
    """The tool run as nobody, beside a settings file root owns."""
    if os.geteuid() != 0 or shutil.which("setpriv") is None:
        raise Skipped("needs root and setpriv to run as another user")
    for settings in (COMPLETE, PARTIAL):
        folder = Folder(zoba, sjis(settings))
        try:
            os.chmod(folder.folder, 0o755)
            os.chown(folder.run_folder, 65534, 65534)
            before = folder.listing()
            as_nobody = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"]
            status, text, asked = run_answering(folder, b"y", prefix=as_nobody)
            check(asked and folder.ini + NOT_STORED in text and status == 0,
                  "asked, then the notice naming the settings file: %r" % text)
            check(folder.at_calls() == [] and folder.listing() == before,
                  "AT never ran and every file is as it was")
        finally:
            folder.clean()


def test_immutable_settings_file(zoba):
    """A settings file marked immutable (chattr +i) in a folder that can be
    written: the new file cannot take its place."""
    if shutil.which("chattr") is None:
        raise Skipped("chattr is not installed")
    folder = Folder(zoba, sjis(COMPLETE))
    try:
        marked = subprocess.run(["chattr", "+i", folder.ini], capture_output=True, text=True)
        if marked.returncode != 0:
            raise Skipped("the file system has no immutable files: %s" % marked.stderr.strip())
        check_refused(folder, folder.listing())
    finally:
        subprocess.run(["chattr", "-i", folder.ini], capture_output=True)
        folder.clean()


def test_settings_file_is_a_folder(zoba):
    """Nothing can be read from it or written to it: the station has no
    channel, and the folder keeps what it held."""
    folder = Folder(zoba, None)
    try:
        os.mkdir(folder.ini)
        with open(os.path.join(folder.ini, "keep"), "wb") as f:
            f.write(sjis(COMPLETE))
        before = folder.listing()
        status, out, err = run_without_terminal(folder)
        check(status == 0, "exit status 0, got %d: %r" % (status, err))
        check(err == STATION + NO_CHANNEL + "\n" and out == "",
              "only the no-channel notice: %r %r" % (out, err))
        check(folder.at_calls() == [] and folder.listing() == before,
              "AT never ran and every file is as it was")
        status, text, asked = run_answering(folder, b"y")
        check(not asked and STATION + NO_CHANNEL in text and status == 0,
              "on a terminal too, the notice and no question: %r" % text)
        check(folder.at_calls() == [] and folder.listing() == before, "still nothing changed")
    finally:
        folder.clean()


def fill(folder):
    """Fills the file system of folder; true when not one more byte fits."""
    fd = os.open(os.path.join(folder, "filler"), os.O_WRONLY | os.O_CREAT, 0o644)
    try:
        while os.write(fd, b"\0" * 4096) > 0:
            pass
    except OSError:
        pass
    finally:
        os.close(fd)
    probe = os.path.join(folder, "probe")
    try:
        fd = os.open(probe, os.O_WRONLY | os.O_CREAT, 0o644)
        try:
            os.write(fd, b"x")
        finally:
            os.close(fd)
    except OSError:
        return True
    finally:
        if os.path.exists(probe):
            os.remove(probe)
    return False


def test_full_disk(zoba):
    for settings in (COMPLETE, PARTIAL):
        with tool_on_tmpfs(zoba, settings, "full", "64m") as (mount_point, folder):
            check(fill(mount_point), "the tmpfs fills up")
            check_refused(folder, folder.listing())


# ---- another user on the same machine

HOLD_LOCKS = """
import fcntl, os, sys, time
fds = []
for path in sys.argv[1:]:
    flags = os.O_RDONLY | (os.O_DIRECTORY if os.path.isdir(path) else os.O_CREAT)
    fds.append(os.open(path, flags, 0o644))
    fcntl.flock(fds[-1], fcntl.LOCK_EX)
print("held", flush=True)
time.sleep(120)
"""


def test_another_user_holds_old_locks(zoba):
    """Another user holds a lock on the tool's folder and the old shared
    single-instance lock file in /tmp: neither is a lock of the tool's any
    more, so the run books as usual and quickly."""
    if os.geteuid() != 0 or shutil.which("setpriv") is None:
        raise Skipped("needs root and setpriv to run as another user")
    folder = Folder(zoba, sjis(COMPLETE))
    shared = "/tmp/ZOBA-%d.lock" % os.geteuid()
    holder = None
    try:
        os.chmod(folder.folder, 0o755)
        if os.path.lexists(shared):
            os.remove(shared)
        holder = subprocess.Popen(
            ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", sys.executable,
             "-c", HOLD_LOCKS, folder.folder, shared], stdout=subprocess.PIPE)
        check(holder.stdout.readline().strip() == b"held", "the other user holds the locks")
        env = folder.env()
        del env["XDG_RUNTIME_DIR"]
        folder.env = lambda: env
        began = time.monotonic()
        status, text, asked = run_answering(folder, b"y")
        check(asked and status == 0 and "登録しました" in text, "asked and booked: %r" % text)
        check(time.monotonic() - began < 10, "without waiting for the other user")
        check(len(folder.at_calls()) == 1, "AT ran once: %r" % folder.at_calls())
    finally:
        if holder is not None:
            holder.kill()
            holder.wait()
        if os.path.lexists(shared):
            os.remove(shared)
        folder.clean()


CASES = {
    "killed_while_writing": test_killed_while_writing,
    "sixteen_at_once": test_sixteen_at_once,
    "read_only_folder": test_read_only_folder,
    "folder_of_another_user": test_folder_of_another_user,
    "immutable_settings_file": test_immutable_settings_file,
    "settings_file_is_a_folder": test_settings_file_is_a_folder,
    "full_disk": test_full_disk,
    "another_user_holds_old_locks": test_another_user_holds_old_locks,
}


def main():
    zoba, names = sys.argv[1], sys.argv[2:]
    if names == ["all"]:
        names = list(CASES)
    passed = failed = skipped = 0
    for name in names:
        began = time.monotonic()
        try:
            CASES[name](zoba)
            passed += 1
            print("PASS %s (%.1f s)" % (name, time.monotonic() - began))
        except Skipped as reason:
            skipped += 1
            print("SKIP %s: %s" % (name, reason))
        except Exception:  # a failed check or a crash both fail the case
            failed += 1
            print("FAIL %s" % name)
            traceback.print_exc(file=sys.stdout)
        sys.stdout.flush()
    print("robust: %d passed, %d failed, %d skipped" % (passed, failed, skipped))
    if failed:
        return 1
    return SKIP if skipped and not passed else 0


if __name__ == "__main__":
    sys.exit(main())
