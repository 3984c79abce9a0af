#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need (as root).
set -euo pipefail
packages=(
  build-essential cmake g++ gcc make ninja-build pkg-config
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  libssl-dev openssl gettext bison flex
  libsqliteodbc libsqlite3-dev sqlite3
  odbc-postgresql odbc-mariadb postgresql
  libtirpc-dev rpcsvc-proto
  clang clang-format libclang-rt-14-dev
  procps iproute2
  python3
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "missing packages (run as root to install): ${missing[*]}" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update
  apt-get install -y --no-install-recommends "${missing[@]}"
fi
