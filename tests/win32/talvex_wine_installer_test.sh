#!/usr/bin/env bash
# The installer under Wine (inside scripts/wine-session.sh): installs silently for the
# user, then uninstalls twice -- once keeping the settings, once removing them. The
# uninstaller speaks the installer's language, runs as the user, and first ends a
# running Talvex.
# Usage: talvex_wine_installer_test.sh SETUP_EXE
set -euo pipefail
setup=$1
[[ -n ${WINEPREFIX:-} ]] || { echo "run inside scripts/wine-session.sh" >&2; exit 1; }
fail() { echo "FAIL: $*" >&2; exit 1; }

readonly SETTINGS='HKCU\Software\VB and VBA Program Settings\Kessaly\Talvex'
readonly RUN='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
readonly UNINSTALL='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Talvex'
# The per-user program folder of this prefix, as a Linux path.
appdata=$(wine cmd /c echo %LOCALAPPDATA% 2>/dev/null | tr -d '\r')
folder=$(winepath -u "$appdata\\Programs\\Talvex" 2>/dev/null)
[[ -n $folder ]] || fail "no program folder"

has_key() { wine reg query "$1" >/dev/null 2>&1; }

for remove in keep remove; do
  echo "== install, then uninstall and $remove the settings"
  wine "$setup" /S
  for file in talvex.exe English.lng Francais.lng Deutsch.lng uninstall.exe; do
    [[ -f $folder/$file ]] || fail "$file was not installed"
  done
  wine reg query "$UNINSTALL" /v UninstallString >/dev/null 2>&1 || fail "not in the installed programs"
  wine reg query "$UNINSTALL" /v "Installer Language" >/dev/null 2>&1 ||
    fail "the installer's language was not kept for the uninstaller"
  # It lies in a folder every program of the user can write: never run raised.
  grep -aq 'requestedExecutionLevel level="asInvoker"' "$folder/uninstall.exe" ||
    fail "the uninstaller asks to run as administrator"
  # What a user's Talvex would have left: settings and a start-with-the-session entry.
  wine reg add "$SETTINGS" /v General.Language /d EN /f >/dev/null 2>&1
  wine reg add "$RUN" /v Talvex /d "\"$appdata\\Programs\\Talvex\\talvex.exe\"" /f >/dev/null 2>&1

  talvex_pid=
  if [[ $remove == keep ]]; then
    wine "$folder/talvex.exe" </dev/null >/dev/null 2>&1 &
    talvex_pid=$!
    for _ in $(seq 300); do xdotool search --name '^Talvex 1\.1\.0$' >/dev/null 2>&1 && break; sleep 0.1; done
    xdotool search --name '^Talvex 1\.1\.0$' >/dev/null 2>&1 || fail "the installed Talvex did not start"
  fi

  args=(/S)
  [[ $remove == remove ]] && args+=(/REMOVESETTINGS)
  # The uninstaller copies itself away and runs from there: wait until it is done.
  wine "$folder/uninstall.exe" "${args[@]}"
  uninstalled() {
    [[ ! -e $folder/talvex.exe && ! -e $folder/uninstall.exe && ! -d $folder ]] &&
      ! wine reg query "$RUN" /v Talvex >/dev/null 2>&1 && ! has_key "$UNINSTALL"
  }
  for _ in $(seq 200); do uninstalled && break; sleep 0.1; done
  uninstalled || fail "the program, its Run entry or its uninstall entry stayed"
  if [[ -n $talvex_pid ]]; then
    for _ in $(seq 100); do kill -0 "$talvex_pid" 2>/dev/null || break; sleep 0.1; done
    if kill -0 "$talvex_pid" 2>/dev/null; then
      kill "$talvex_pid"
      fail "the uninstaller left Talvex running"
    fi
  fi
  sleep 1  # the settings are the uninstaller's last step
  if [[ $remove == keep ]]; then
    has_key "$SETTINGS" || fail "the settings were removed"
  else
    ! has_key "$SETTINGS" || fail "the settings stayed"
  fi
done
echo "installer: every check passed"
