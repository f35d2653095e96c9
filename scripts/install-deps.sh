#!/usr/bin/env bash
# Installs what building, running and testing Tallyvane needs on Debian 12; skips what is there.
set -euo pipefail
packages=(
  cmake g++ make pkg-config
  qt6-base-dev libqt6sql6-sqlite qt6-serialport-dev
  # the item record set reads large tables through the engine directly
  libsqlite3-dev
  # an inventory shared by several workstations on a PostgreSQL server; the tests start one of their own
  libqt6sql6-psql postgresql
  # the server store cuts a connection that stopped answering through the client library's socket
  libpq-dev
  # the updater checks the signature of a downloaded update; openssl signs releases and makes test keys
  libssl-dev openssl
  fonts-dejavu-core
  # tests and benchmarks: barcode decoding, PDF text, pseudo-terminals, the sqlite3 shell, HTTP client
  zbar-tools poppler-utils socat sqlite3 curl
  # tests press keys through the window system with time stamps of their own (its private headers)
  qt6-base-private-dev
  # CI checks the formatting of the sources
  clang-format
  # running under a virtual display
  xvfb xauth
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
