#!/usr/bin/env bash
# talvex.exe under Wine in a folder where another program has placed libraries named
# like system ones (WINHTTP.dll, MSIMG32.dll, COMCTL32.dll), as any program of the user
# can in a per-user install: Talvex starts, and none of them is ever loaded (each
# leaves a marker file when it is). Ends only the processes it started.
# Usage: talvex_wine_plant_test.sh TALVEX_EXE PLANTED_DLL PROBE_EXE
set -euo pipefail
talvex=$1 planted=$2 probe=$3
[[ -n ${DISPLAY:-} && -n ${WINEPREFIX:-} ]] || { echo "run inside scripts/wine-session.sh" >&2; exit 1; }

readonly HIGH=128
# Wine prefers its own built-in copy of a system library to any file of that name;
# Windows loads the first file its search finds. As Windows does, then: a library
# file found by the search is loaded (without this, Wine hides the fault).
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:+$WINEDLLOVERRIDES;}winhttp,msimg32,comctl32=n,b"
folder=$(mktemp -d "${TMPDIR:-/tmp}/talvex-planted.XXXXXX")
pid=
cleanup() {
  [[ -n $pid ]] && kill "$pid" 2>/dev/null || true
  rm -rf "$folder"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cp "$talvex" "$folder/talvex.exe"
cp "$(dirname "$talvex")"/*.lng "$folder/"
for name in WINHTTP.dll MSIMG32.dll COMCTL32.dll; do cp "$planted" "$folder/$name"; done

# Started from its own folder, which is then the current folder too.
(cd "$folder" && exec wine ./talvex.exe </dev/null >/dev/null 2>&1) &
pid=$!
# Talvex raises itself to High once it has started (or it failed to start).
started=
for _ in $(seq 300); do
  kill -0 "$pid" 2>/dev/null || break
  if [[ $(wine "$probe" priority "Talvex 1.1.0" 2>/dev/null | tr -d '\r') == "$HIGH" ]]; then
    started=yes
    break
  fi
  sleep 0.1
done
loaded=$(cd "$folder" && ls -- *.loaded 2>/dev/null || true)
[[ -z $loaded ]] || fail "Talvex loaded a library placed in its folder: ${loaded//.loaded/}"
[[ -n $started ]] || fail "talvex.exe did not start"
wine "$probe" close "Talvex 1.1.0" >/dev/null 2>&1
for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$pid" 2>/dev/null && fail "talvex.exe is still running"
loaded=$(cd "$folder" && ls -- *.loaded 2>/dev/null || true)
[[ -z $loaded ]] || fail "Talvex loaded a library placed in its folder: ${loaded//.loaded/}"
pid=
echo "planted libraries: none was loaded"
