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

# Everything the Linux tests need besides the build tools and Wine (for the
# differential test of the profile functions; see wine-env.sh): at/atd for
# the end-to-end suite, python3 for the drivers, mount and chattr for the
# settings that cannot be written, and for the desktop test an X display
# with a window manager, the desktop's file-type tools and launchers (gio,
# and mimeopen, which xdg-open falls back to outside GNOME and KDE),
# zenity, xdotool to answer it, Japanese fonts and ImageMagick for its
# screenshot; curl for REC's run against a stand-in tuner server.
prepare_linux_tests() {
  need python3 at mount e2fsprogs curl
  need xvfb openbox zenity xdotool xdg-utils desktop-file-utils shared-mime-info \
    libfile-mimeinfo-perl libglib2.0-bin fonts-ipafont-gothic imagemagick
  start_atd
}
