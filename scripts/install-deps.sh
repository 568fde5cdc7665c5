#!/usr/bin/env bash
# Installs every Debian package needed to build, test and run Sondralis.
# Idempotent and non-interactive; prints nothing when all is present.
set -euo pipefail

packages=(
  g++ cmake ninja-build pkg-config
  qt6-base-dev
  fonts-dejavu-core
  libpugixml-dev
  libjpeg62-turbo-dev
  libhwy-dev
  libeigen3-dev
  libgdal-dev libsqlite3-dev
  libgtest-dev libbenchmark-dev
  libxml2-utils python3 locales
  clang libclang-rt-dev
  gpsbabel
  # cpack's Debian package (scripts/install.sh): its dependencies are found
  # by dpkg-shlibdeps among the ELF files file(1) finds.
  dpkg-dev file
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed$'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
if [ "$(id -u)" -eq 0 ]; then
  sudo=()
elif command -v sudo >/dev/null 2>&1; then
  sudo=(sudo)
else
  echo "error: these packages are missing and this is not root: ${missing[*]}" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -q
"${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
