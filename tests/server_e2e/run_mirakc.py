#!/usr/bin/env python3
"""The real zoba, on a pseudo-terminal, booking on a mirakc stand-in
(mirakc_standin.py: mirakc's Web API as it publishes it, on 127.0.0.1).

Usage: run_mirakc.py ZOBA. Prints one PASS/FAIL line per case and
"mirakc: N passed, N failed"; exit status 1 when a case failed, 77 when
this machine has no pseudo-terminals or cannot listen on 127.0.0.1.
"""
import contextlib
import os
import pty
import sys
import time
import traceback

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import mirakc_standin  # noqa: E402
from run_server import Folder, check, local, tvpid  # noqa: E402

SKIP = 77
NHK = 1024
QUESTION = "[y/N] "


def window(standin, service, event):
    """The programme's start and end by the local clock, as a file names them."""
    p = standin.programme(service, event)
    return local(p["startAt"]), local(p["startAt"] + p["duration"])


@contextlib.contextmanager
def served(zoba, mode="mirakc", extra=""):
    """A stand-in of that mode and zoba in a folder naming it; both taken
    down after the case, whatever its outcome."""
    standin = mirakc_standin.Standin(mode)
    standin.start()
    try:
        with Folder(zoba, standin.url, extra) as folder:
            yield standin, folder
    finally:
        standin.stop()


def posted(standin):
    with standin.lock:
        return list(standin.posts)


def case_by_programme_then_the_same_again(zoba):
    # The file is named by REC's name= pattern, as REC would name it here.
    rec_name = "[REC]\nname={date}-{start}_{type}_{id}_{title}.m2ts\n"
    with served(zoba, extra=rec_name) as (standin, folder):
        start, end = window(standin, NHK, 3)
        pid = standin.programme(NHK, 3)["id"]
        named = time.strftime("%Y%m%d-%H%M", time.localtime(standin.programme(NHK, 3)["startAt"]
                                                             / 1000))
        status, text, asked = folder.run(tvpid("DFS00400", start, end, "Third", 3))
        check(status == 0, "exit status %d: %r" % (status, text))
        check("録画サーバー: mirakc %s" % mirakc_standin.MIRAKC_VERSION in text,
              "the question names the server: %r" % text)
        check(text.find("録画サーバー: ") < text.find(QUESTION), "named before asking: %r" % text)
        check("mirakc 予約 %d" % pid in text and "登録しました" in text, "booked: %r" % text)
        check(asked is not None and asked < 3, "asked after %r s" % asked)
        schedule = standin.schedules.get(pid)
        check(schedule is not None, "held by the stand-in: %r" % standin.schedules)
        check(schedule["options"]["contentPath"] == "%s_GR_%d_Third.m2ts" % (named, pid),
              "its content path: %r" % schedule["options"])
        check(schedule["tags"] == ["zoba"], "its tags: %r" % schedule["tags"])
        check(len(posted(standin)) == 1, "one booking sent: %r" % posted(standin))
        # The same programme again: named as booked before the question,
        # refused by mirakc after it (400, AlreadyExists).
        status, text, asked = folder.run(tvpid("DFS00400", start, end, "Third", 3))
        before, _, after = text.partition(QUESTION)
        check(asked is not None, "asked again: %r" % text)
        check("※ 予約済み: %d " % pid in before, "named as booked before asking: %r" % text)
        check("予約できませんでした" in after and "HTTP 400" in after,
              "refused after: %r" % text)
        check("すでに予約済みか、番組が終わっています" in after, "told why: %r" % text)
        check("登録しました" not in after, "not told as booked: %r" % text)
        check(len(posted(standin)) == 2 and len(standin.schedules) == 1,
              "sent, and still one schedule: %r" % standin.schedules)


def case_a_programme_mirakc_does_not_know(zoba):
    with served(zoba) as (standin, folder):
        start, end = window(standin, NHK, 5)
        status, text, asked = folder.run(tvpid("DFS00400", start, end, "Unknown", 999))
        check(status == 0, "exit status %d: %r" % (status, text))
        check(("GET", "/api/programs/%d" % mirakc_standin.programme_id(
            mirakc_standin.NETWORK, NHK, 999)) in standin.requests,
              "the programme asked for: %r" % standin.requests)
        check(asked is None, "not asked: %r" % text)
        # The file names the programme; mirakc's guide does not have it.
        check("予約できませんでした" in text and "サーバーの番組表にこの番組がありません" in text,
              "refused with a notice: %r" % text)
        check(posted(standin) == [] and standin.schedules == {},
              "nothing posted: %r" % posted(standin))


def case_a_programme_that_has_ended(zoba):
    with served(zoba) as (standin, folder):
        start, end = window(standin, NHK, 1)
        status, text, asked = folder.run(tvpid("DFS00400", start, end, "Ended", 1))
        check(status == 0, "exit status %d: %r" % (status, text))
        # mirakc still holds the programme, so zoba asks; mirakc refuses
        # it (400, ProgramEnded) and zoba tells why.
        check(asked is not None, "asked: %r" % text)
        check(len(posted(standin)) == 1, "sent once: %r" % posted(standin))
        check("予約できませんでした" in text.partition(QUESTION)[2], "refused: %r" % text)
        check("すでに予約済みか、番組が終わっています（HTTP 400）" in text, "told why: %r" % text)
        check(standin.schedules == {}, "nothing held: %r" % standin.schedules)


def case_a_mirakurun_alone(zoba):
    with served(zoba, "mirakurun") as (standin, folder):
        start, end = window(standin, NHK, 3)
        status, text, asked = folder.run(tvpid("DFS00400", start, end, "Third", 3))
        check(status == 0, "exit status %d: %r" % (status, text))
        check("Mirakurun だけでは予約を保持できません" in text, "its notice: %r" % text)
        check(standin.url[len("http://"):] in text, "the server named: %r" % text)
        check(asked is None, "not asked: %r" % text)
        check(("GET", "/api/recording/schedules") in standin.requests,
              "the schedules asked for: %r" % standin.requests)
        check(not any(m == "POST" for m, _ in standin.requests), "nothing posted")


CASES = [case_by_programme_then_the_same_again, case_a_programme_mirakc_does_not_know,
         case_a_programme_that_has_ended, case_a_mirakurun_alone]


def main():
    zoba = os.path.abspath(sys.argv[1])
    try:
        master, slave = pty.openpty()
        os.close(master)
        os.close(slave)
        probe = mirakc_standin.Standin()
        probe.start()
        probe.stop()
    except OSError as error:
        print("SKIPPED: no pseudo-terminal or no loopback here: %s" % error)
        return SKIP
    failed = 0
    for case in CASES:
        try:
            case(zoba)
            print("PASS", case.__name__, flush=True)
        except Exception:
            failed += 1
            print("FAIL", case.__name__)
            traceback.print_exc(file=sys.stdout)
            sys.stdout.flush()
    print("mirakc: %d passed, %d failed" % (len(CASES) - failed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
