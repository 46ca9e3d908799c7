#!/usr/bin/env bash
# Installs what the tests need (Debian packages; as root, or it says which
# to install), then builds textmatte, the preview and every test, and runs
# the tests (the Linux release build, in build/release/).
#   ./scripts/test.sh
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
# acl, strace, e2fsprogs and util-linux: the end-to-end tests of ACLs, a
# failing folder sync, an immutable file and a run without CAP_FOWNER.
"$root/scripts/need.sh" cmake ninja-build g++ libgtest-dev libmpfr-dev pkg-config valgrind \
  acl strace e2fsprogs util-linux
cd "$root"
exec cmake --workflow --preset release
