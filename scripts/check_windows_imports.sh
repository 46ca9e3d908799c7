#!/usr/bin/env bash
# Checks that a Windows executable imports only DLLs every Windows
# installation has, so it runs without any runtime installed beside it.
#   scripts/check_windows_imports.sh textmatte.exe
set -euo pipefail
exe="$1"
dlls="$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p')"
echo "$exe imports: $(echo $dlls)"
bad=0
for dll in $dlls; do
  case "${dll,,}" in
    kernel32.dll|msvcrt.dll|user32.dll|advapi32.dll|ntdll.dll|shell32.dll|ws2_32.dll) ;;
    *) echo "not a system DLL: $dll"; bad=1 ;;
  esac
done
exit $bad
