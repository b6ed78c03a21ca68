#!/usr/bin/env python3
"""Desktop end-to-end test of the Linux build, as a user follows the README:
zoba installed into ~/.local of a home with a space in its name, the MIME
types and the desktop entry registered, a .tvpi file opened with xdg-open
on an X display (Xvfb, openbox) with no locale set, the zenity question
answered with xdotool, the job looked up in atq and removed. A second
launch while the question is up (with gio open), and a launch with no zenity on PATH, must
each end in a desktop notification (a stand-in notify-send on PATH records
them) and book nothing.

Usage: run_desktop.py CMAKE BUILD_FOLDER SCREENSHOT. The question is saved
as SCREENSHOT (PNG). Exit status 0 when every check passed, 1 when one
failed, 77 (skipped) when the desktop programs or atd are not there.
"""
import datetime
import os
import shutil
import subprocess
import sys
import tempfile
import time
import traceback

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from run_e2e import SKIP, STATION, QueueWatch, can_use_at, check, iepg  # noqa: E402

PROGRAMS = ["Xvfb", "openbox", "zenity", "xdotool", "xdg-open", "gio", "xdg-mime", "mimeopen",
            "mimetype", "update-mime-database", "update-desktop-database",
            "desktop-file-validate", "import"]
TYPES = ["application/x-tv-program-info", "application/x-tv-program-digital-info"]
# A fixed programme, so that the screenshot stays the same from run to run.
PROGRAMME = iepg(datetime.date(2030, 1, 15), "21:00", "21:54", "Desktop Show")
CAPTION = "ZOBA iepg予約ツール 2008/03/29版 by Pelmoro"
QUESTION_END = "上記で予約しますか？"
ALREADY_ASKING = "zoba is already asking about another programme"
INSTALL_ZENITY = "install zenity (or kdialog)"
FAKE_NOTIFY = """#!/bin/sh
{ for a; do printf '%%s\\n' "$a"; done; echo ---; } >> '%s'
"""


class Desktop(QueueWatch):
    """A home, an X display with a window manager, and zoba installed."""

    def __init__(self, cmake, build):
        self.work = tempfile.mkdtemp(prefix="zoba_desktop_")
        self.home = os.path.join(self.work, "tv user")
        self.prefix = os.path.join(self.home, ".local")
        self.data = os.path.join(self.prefix, "share")
        self.bin = os.path.join(self.work, "bin")
        self.runtime = os.path.join(self.work, "run")
        self.notify_log = os.path.join(self.work, "notify.log")
        for folder in (self.home, self.bin, self.runtime):
            os.makedirs(folder, mode=0o700)
        fake = os.path.join(self.bin, "notify-send")
        with open(fake, "w") as f:
            f.write(FAKE_NOTIFY % self.notify_log)
        os.chmod(fake, 0o755)
        self.processes = []
        QueueWatch.__init__(self)
        subprocess.run([cmake, "--install", build, "--prefix", self.prefix], check=True,
                       stdout=subprocess.DEVNULL)
        self.display = self.start_display()

    def start_display(self):
        read, write = os.pipe()
        self.processes.append(subprocess.Popen(
            ["Xvfb", "-displayfd", str(write), "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
            pass_fds=[write], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        os.close(write)
        with os.fdopen(read) as f:
            display = ":" + f.readline().strip()
        self.processes.append(subprocess.Popen(
            ["openbox"], env=dict(os.environ, DISPLAY=display), stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL))
        return display

    def env(self, path=None):
        """The session's environment: no locale at all, as some launchers
        give, and the stand-in notify-send first on PATH."""
        env = {k: v for k, v in os.environ.items()
               if not k.startswith("LC_") and k not in ("LANG", "LANGUAGE", "WAYLAND_DISPLAY")}
        env.update(HOME=self.home, XDG_DATA_HOME=self.data,
                   XDG_CONFIG_HOME=os.path.join(self.home, ".config"),
                   XDG_RUNTIME_DIR=self.runtime, DISPLAY=self.display, NO_AT_BRIDGE="1",
                   PATH=path or self.bin + ":" + os.environ["PATH"])
        return env

    def run(self, *command, **options):
        return subprocess.run(list(command), env=self.env(), capture_output=True, text=True,
                              timeout=60, **options)

    def register(self):
        """The README's steps after cmake --install."""
        self.run("update-mime-database", os.path.join(self.data, "mime"), check=True)
        self.run("update-desktop-database", os.path.join(self.data, "applications"), check=True)
        for mime_type in TYPES:
            self.run("xdg-mime", "default", "zoba.desktop", mime_type, check=True)
        # A recorder beside zoba, which AT checks when it books the job.
        recorder = os.path.join(os.path.dirname(self.settings()), "recorder")
        with open(recorder, "w") as f:
            f.write("#!/bin/sh\nexit 0\n")
        os.chmod(recorder, 0o755)
        settings = "[ZOBA]\nrec_exec=./recorder\n[TVCH]\n%s=8\n" % STATION
        with open(self.settings(), "w", encoding="utf-8") as f:
            f.write(settings)

    def settings(self):
        return os.path.join(self.prefix, "lib", "zoba", "zoba.ini")

    def write(self, name, data):
        path = os.path.join(self.home, name)
        with open(path, "wb") as f:
            f.write(data)
        return path

    def notifications(self):
        if not os.path.exists(self.notify_log):
            return ""
        with open(self.notify_log, encoding="utf-8") as f:
            return f.read()

    def clean(self):
        self.remove_new_jobs()
        for process in reversed(self.processes):
            process.kill()
            process.wait()
        shutil.rmtree(self.work, ignore_errors=True)


def zoba_window(desktop, timeout=30):
    """The id of zoba's box once it is on the screen; None when none came."""
    deadline = time.time() + timeout
    while time.time() < deadline:
        found = desktop.run("xdotool", "search", "--onlyvisible", "--name", "^ZOBA iepg")
        if found.stdout.split():
            return found.stdout.split()[0]
        time.sleep(0.2)
    return None


def press(desktop, window, key):
    desktop.run("xdotool", "windowactivate", "--sync", window, check=True)
    desktop.run("xdotool", "key", "--clearmodifiers", key, check=True)


def wait_for(condition, timeout=30):
    deadline = time.time() + timeout
    while time.time() < deadline and not condition():
        time.sleep(0.2)
    return condition()


def exec_line(cmake, build, prefix, desktop):
    """The Exec line of the entry installed into prefix, which must be
    valid."""
    if not os.path.exists(prefix):
        subprocess.run([cmake, "--install", build, "--prefix", prefix], check=True,
                       stdout=subprocess.DEVNULL)
    entry = os.path.join(prefix, "share", "applications", "zoba.desktop")
    valid = desktop.run("desktop-file-validate", entry)
    check(valid.returncode == 0 and valid.stdout == "", "valid: %r" % valid.stdout)
    with open(entry, encoding="utf-8") as f:
        return [line for line in f.read().splitlines() if line.startswith("Exec=")]


def check_desktop_entry(desktop, cmake, build):
    """Exec names the program by its path, quoted and escaped where the
    path has a space, quotes or "$", as it stands where it has none."""
    work = desktop.work
    escaped = work + '/odd \\\\"q\\\\" \\\\$HOME \\\\`x\\\\`'
    cases = [(desktop.prefix, '"%s/lib/zoba/zoba"' % desktop.prefix),
             (work + '/odd "q" $HOME `x`', '"%s/lib/zoba/zoba"' % escaped),
             (work + "/plain", work + "/plain/lib/zoba/zoba")]
    for prefix, program in cases:
        lines = exec_line(cmake, build, prefix, desktop)
        check(lines == ["Exec=%s %%f" % program], "Exec=%s %%f, got %r" % (program, lines))
        print("PASS desktop entry: %s" % lines[0])


def check_file_types(desktop):
    """Files without their extension are told by their first line."""
    for mime_type in TYPES:
        data = PROGRAMME.replace(TYPES[0].encode(), mime_type.encode(), 1)
        path = desktop.write("download(%d)" % TYPES.index(mime_type), data)
        found = desktop.run("xdg-mime", "query", "filetype", path)
        check(found.stdout.strip() == mime_type,
              "%s is %s, xdg-mime says %r" % (path, mime_type, found.stdout))
    print("PASS xdg-mime query filetype on files with no extension")


def check_question_and_second_launch(desktop, screenshot):
    path = desktop.write("late show.tvpi", PROGRAMME)
    first = subprocess.Popen(["xdg-open", path], env=desktop.env(), stdout=subprocess.DEVNULL,
                             stderr=subprocess.DEVNULL)
    desktop.processes.append(first)
    window = zoba_window(desktop)
    check(window is not None, "the zenity question appears")
    title = desktop.run("xdotool", "getwindowname", window).stdout.strip()
    check(title == CAPTION, "the caption reads right: %r" % title)
    time.sleep(0.5)  # the first frame drawn
    desktop.run("import", "-frame", "-window", window, "+set", "date:create", "+set",
                "date:modify", "-define", "png:exclude-chunks=date,time", screenshot, check=True)
    print("PASS the question is on the screen, saved as %s" % screenshot)

    # Through GLib's launcher this time, which reads Exec on its own.
    second = desktop.run("gio", "open", path)
    check(wait_for(lambda: ALREADY_ASKING in desktop.notifications()),
          "the second launch notifies: %r, %r" % (desktop.notifications(), second.stderr))
    check(desktop.new_jobs() == {}, "no job from the second launch")
    print("PASS second launch: %r" % desktop.notifications().splitlines())

    press(desktop, window, "Return")
    check(wait_for(lambda: len(desktop.new_jobs()) == 1), "one job in atq after OK")
    number, when = next(iter(desktop.new_jobs().items()))
    check(when == datetime.datetime(2030, 1, 15, 20, 59), "the job at 20:59, atq says %s" % when)
    notice = zoba_window(desktop)
    check(notice is not None, "the registered notice appears")
    press(desktop, notice, "Return")
    first.wait(timeout=30)
    with open(desktop.settings(), encoding="utf-8") as f:
        settings = f.read()
    check("no=0001" in settings and STATION + "=8" in settings,
          "the settings, in UTF-8, hold the number: %r" % settings)
    print("PASS OK booked job %s at %s" % (number, when))
    subprocess.run(["atrm", number], check=True)


def check_no_zenity(desktop):
    path = desktop.write("no zenity.tvpi", PROGRAMME)
    zoba = os.path.join(desktop.prefix, "lib", "zoba", "zoba")
    before = desktop.notifications()
    run = subprocess.run([zoba, path], env=desktop.env(path=desktop.bin),
                         stdin=subprocess.DEVNULL, capture_output=True, timeout=60)
    told = desktop.notifications()[len(before):]
    err = run.stderr.decode("utf-8", "replace")
    check(run.returncode == 0, "exit status 0, got %d" % run.returncode)
    check(CAPTION in told and QUESTION_END in told and INSTALL_ZENITY in told,
          "the notification shows the question and names zenity: %r" % told)
    check(INSTALL_ZENITY in err, "standard error names zenity too: %r" % err)
    check(desktop.new_jobs() == {}, "no job")
    print("PASS without zenity: %r" % told.splitlines())


def main():
    cmake, build, screenshot = sys.argv[1:4]
    missing = [p for p in PROGRAMS if shutil.which(p) is None]
    reason = can_use_at() or (missing and "not installed: " + " ".join(missing))
    if reason:
        print("SKIPPED: %s (scripts/test.sh installs them)" % reason)
        return SKIP
    desktop = Desktop(cmake, build)
    try:
        desktop.register()
        check_desktop_entry(desktop, cmake, build)
        check_file_types(desktop)
        check_question_and_second_launch(desktop, screenshot)
        check_no_zenity(desktop)
    except Exception:  # a failed check or a crash both fail the test
        traceback.print_exc(file=sys.stdout)
        print("FAIL")
        return 1
    finally:
        desktop.clean()
    print("desktop end-to-end test passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
