#!/usr/bin/env python3
"""Differential test of our profile functions against Wine's.

Generates seeded scripts of profile operations over adversarial INI files,
runs all of them through ini_script.exe (GetPrivateProfileIntA,
GetPrivateProfileStringA, WritePrivateProfileStringA under Wine, code page
932) and through ini_script (our INI rules in platform/ini.cpp, over the
same Shift_JIS bytes the POSIX files layer hands them),
each on its own copy of the same files. Every result must be the same; then
each pair of resulting files is read back through Wine's functions, and
both files must read the same way.

Wine 8 differs from Windows, or from what the tool needs, in four places,
which the scripts therefore stay out of: names compare without case for
ASCII only (Windows also folds full-width, Greek and Cyrillic letters, as
we do); GetPrivateProfileIntA reads "0x", "0o" and "0b" prefixes (we read
decimal); a section "[]" loses its header when Wine rewrites the file; a
section or key created with trailing blanks keeps them in Wine's in-memory
copy until the file is read again.

Exit status: 0 when no difference, 1 on a difference, 77 when Wine, the
Japanese locale or the cross-built program is not available (skipped).
"""
import argparse
import os
import random
import shutil
import subprocess
import sys

SKIP = 77
WINE = "/usr/lib/wine/wine64"
WINESERVER = "/usr/lib/wine/wineserver"

# Names, as Shift_JIS bytes. Second bytes "[", "]", "\\" and "=" included.
SECTIONS = [b"ZOBA", b"TVCH", b"Other", "テレビ".encode("cp932"), "ゼゾ".encode("cp932"),
            "ＡＢｃ".encode("cp932"), "Δд".encode("cp932"), b"x\x83=y"]
KEYS = [b"debug", b"no", b"rec_exec", b"sch_start_offset", b"k", b"K2", b";c", b"#h",
        "テレビ東京".encode("cp932"), "ＮＨＫ総合".encode("cp932"), "ソ表示".encode("cp932"),
        "ゼ]ゾ[".encode("cp932"), "Ωμέγα".encode("cp932", "ignore"), "Жд".encode("cp932"),
        "ｔｖｋ".encode("cp932"), b"a\x83=b", b"\x88=", b"q\x95\\r", b"[s", b"k]"]
VALUES = [b"0", b"-1", b"41", b"+7", b"0012", b"12abc", b"-", b"abc", b"", b"\"5\"", b"'6'",
          b"\"7", b"\"\"", b"2147483648", b"4294967297", b"-2147483649", b"\x01\x029",
          "テスト".encode("cp932"), "８".encode("cp932"), b"a=b", b"a\x83=b", b"x \t y",
          b"00000000000000000000000000000012", b"1234567890", "ーソ表".encode("cp932"),
          b"C:\\rec\\rec.exe -x", b"\"q\"uote\""]
DEFAULTS = [b"", b"REC", b"def  ", b"\"d\"", b"x"]
SIZES = [1, 2, 3, 7, 8, 16, 512, 1024]
BLANKS = [b"", b"", b"", b" ", b"\t", b"  \t", b"\x1a"]
LINE_ENDS = [b"\r\n", b"\r\n", b"\n", b"\n", b"\r"]


def chars(data):
    """Splits Shift_JIS bytes into characters as the profile functions do."""
    out, i = [], 0
    while i < len(data):
        lead = 0x81 <= data[i] <= 0x9F or 0xE0 <= data[i] <= 0xFC
        width = 2 if lead and i + 1 < len(data) else 1
        out.append(data[i:i + width])
        i += width
    return out


def case_variant(rng, name):
    """The name with the case of some ASCII letters changed. (Windows also
    ignores the case of full-width, Greek and Cyrillic letters, and so do
    we; Wine 8 does not, so those are left as they are here and tested by
    the unit tests.)"""
    out = b""
    for ch in chars(name):
        if len(ch) == 1 and ch.isalpha() and rng.random() < 0.5:
            ch = ch.swapcase()
        out += ch
    return out


def section_line(rng, name):
    inner = rng.choice([b"", b"", b" "])
    tail = rng.choice([b"", b"", b" ; note", b"]x"])
    return rng.choice(BLANKS) + b"[" + inner + name + inner + b"]" + tail + rng.choice(BLANKS)


def key_line(rng, name):
    kind = rng.random()
    if kind < 0.1:
        return rng.choice(BLANKS) + name  # no "="
    value = rng.choice(VALUES)
    return (rng.choice(BLANKS) + name + rng.choice(BLANKS) + b"=" + rng.choice(BLANKS) + value +
            rng.choice(BLANKS))


def make_file(rng):
    """An adversarial settings file, or None for no file at all."""
    if rng.random() < 0.05:
        return None
    lines = []
    for _ in range(rng.randint(0, 14)):
        r = rng.random()
        if r < 0.25:
            lines.append(section_line(rng, case_variant(rng, rng.choice(SECTIONS))))
        elif r < 0.85:
            lines.append(key_line(rng, case_variant(rng, rng.choice(KEYS))))
        elif r < 0.92:
            lines.append(rng.choice([b"", b"  ", b"\t"]))
        else:
            lines.append(rng.choice([b"; comment", b"# x=1", b";no=5", b"=empty", b"[open"]))
    data = b""
    for i, line in enumerate(lines):
        last = i == len(lines) - 1
        data += line + (rng.choice(LINE_ENDS) if not last or rng.random() < 0.7 else b"")
    return data


# Notepad's byte order marks: Windows reads such a file in its own encoding
# and writes it back so; on our side the tool's file layer does the same.
MARKS = [(b"\xef\xbb\xbf", "utf-8"), (b"\xff\xfe", "utf-16-le"), (b"\xfe\xff", "utf-16-be")]


def converts_cleanly(data):
    """Shift_JIS text that means the same in Unicode: every byte a
    character, no control bytes but blanks and line ends."""
    try:
        if data.decode("cp932").encode("cp932") != data:
            return False
    except UnicodeError:
        return False
    return all(b >= 0x20 or b in b"\t\r\n" for b in data)


def make_marked(rng):
    """A file with a mark and operations whose texts all convert cleanly."""
    while True:
        data, ops = make_file(rng) or b"", make_ops(rng)
        texts = [data] + [t for op in ops for t in op[1:] if isinstance(t, bytes)]
        if all(converts_cleanly(t) for t in texts):
            mark, encoding = rng.choice(MARKS)
            return mark + data.decode("cp932").encode(encoding), ops


def make_script(rng):
    """A file and operations on it; one in eight files has a mark."""
    if rng.random() < 0.125:
        return make_marked(rng)
    return make_file(rng), make_ops(rng)


def is_marked(data):
    return data is not None and any(data.startswith(mark) for mark, _ in MARKS)


def padded(rng, name):
    return rng.choice(BLANKS[:5]) + name + rng.choice(BLANKS[:5])


def make_ops(rng):
    ops = []
    count = rng.randint(3, 12)
    for i in range(count):
        r = rng.random()
        section = case_variant(rng, rng.choice(SECTIONS))
        key = case_variant(rng, rng.choice(KEYS))
        if r < 0.35:
            ops.append(("int", padded(rng, section), padded(rng, key), rng.choice([-999, 0, 5])))
        elif r < 0.7:
            ops.append(("str", padded(rng, section), padded(rng, key), rng.choice(DEFAULTS),
                        rng.choice(SIZES)))
        else:
            value = rng.choice(BLANKS[:5]) + rng.choice(VALUES)
            # Trailing blanks on a new key only where nothing reads it again.
            if i == count - 1 and rng.random() < 0.3:
                key = key + b"  "
            ops.append(("write", section, key, value))
    return ops


def hexed(data):
    return data.hex() if data else "-"


def op_line(op):
    if op[0] == "int":
        return "int %s %s %d\n" % (hexed(op[1]), hexed(op[2]), op[3])
    if op[0] == "str":
        return "str %s %s %s %d\n" % (hexed(op[1]), hexed(op[2]), hexed(op[3]), op[4])
    return "write %s %s %s\n" % (hexed(op[1]), hexed(op[2]), hexed(op[3]))


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\") + "\\"


def wine_env(prefix):
    env = dict(os.environ, WINEPREFIX=prefix, WINEDEBUG="-all", LANG="ja_JP.UTF-8",
               LC_ALL="ja_JP.UTF-8")
    env.pop("DISPLAY", None)
    return env


def boot_prefix(prefix):
    """wineboot's own status is no verdict: with only the 64-bit half of Wine it may end
    with the status of a 32-bit helper it could not load (0xc0000135, seen as 53) although
    the prefix is complete. The registry file on disk is."""
    boot = subprocess.run([WINE, "wineboot", "-i"], env=wine_env(prefix), check=False,
                          stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    subprocess.run([WINESERVER, "-w"], env=wine_env(prefix), check=False)
    if os.path.exists(os.path.join(prefix, "system.reg")):
        return None
    return "status %d: %s" % (boot.returncode, boot.stderr.decode(errors="replace").strip())


def prepare_wine(prefix):
    """True when the prefix is there to run in; a prefix that a first boot left unfinished
    is made again once from nothing."""
    if os.path.exists(os.path.join(prefix, "system.reg")):
        return True
    for attempt in (1, 2):
        failure = boot_prefix(prefix)
        if failure is None:
            return True
        print("wineboot made no prefix in %s (attempt %d), %s" % (prefix, attempt, failure))
        subprocess.run([WINESERVER, "-k"], env=wine_env(prefix), check=False,
                       stderr=subprocess.DEVNULL)
        shutil.rmtree(prefix, ignore_errors=True)
    print("FAILED: no Wine prefix could be made")
    return False


def run_wine(exe, prefix, batch, folder, output):
    subprocess.run([WINE, exe, batch, windows_path(folder), output], env=wine_env(prefix),
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def read_lines(path):
    with open(path) as f:
        return f.read().splitlines()


def write_scripts(work, scripts):
    for side in ("wine", "ours"):
        folder = os.path.join(work, side)
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)
        for n, (data, _) in enumerate(scripts):
            if data is not None:
                with open(os.path.join(folder, "s%04d.ini" % n), "wb") as f:
                    f.write(data)
    with open(os.path.join(work, "batch.txt"), "w") as f:
        for n, (data, ops) in enumerate(scripts):
            f.write("layer %s\n" % ("platform" if is_marked(data) else "ini"))
            f.write("file %s\n" % hexed(b"s%04d.ini" % n))
            for op in ops:
                f.write(op_line(op))


def as_sjis(data):
    """A file's text in Shift_JIS, whatever its mark."""
    for mark, encoding in MARKS:
        if data is not None and data.startswith(mark):
            return data[len(mark):].decode(encoding).encode("cp932")
    return data


def names_in(pool, data, ops, field):
    """The names of the pool that occur in the file or the operations."""
    seen = (as_sjis(data) or b"").lower() + b"\n".join(op[field] for op in ops).lower()
    return [name for name in pool if name.lower() in seen]


def readback_batch(work, scripts):
    """Reads every name the script could have touched from both files."""
    path = os.path.join(work, "readback.txt")
    with open(path, "w") as f:
        for n, (data, ops) in enumerate(scripts):
            for side in (b"wine", b"ours"):
                f.write("file %s\n" % hexed(side + b"\\s%04d.ini" % n))
                for section in names_in(SECTIONS, data, ops, 1):
                    for key in names_in(KEYS, data, ops, 2):
                        f.write(op_line(("str", section, key, b"FB", 1024)))
    return path


def describe(n, scripts):
    data, ops = scripts[n]
    return "script %d\n  file: %r\n  ops:\n%s" % (n, data, "".join("    %r\n" % (op,) for op in ops))


def compare_results(work, scripts):
    wine = read_lines(os.path.join(work, "wine.out"))
    ours = read_lines(os.path.join(work, "ours.out"))
    script, differences = -1, 0
    for w, o in zip(wine, ours):
        if w.startswith("layer "):
            continue
        if w.startswith("file "):
            script += 1
        if w != o:
            differences += 1
            if differences <= 5:
                print("DIFFERENT in %s  wine: %s\n  ours: %s" % (describe(script, scripts), w, o))
    if len(wine) != len(ours):
        print("DIFFERENT: %d result lines from Wine, %d from ours" % (len(wine), len(ours)))
        differences += 1
    return differences, len(wine) - 2 * len(scripts)


def compare_readback(work, scripts):
    lines = read_lines(os.path.join(work, "readback.out"))
    groups, current = [], None
    for line in lines:
        if line.startswith("file "):
            current = []
            groups.append(current)
        else:
            current.append(line)
    differences = 0
    for n in range(len(scripts)):
        if groups[2 * n] != groups[2 * n + 1]:
            differences += 1
            if differences <= 5:
                with open(os.path.join(work, "wine", "s%04d.ini" % n), "rb") as f:
                    wine_file = f.read()
                with open(os.path.join(work, "ours", "s%04d.ini" % n), "rb") as f:
                    our_file = f.read()
                print("READS DIFFERENTLY %s  wine's file: %r\n  our file: %r" %
                      (describe(n, scripts), wine_file, our_file))
    return differences


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--wine-program", required=True)
    parser.add_argument("--our-program", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--count", type=int, default=2000)
    parser.add_argument("--seed", type=int, default=int(os.environ.get("ZOBA_INI_DIFF_SEED", "1")))
    args = parser.parse_args()
    locales = subprocess.run(["locale", "-a"], capture_output=True, text=True).stdout.lower()
    if not os.path.exists(WINE) or "ja_jp.utf8" not in locales or \
            not os.path.exists(args.wine_program):
        print("SKIPPED: needs %s, the ja_JP.UTF-8 locale and %s" % (WINE, args.wine_program))
        return SKIP
    os.makedirs(args.work, exist_ok=True)
    prefix = os.path.join(os.path.abspath(args.work), "prefix")
    if not prepare_wine(prefix):
        return 1
    rng = random.Random(args.seed)
    scripts = [make_script(rng) for _ in range(args.count)]
    write_scripts(args.work, scripts)
    batch = os.path.join(args.work, "batch.txt")
    run_wine(args.wine_program, prefix, batch, os.path.join(args.work, "wine"),
             os.path.join(args.work, "wine.out"))
    subprocess.run([args.our_program, batch, os.path.join(args.work, "ours") + "/",
                    os.path.join(args.work, "ours.out")], check=True)
    differences, operations = compare_results(args.work, scripts)
    readback = readback_batch(args.work, scripts)
    run_wine(args.wine_program, prefix, readback, args.work, os.path.join(args.work, "readback.out"))
    differences += compare_readback(args.work, scripts)
    print("%d scripts (seed %d), %d operations, %d differences" %
          (len(scripts), args.seed, operations, differences))
    return 1 if differences else 0


if __name__ == "__main__":
    sys.exit(main())
