#!/usr/bin/env bash
# Makes sure Debian packages are installed, so a command works on a bare
# machine:
#   scripts/need.sh PACKAGE...
# As root it installs the missing ones (one apt-get update first). Otherwise
# it prints the one apt-get install line that would, and ends with status 1.
set -euo pipefail
installed() {
  [ "$(dpkg-query -W -f='${db:Status-Status}' "$1" 2>/dev/null)" = installed ]
}
if ! command -v dpkg-query >/dev/null; then
  echo "not a Debian system: make sure these are installed: $*" >&2
  exit 0
fi
missing=()
for package in "$@"; do
  installed "$package" || missing+=("$package")
done
((${#missing[@]})) || exit 0
if [ "$(id -u)" -ne 0 ]; then
  echo "Missing Debian packages; install them (as root) with:" >&2
  echo "  apt-get install ${missing[*]}" >&2
  exit 1
fi
echo "Installing the missing Debian packages: ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
apt-get update -q >&2
apt-get install -y -q "${missing[@]}" >&2
