#!/bin/sh
# Every binary of a build imports Windows system DLLs only (C and C++
# runtimes are linked in).   scripts/check-binaries.sh BUILD_DIR...
set -eu
system_dlls="kernel32 user32 gdi32 advapi32 msvcrt ntdll shell32 shlwapi ole32 oleaut32 crypt32 bcrypt ws2_32
  setupapi wtsapi32 winscard wininet comctl32 version userenv rpcrt4 secur32 iphlpapi netapi32 psapi powrprof mpr"
bad=0; count=0
for build in "$@"; do
  case "$build" in *i686*) objdump=i686-w64-mingw32-objdump ;; *) objdump=x86_64-w64-mingw32-objdump ;; esac
  for f in $(find "$build/bin" -name '*.dll' -o -name '*.exe' 2>/dev/null); do
    count=$((count + 1))
    for dll in $($objdump -p "$f" | awk '/DLL Name:/ {print tolower($3)}'); do
      name=${dll%.dll}
      case " $(echo $system_dlls) " in *" $name "*) ;; *) echo "$f imports $dll"; bad=1 ;; esac
    done
  done
done
[ $bad = 0 ] || exit 1
echo "$count binaries import system DLLs only"
