#!/usr/bin/env bash
# For a machine whose kernel cannot run 32-bit x86 programs: has the kernel
# hand them to the user-mode emulator (qemu-i386-static, registered with
# binfmt_misc, which is mounted first if need be), so that 32-bit Wine may
# start. Needs root and Debian's qemu-user-static.
#   scripts/emulate_i386.sh on [--why]   status 0 when 32-bit Wine then runs
#                                        a Windows program (each start takes
#                                        a minute or more); otherwise says
#                                        why with --why, and leaves nothing
#                                        registered
#   scripts/emulate_i386.sh off          removes the registration again
# A machine that runs 32-bit programs itself needs none of this: the
# registration would take precedence and only slow them down.
set -uo pipefail
misc=/proc/sys/fs/binfmt_misc
entry="$misc/textmatte-i386"
qemu=/usr/bin/qemu-i386-static
why() { [ "${2:-}" = --why ] && echo "$1"; exit 1; }

off() { [ ! -e "$entry" ] || echo -1 > "$entry"; }
if [ "${1:-}" = off ]; then off; exit 0; fi

[ -x "$qemu" ] || why "$qemu is not installed (Debian: qemu-user-static)" "${2:-}"
[ "$(id -u)" -eq 0 ] || why "registering an emulator needs root" "${2:-}"
if [ ! -e "$misc/register" ]; then
  mount -t binfmt_misc binfmt_misc "$misc" 2>/dev/null ||
    why "binfmt_misc cannot be mounted on $misc" "${2:-}"
fi
# 32-bit little-endian x86 ELF executables and shared objects; F: the kernel
# opens the emulator now, so it is found from any mount namespace.
if [ ! -e "$entry" ]; then
  printf '%s' ":textmatte-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:$qemu:F" \
    > "$misc/register" 2>/dev/null || why "binfmt_misc does not take the registration" "${2:-}"
fi
# Wine says why it cannot start only with its error channel on.
probe="$(mktemp -d)"
trap 'rm -rf "$probe"' EXIT
WINEDEBUG=err+all timeout 300 /usr/lib/wine/wine cmd /c exit 7 >/dev/null 2>"$probe/err"
status=$?
if [ "$status" -ne 7 ]; then
  off
  error="$(grep -m1 -v '^\s*$' "$probe/err" | cut -c1-200)"
  why "32-bit Wine does not start under $qemu (status $status${error:+: $error})" "${2:-}"
fi
exit 0
