#!/usr/bin/env bash
# The Debian package the way a user meets it. Needs root: it installs and purges it.
#   - lintian finds no error in it, and its AppStream metainfo validates;
#   - it holds the program and its data and depends on the Qt 6 libraries and setcap;
#   - its install step, where setcap fails, still succeeds and shows the limits entry;
#   - apt-get installs it; the helper talvex-levers alone carries cap_sys_nice, an
#     upgrade takes a capability left on /usr/bin/talvex away, and talvex answers
#     --version with the package's version;
#   - started by an unprivileged user (who may not raise priorities) on a display of its
#     own, it raises a test program to High when that program's window comes to the
#     front, and gives it Normal back when it ends: the right comes from the helper;
#   - a Qt plugin the user offers through QT_PLUGIN_PATH runs, if Talvex loads it, in a
#     process without capabilities, and cannot change a process of root's;
#   - apt-get purge leaves none of the package's files and no package state behind.
# Ends only the processes it started. Refuses to run where talvex is installed already.
# Usage: talvex_package_test.sh path/to/talvex_VERSION_ARCH.deb path/to/talvex_test_child \
#          path/to/plugins   (the folder holding generic/libtalvex_hostile_plugin.so)
set -uo pipefail
# setcap, getcap, useradd and dpkg's own tools live in the sbin folders.
export PATH=$PATH:/usr/sbin:/sbin
deb=$(readlink -f "$1")
child=$2
plugins=$(readlink -f "$3")
user=talvex-test

fail() {
  echo "FAIL: $*" >&2
  exit 1
}
[[ $(id -u) -eq 0 ]] || fail "needs root"
for tool in Xvfb openbox xdotool lintian appstreamcli getcap setpriv; do
  command -v "$tool" >/dev/null || fail "missing: $tool"
done
if dpkg-query -W -f='${db:Status-Abbrev}' talvex 2>/dev/null | grep -q '^.i'; then
  fail "talvex is installed already; this test installs and purges it (apt-get purge talvex first)"
fi

scratch=$(mktemp -d)
chmod 755 "$scratch"
pids=()
installed=0
# Ends what this test started, newest first.
stop_started() {
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill -KILL "${pids[i]}" || true; done
  wait || true
  pids=()
} 2>/dev/null
cleanup() {
  stop_started
  if ((installed)); then apt-get purge -y -q talvex >/dev/null 2>&1 || true; fi
  rm -rf "$scratch"
}
trap cleanup EXIT
apt_get() {
  DEBIAN_FRONTEND=noninteractive apt-get -y -q -o DPkg::Lock::Timeout=300 "$@"
}

echo "== lintian"
lintian --fail-on error --display-info --tag-display-limit 0 "$deb" || fail "lintian reports an error"
echo "== the package's contents"
dpkg-deb -x "$deb" "$scratch/root"
echo "== appstreamcli validate"
appstreamcli validate --no-net --pedantic "$scratch"/root/usr/share/metainfo/*.metainfo.xml ||
  fail "the AppStream metainfo does not validate"
appstreamcli validate-tree --no-net "$scratch/root" || fail "the installed tree does not validate"
for path in usr/bin/talvex usr/share/applications/talvex.desktop \
  usr/share/icons/hicolor/scalable/apps/talvex.svg usr/share/man/man1/talvex.1.gz \
  usr/share/talvex/lang/English.lng usr/share/talvex/lang/Francais.lng \
  usr/share/talvex/lang/Deutsch.lng usr/share/doc/talvex/copyright \
  usr/libexec/talvex/talvex-levers etc/talvex/levers.conf; do
  [[ -f $scratch/root/$path ]] || fail "the package lacks /$path"
done
# Where setcap fails (a file system without capabilities), the install step still
# succeeds and shows the limits entry instead.
dpkg-deb -e "$deb" "$scratch/control"
mkdir "$scratch/nocaps"
printf '#!/bin/sh\nexit 1\n' >"$scratch/nocaps/setcap"
chmod 755 "$scratch/nocaps/setcap"
fallback=$(PATH=$scratch/nocaps:$PATH sh "$scratch/control/postinst" configure 2>&1) ||
  fail "the install step fails where setcap fails: $fallback"
[[ $fallback == *"/etc/security/limits.d/talvex.conf"* && $fallback == *"nice  -15"* ]] ||
  fail "the install step does not show the limits entry where setcap fails: $fallback"
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for dep in libqt6core6 libqt6gui6 libqt6widgets6 libqt6network6 libqt6svg6 libcap2-bin; do
  [[ ", $depends," == *", $dep "* || ", $depends," == *", $dep,"* ]] || fail "no dependency on $dep"
done

echo "== install"
cp "$deb" "$scratch/"
apt_get install "$scratch/$(basename "$deb")" >"$scratch/install.log" 2>&1 ||
  { cat "$scratch/install.log" >&2; fail "apt-get install failed"; }
installed=1
grep -q "could not grant" "$scratch/install.log" &&
  { cat "$scratch/install.log" >&2; fail "the install step could not grant the capability"; }
helper=/usr/libexec/talvex/talvex-levers
echo "getcap of the installed files:"
getcap -r /usr/bin/talvex /usr/libexec/talvex
[[ $(getcap "$helper") == *"cap_sys_nice=ep"* ]] || fail "$helper lacks cap_sys_nice"
[[ -z $(getcap /usr/bin/talvex) ]] || fail "/usr/bin/talvex holds a capability"
# An upgrade from a version that gave the program itself the capability takes it away.
setcap cap_sys_nice+ep /usr/bin/talvex || fail "cannot set a capability to take away"
sh "$scratch/control/postinst" configure >/dev/null 2>&1 || fail "the install step failed again"
[[ -z $(getcap /usr/bin/talvex) ]] || fail "the install step leaves /usr/bin/talvex its capability"
[[ $(stat -c %U:%a /etc/talvex/levers.conf) == root:644 ]] || fail "levers.conf is not root's 644"
version=$(dpkg-deb -f "$deb" Version)
[[ $(env -u DISPLAY talvex --version) == "talvex $version" ]] ||
  fail "talvex --version does not say $version"

echo "== a boost, as $user on a display of its own"
if ! getent passwd "$user" >/dev/null; then
  useradd --system --no-create-home --shell /usr/sbin/nologin "$user" || fail "cannot add $user"
fi
home=$scratch/home
mkdir -p "$home/config/Kessaly" "$home/run"
chmod 700 "$home/run"
cat >"$home/config/Kessaly/Talvex.conf" <<'EOF'
[Talvex]
BackgroundProcessObservation.Enabled=False
General.AutoUpdate=False
General.Language=EN
EOF
# The test program under a name of its own: the first-start rule for Talvex itself would
# match a path containing "talvex".
cp "$child" "$scratch/testapp"
chmod 755 "$scratch/testapp"
chown -R "$user:" "$home"
mkdir -p /tmp/.X11-unix && chmod 1777 /tmp/.X11-unix
display=140
while [[ -e /tmp/.X11-unix/X$display || -e /tmp/.X$display-lock ]]; do display=$((display + 1)); done
# Runs the command after it as the test user, with nothing of root's environment. A
# prefix, not a function, so that $! of a background start is the started program's pid.
as_user=(setpriv --reuid="$user" --regid="$user" --clear-groups
  env -i PATH=/usr/bin:/bin HOME="$home" DISPLAY=":$display" XDG_CONFIG_HOME="$home/config"
  XDG_RUNTIME_DIR="$home/run" QT_QPA_PLATFORM=xcb)
nice_of() { awk '{ sub(/^.*\) /, ""); print $17 }' "/proc/$1/stat"; }
wait_for() {
  local tenths=$1
  shift
  for _ in $(seq "$tenths"); do "$@" && return 0; sleep 0.1; done
  return 1
}
nice_is() { [[ $(nice_of "$1") == "$2" ]]; }

"${as_user[@]}" Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
wait_for 100 "${as_user[@]}" xdotool getmouselocation >/dev/null 2>&1 || fail "Xvfb did not start"
"${as_user[@]}" openbox >/dev/null 2>&1 &
pids+=($!)
wait_for 100 bash -c "$(printf '%q ' "${as_user[@]}") xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'" ||
  fail "openbox did not start"
"${as_user[@]}" "$scratch/testapp" window testapp >/dev/null 2>&1 &
app=$!
pids+=("$app")
window=$(timeout 10 "${as_user[@]}" xdotool search --sync --onlyvisible --pid "$app" | head -1)
[[ -n $window ]] || fail "the test program's window did not open"
# The user alone may not raise a priority, so a boost can only come from the capability.
"${as_user[@]}" renice -n -1 -p "$app" >/dev/null 2>&1 && fail "$user may raise priorities without Talvex"
[[ $(nice_of "$app") == 0 ]] || fail "the test program does not start at nice 0"

# A process of root's, which the user's plugin will try to renice.
sleep 600 &
victim=$!
pids+=("$victim")
"${as_user[@]}" QT_PLUGIN_PATH="$plugins" QT_QPA_GENERIC_PLUGINS=hostile \
  TALVEX_PLUGIN_REPORT="$home/plugin-report" TALVEX_PLUGIN_VICTIM="$victim" \
  talvex >"$scratch/talvex.log" 2>&1 &
talvex=$!
pids+=("$talvex")
wait_for 100 "${as_user[@]}" xdotool search --onlyvisible --name '^Talvex 1\.' >/dev/null ||
  fail "the main window did not open"
[[ $(readlink "/proc/$talvex/exe") == /usr/bin/talvex ]] || fail "not the installed program"
"${as_user[@]}" xdotool windowactivate "$window"
wait_for 50 nice_is "$app" -10 ||
  fail "the program in front was not raised to High (nice $(nice_of "$app")): $(<"$scratch/talvex.log")"
echo "boosted: the test program in front runs at nice $(nice_of "$app")"
capeff() { awk '/^CapEff:/ { print $2 }' "$1"; }
[[ $(capeff "/proc/$talvex/status") == 0000000000000000 ]] || fail "talvex holds capabilities"
if [[ -s $home/plugin-report ]]; then
  echo "the offered plugin ran inside Talvex: $(<"$home/plugin-report")"
  [[ $(capeff "$home/plugin-report") == 0000000000000000 ]] ||
    fail "the plugin ran with capabilities: $(<"$home/plugin-report")"
else
  echo "the offered plugin was not loaded"
fi
[[ $(nice_of "$victim") == 0 ]] || fail "the plugin changed a process of root's"
helper_pid=$(pgrep -P "$talvex" -x talvex-levers) || fail "Talvex did not start its helper"
echo "helper $helper_pid: CapEff $(capeff "/proc/$helper_pid/status")"
[[ $(capeff "/proc/$helper_pid/status") == 0000000000800000 ]] ||
  fail "the helper does not hold exactly cap_sys_nice"
kill -TERM "$talvex"
wait_for 50 bash -c "! kill -0 $talvex 2>/dev/null" || fail "Talvex still runs 5 s after SIGTERM"
wait "$talvex"
rc=$?
[[ $rc -eq 0 ]] || fail "Talvex ended with exit code $rc"
[[ $(nice_of "$app") == 0 ]] || fail "the test program kept its boost after Talvex ended"
stop_started

echo "== purge"
mapfile -t owned < <(dpkg-query -L talvex)
apt_get purge talvex >"$scratch/purge.log" 2>&1 || { cat "$scratch/purge.log" >&2; fail "apt-get purge failed"; }
installed=0
status=$(dpkg-query -W -f='${db:Status-Abbrev}' talvex 2>/dev/null)
[[ -z $status || $status == un* ]] || fail "dpkg still knows talvex: $status"
left=0
for path in "${owned[@]}"; do
  [[ -z $path || $path == /. ]] && continue
  if [[ -d $path && ! -L $path ]]; then
    # A folder may stay only while another package owns it too.
    dpkg-query -S "$path" >/dev/null 2>&1 || { echo "left behind: $path/" >&2; left=1; }
  elif [[ -e $path || -L $path ]]; then
    echo "left behind: $path" >&2
    left=1
  fi
done
((left == 0)) || fail "the purge left files behind"
echo "purged: none of the ${#owned[@]} paths of the package is left"
echo "PASS"
