#!/usr/bin/env bash
# imports.sh EXE OBJDUMP: every DLL the exe imports is a known DLL, which Windows loads
# from its own folder whatever lies beside the exe (the list under HKLM\SYSTEM\
# CurrentControlSet\Control\Session Manager\KnownDLLs), or ntdll/kernelbase, which
# every process has before its imports are resolved.
set -euo pipefail
declare -A known=()
for dll in advapi32 clbcatq combase comdlg32 coml2 difxapi gdi32 gdiplus imagehlp imm32 \
  kernel32 kernelbase msctf msvcrt normaliz nsi ntdll ole32 oleaut32 psapi rpcrt4 sechost \
  setupapi shcore shell32 shlwapi user32 wldap32 ws2_32; do
  known[$dll]=1
done
imports=$("$2" -p "$1" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z' | sed 's/\.dll$//')
[[ -n $imports ]] || { echo "imports: no import table read from $1" >&2; exit 1; }
bad=0
for dll in $imports; do
  if [[ -n ${known[$dll]:-} ]]; then echo "ok    $dll.dll"; else echo "NOT A KNOWN DLL: $dll.dll"; bad=1; fi
done
exit $bad
