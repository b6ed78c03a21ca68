# Shared by the scripts for the Linux program: what it needs installed and
# running. Source after scripts/lib.sh.

# The job scheduler behind AT: the at package and a running atd. Started
# without systemd when there is none (containers, CI).
start_atd() {
  need at
  if ! { [ -r /run/atd.pid ] && kill -0 "$(cat /run/atd.pid)" 2>/dev/null; }; then
    service atd start >/dev/null 2>&1 || true
    sleep 0.2
    if ! { [ -r /run/atd.pid ] && kill -0 "$(cat /run/atd.pid)" 2>/dev/null; }; then
      atd
    fi
  fi
  atq >/dev/null
}

# The Japanese locale Wine needs to work in code page 932.
need_japanese_locale() {
  need locales
  if ! locale -a | grep -qi '^ja_JP\.utf8$'; then
    sed -i 's/^# *\(ja_JP.UTF-8 UTF-8\)/\1/' /etc/locale.gen
    locale-gen >/dev/null
  fi
}

# Everything the Linux tests need besides the build tools: Wine for the
# differential test of the profile functions, at/atd for the end-to-end
# suite, python3 for the drivers, mount and chattr for the settings that
# cannot be written.
prepare_linux_tests() {
  need python3 wine64 locales at mount e2fsprogs
  need_japanese_locale
  start_atd
}
