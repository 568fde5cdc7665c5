#!/usr/bin/env bash
# Installs Sondralis on this machine: installs what the build needs, builds
# (Release), makes the Debian package and installs it with apt, so that
# `apt remove sondralis` takes it away again. With --prefix DIR it installs
# into DIR instead, without root (~/.local puts it into a desktop's menus).
set -euo pipefail
cd "$(dirname "$0")/.."
prefix=""
case "${1:-}" in
  --prefix) prefix=${2:?"--prefix wants a folder"} ;;
  "") ;;
  *) echo "usage: scripts/install.sh [--prefix DIR]" >&2; exit 2 ;;
esac
scripts/install-deps.sh
scripts/build.sh
if [ -n "$prefix" ]; then
  cmake --install build --prefix "$prefix"
  echo "Installed into $prefix: $prefix/bin/sondralis and $prefix/bin/sondralis-cli"
  exit 0
fi
rm -f build/sondralis_*.deb
(cd build && cpack -G DEB >/dev/null)
if [ "$(id -u)" -eq 0 ]; then sudo=(); else sudo=(sudo); fi
"${sudo[@]}" apt-get install -y -q "$PWD"/build/sondralis_*.deb
echo "Installed: sondralis (the window, also in the desktop's menu) and sondralis-cli (man sondralis-cli)"
