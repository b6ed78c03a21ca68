# Shared by the scripts: install what is missing from Debian's packages.

# need PACKAGE...: installs the packages that are not installed yet, running
# apt-get update once first.
need() {
  local missing=()
  for package in "$@"; do
    dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  if [ -z "${ZOBA_APT_UPDATED:-}" ]; then
    apt-get update -q >/dev/null
    export ZOBA_APT_UPDATED=1
  fi
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends \
    "${missing[@]}" >/dev/null
}

# The packages every build needs.
need_build_tools() {
  need cmake make g++ libgtest-dev clang-format clang-tidy g++-mingw-w64-x86-64
  # The windows preset builds GoogleTest for mingw from Debian's sources.
  need googletest
  # Booking on a recording server: HTTP through libcurl, JSON through
  # nlohmann/json (header-only, also used by the Windows build).
  need libcurl4-openssl-dev nlohmann-json3-dev
}

# The packages the fuzz targets need: clang with its libFuzzer runtime.
need_fuzz_tools() {
  need clang libclang-rt-14-dev
}
