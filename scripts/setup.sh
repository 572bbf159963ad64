#!/usr/bin/env bash
# Installs every Debian package the project needs to build, test, benchmark
# and fuzz. Idempotent: prints nothing when everything is already there.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config git
  zlib1g-dev libfreetype-dev libjpeg62-turbo-dev libpng-dev libchm-dev
  qt6-base-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  fonts-dejavu-core
  libxml2-utils
  zip unzip
  libmobi-tools
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed$'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=()
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null 2>&1; then SUDO=(sudo); else
    echo "setup: missing packages (${missing[*]}) and not root; run this script as root" >&2
    exit 1
  fi
fi

echo "setup: installing ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
"${SUDO[@]}" apt-get update -qq >/dev/null
"${SUDO[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
