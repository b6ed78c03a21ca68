# Sourced by anything that runs Windows programs under Wine: a display of its
# own, a private Wine prefix, and the Japanese locale that makes the ANSI code
# page 932. Needs nothing else sourced; wine_env_install needs scripts/lib.sh.
#
#   wine_env_install          install the packages and generate ja_JP.UTF-8
#   wine_env_start_display    start Xvfb on a free display, export DISPLAY
#   wine_env_make_prefix DIR  make a fresh Wine prefix in DIR, export WINEPREFIX
#   wine_env_stop             end the prefix's wineserver and the display
#
# The start functions return non-zero when they cannot do their job, so that a
# test can report itself skipped.

ZOBA_WINE_LOADER=${ZOBA_WINE_LOADER:-/usr/lib/wine/wine64}
ZOBA_WINESERVER=${ZOBA_WINESERVER:-/usr/lib/wine/wineserver}

wine_env_install() {
  # Wine's X11 driver loads the X extension libraries only if they are there.
  need wine64 fonts-wine libxrender1 libxrandr2 libxi6 libxcursor1 libxfixes3 libxcomposite1 \
    libxinerama1 xvfb xauth locales fonts-ipafont-gothic imagemagick python3 googletest
  if ! locale -a 2>/dev/null | grep -qix 'ja_JP.utf-\?8'; then
    echo "Generating the ja_JP.UTF-8 locale"
    sed -i 's/^# *\(ja_JP.UTF-8 UTF-8\)/\1/' /etc/locale.gen
    grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' >>/etc/locale.gen
    locale-gen >/dev/null
  fi
}

# Xvfb picks a free display number itself and writes it to the given
# descriptor once it accepts clients.
wine_env_start_display() {
  command -v Xvfb >/dev/null || { echo "wine-env: no Xvfb" >&2; return 1; }
  local number_file
  number_file=$(mktemp)
  Xvfb -displayfd 9 -screen 0 1024x768x24 -nolisten tcp 9>"$number_file" >/dev/null 2>&1 &
  ZOBA_XVFB_PID=$!
  local tries=0
  while [ ! -s "$number_file" ] && [ $tries -lt 100 ]; do
    kill -0 "$ZOBA_XVFB_PID" 2>/dev/null || break
    sleep 0.1
    tries=$((tries + 1))
  done
  local number
  number=$(tr -d '\n' <"$number_file")
  rm -f "$number_file"
  if [ -z "$number" ]; then
    echo "wine-env: Xvfb did not start" >&2
    kill "$ZOBA_XVFB_PID" 2>/dev/null
    ZOBA_XVFB_PID=
    return 1
  fi
  export DISPLAY=":$number"
}

# A prefix of our own, Japanese locale, no debug chatter. Without a window
# manager Wine must draw the window frames itself (Managed=N), or message
# boxes would have no caption bar on screen.
wine_env_make_prefix() {
  [ -x "$ZOBA_WINE_LOADER" ] || { echo "wine-env: no $ZOBA_WINE_LOADER" >&2; return 1; }
  mkdir -p "$1"
  export WINEPREFIX
  WINEPREFIX=$(cd "$1" && pwd)
  export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8
  "$ZOBA_WINE_LOADER" wineboot -i >/dev/null 2>&1 || true
  "$ZOBA_WINE_LOADER" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f \
    >/dev/null 2>&1 || { echo "wine-env: Wine does not run" >&2; return 1; }
  "$ZOBA_WINESERVER" -w
  # One server for everything that follows: otherwise it exits a few seconds
  # after the last process, and a program started just then may find it gone.
  "$ZOBA_WINESERVER" -p
}

wine_env_stop() {
  if [ -n "${WINEPREFIX:-}" ] && [ -d "$WINEPREFIX" ]; then
    "$ZOBA_WINESERVER" -k 2>/dev/null || true
  fi
  if [ -n "${ZOBA_XVFB_PID:-}" ]; then
    kill "$ZOBA_XVFB_PID" 2>/dev/null || true
    wait "$ZOBA_XVFB_PID" 2>/dev/null || true
    ZOBA_XVFB_PID=
  fi
}
