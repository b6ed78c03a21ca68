#!/usr/bin/env bash
# Runs the real EPGStation 2.7.3 (with its Python Mirakurun stand-in) for the
# end-to-end tests, through the start.sh/stop.sh of the peers' folder
# shared/peers/epgstation-server, on 127.0.0.1 only.
#
#   epgstation.sh install
#       Installs what is missing: Debian's packages (python3, curl, g++, make,
#       procps, util-linux) and Node 20 with its headers and npm 10, both from
#       the npm registry (packages node-linux-<arch> and npm), into a fixed
#       prefix. Quick when they are there. Prints the prefix.
#   epgstation.sh start WORKDIR [MIRAKURUN_PORT] [EPGSTATION_PORT] [STAND-IN OPTIONS...]
#       Installs if needed, then runs the peers' start.sh with that Node first
#       on PATH, EPGS_NODEDIR set to its prefix (sqlite3 is compiled against
#       its headers, never downloaded ones) and npm's cache in a fixed folder,
#       so that a second WORKDIR or a second run is quick. Prints start.sh's
#       KEY=value lines (also in WORKDIR/servers.env).
#   epgstation.sh stop WORKDIR
#       Runs the peers' stop.sh.
#
# Environment (all optional):
#   ZOBA_NODE_PREFIX   where Node 20 goes (default /opt/zoba-node20)
#   ZOBA_NPM_CACHE     npm's cache (default /var/cache/zoba-npm)
#   EPGS_PEERS         the peers' folder (default: shared/peers/epgstation-server
#                      beside the repository, else /work/shared/peers/...)
#   npm_config_registry and the other npm settings apply as usual.
set -euo pipefail

NODE_VERSION=20.20.2   # the version the peers' start.sh was tested with
NPM_VERSION=10.8.2     # the npm that Node 20.20 comes with
PREFIX=${ZOBA_NODE_PREFIX:-/opt/zoba-node20}
NPM_CACHE=${ZOBA_NPM_CACHE:-/var/cache/zoba-npm}
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=scripts/lib.sh
. "$HERE/lib.sh"

die() { echo "epgstation.sh: $*" >&2; exit 1; }
log() { echo "epgstation.sh: $*" >&2; }

node_arch() {
  case $(uname -m) in
    x86_64) echo x64 ;;
    aarch64) echo arm64 ;;
    *) die "no Node build from the npm registry for $(uname -m)" ;;
  esac
}

# The stamp a complete prefix holds; anything else is installed anew.
stamp() { echo "node-linux-$(node_arch)@$NODE_VERSION npm@$NPM_VERSION"; }

prefix_ok() {
  [[ $(cat "$PREFIX/.zoba-node" 2>/dev/null) == "$(stamp)" ]] &&
    [[ -f $PREFIX/include/node/node_api.h && -f $PREFIX/include/node/common.gypi ]] &&
    [[ $("$PREFIX/bin/node" -v 2>/dev/null) == "v$NODE_VERSION" ]] &&
    [[ $(PATH=$PREFIX/bin:$PATH "$PREFIX/bin/npm" -v 2>/dev/null) == "$NPM_VERSION" ]]
}

# npm_pack DIR PACKAGE: fetches one package's tarball from the registry through
# npm (which checks its integrity) into DIR and prints the file's name.
npm_pack() {
  (cd "$1" && timeout 600 npm pack "$2" --cache "$NPM_CACHE" --silent \
    --fund=false --audit=false --update-notifier=false) | tail -1
}

install_node() {
  prefix_ok && return 0
  mkdir -p "$(dirname "$PREFIX")" "$NPM_CACHE"
  exec 8>"$PREFIX.lock"
  timeout 900 flock 8 || die "another install holds $PREFIX.lock"
  if prefix_ok; then exec 8>&-; return 0; fi
  # Any npm fetches the Node package; Debian's npm only if there is none.
  command -v npm >/dev/null || need npm >&2
  local tmp
  tmp=$(mktemp -d "$PREFIX.new.XXXXXX")
  # shellcheck disable=SC2064  # tmp is meant to be expanded now
  trap "rm -rf '$tmp'" EXIT
  log "fetching node-linux-$(node_arch)@$NODE_VERSION and npm@$NPM_VERSION from the npm registry"
  local tgz
  tgz=$(npm_pack "$tmp" "node-linux-$(node_arch)@$NODE_VERSION") || die "npm pack of Node failed"
  tar -xzf "$tmp/$tgz" -C "$tmp" --strip-components=1 --no-same-owner
  rm -f "$tmp/$tgz"
  [[ -f $tmp/include/node/node_api.h ]] || die "the Node package has no include/node headers"
  # npm 10 is fetched by the new Node, so an old system Node/npm does not matter.
  mkdir -p "$tmp/lib/node_modules/npm"
  tgz=$(PATH=$tmp/bin:$PATH npm_pack "$tmp" "npm@$NPM_VERSION") || die "npm pack of npm failed"
  tar -xzf "$tmp/$tgz" -C "$tmp/lib/node_modules/npm" --strip-components=1 --no-same-owner
  rm -f "$tmp/$tgz"
  ln -s ../lib/node_modules/npm/bin/npm-cli.js "$tmp/bin/npm"
  ln -s ../lib/node_modules/npm/bin/npx-cli.js "$tmp/bin/npx"
  stamp >"$tmp/.zoba-node"
  chmod 755 "$tmp"
  rm -rf "$PREFIX"
  mv "$tmp" "$PREFIX"
  trap - EXIT
  prefix_ok || die "Node in $PREFIX does not run as v$NODE_VERSION with npm $NPM_VERSION"
  exec 8>&-
}

install_all() {
  # tar and python3 for start.sh, curl for its waits and the tests, g++ and
  # make for sqlite3's compile, procps (ps) for stop.sh, util-linux (flock).
  need python3 curl g++ make tar procps util-linux >&2
  install_node
}

peers_dir() {
  if [[ -n ${EPGS_PEERS:-} ]]; then
    echo "$EPGS_PEERS"
    return
  fi
  local top
  if top=$(git -C "$HERE" rev-parse --show-toplevel 2>/dev/null) &&
    [[ -f $top/../shared/peers/epgstation-server/start.sh ]]; then
    (cd "$top/../shared/peers/epgstation-server" && pwd)
  else
    echo /work/shared/peers/epgstation-server
  fi
}

# run_peer SCRIPT ARGS...: the peers' script with the Node 20 of PREFIX.
run_peer() {
  local script=$1
  shift
  local dir
  dir=$(peers_dir)
  [[ -f $dir/$script ]] || die "no $script in $dir"
  PATH=$PREFIX/bin:$PATH EPGS_NODEDIR=$PREFIX npm_config_nodedir=$PREFIX \
    npm_config_cache=$NPM_CACHE npm_config_prefer_offline=true \
    bash "$dir/$script" "$@"
}

case ${1:-} in
  install)
    install_all
    echo "$PREFIX"
    ;;
  start)
    [[ $# -ge 2 ]] || die "usage: epgstation.sh start WORKDIR [MIRAKURUN_PORT] [EPGSTATION_PORT] [STAND-IN OPTIONS...]"
    install_all
    shift
    run_peer start.sh "$@"
    ;;
  stop)
    [[ $# -eq 2 ]] || die "usage: epgstation.sh stop WORKDIR"
    run_peer stop.sh "$2"
    ;;
  *)
    die "usage: epgstation.sh install | start WORKDIR [MIRAKURUN_PORT] [EPGSTATION_PORT] [STAND-IN OPTIONS...] | stop WORKDIR"
    ;;
esac
