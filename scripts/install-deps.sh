#!/usr/bin/env bash
# Installs the Debian packages that building, testing and running TarnelTools
# need; does nothing for packages already present. Run as root (or via sudo).
set -euo pipefail
packages=(build-essential cmake ninja-build pkg-config libsqlite3-dev sqlite3 libpq-dev postgresql
          liblua5.4-dev lua5.4 googletest libgtest-dev libgmock-dev libbenchmark-dev python3)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}"
fi
