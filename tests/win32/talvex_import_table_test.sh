#!/usr/bin/env bash
# The libraries a Windows program imports at load time are all Known DLLs (or API
# sets), which Windows always takes from System32. Any other imported library is
# looked for in the program's own folder first, and a per-user install's folder can be
# written by every program of the user. Reads the import table with the MinGW objdump.
# Usage: talvex_import_table_test.sh OBJDUMP PROGRAM...
set -euo pipefail
objdump=$1
shift

# HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\KnownDLLs of Windows 10 and 11
# (ntdll is always mapped first). comctl32 is not among them: only a manifest's
# redirection keeps it out of the program's folder, so it is not imported either.
known=(advapi32 clbcatq combase comdlg32 coml2 difxapi gdi32 gdiplus imagehlp imm32 kernel32
  msctf msvcrt normaliz nsi ntdll ole32 oleaut32 psapi rpcrt4 sechost setupapi shcore shell32
  shlwapi user32 wldap32 ws2_32)
known=" ${known[*]} "

failed=0
for program in "$@"; do
  names=$("$objdump" -p "$program" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr -d '\r')
  [[ -n $names ]] || { echo "FAIL: no import table read from $program" >&2; failed=1; continue; }
  while read -r dll; do
    base=$(tr '[:upper:]' '[:lower:]' <<<"${dll%.*}")
    [[ $base == api-ms-win-* || $base == ext-ms-win-* ]] && continue
    if [[ $known != *" $base "* ]]; then
      echo "FAIL: $(basename "$program") imports $dll, which Windows may load from the program's folder" >&2
      failed=1
    fi
  done <<<"$names"
  echo "$(basename "$program") imports:" $names
done
exit $failed
