#!/bin/sh
# The Debian package as an ordinary user meets it: the package unpacked into a
# fresh root laid over /usr in a private mount namespace (as package_test.sh
# does), its postinst run by root, and then everything else as the account
# "nobody" with a home of its own: the configuration window's OK, the login
# entry, an actor copied into the home, and the removal of what the programs
# wrote there.
# Usage: user_test.sh <build dir>
set -eu
build=$(cd "${1:?usage: user_test.sh <build dir>}" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
. "$here/desktop_checks.sh"

uid=65534
gid=65534

if [ "${KOBAL_IN_ROOT:-}" != 1 ]; then
  need_tools cpack dpkg-deb unshare setpriv gio Xvfb xdotool
  if [ "$(id -u)" != 0 ]; then
    echo "SKIP: needs root, to mount the package over /usr and to become another user"
    exit 77
  fi
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  build_package "$build" "$work"
  unpack_package "$work"
  rerun_in_private_namespace "$work" "$0" "$build"
fi

work=$KOBAL_WORK
mount_package_over_usr "$work"
"$work/control/postinst" configure > /dev/null || fail "postinst failed"

# The user's own corner: only it is theirs; the install is root's.
chmod 755 "$work"
account="$work/user"
private_account "$account"
unset DBUS_SESSION_BUS_ADDRESS
chown -R $uid:$gid "$account"
# Runs a command as the user: env takes NAME=value words first.
as_user() { setpriv --reuid=$uid --regid=$gid --clear-groups env "$@"; }
as_user test -w "$HOME" || fail "the account cannot write its home"
! as_user test -w /usr/lib/kobaltron/resource || fail "the account can write the install"

global=/usr/lib/kobaltron/resource/config.kcfg
own="$HOME/.config/kobaltron/config.kcfg"
pids=""
cleanup() {
  end_started $(account_actors "$account")
  [ -e "$global.away" ] && mv "$global.away" "$global"
  return 0
}
trap cleanup EXIT

# The user's X server.
start_xvfb "$work" setpriv --reuid=$uid --regid=$gid --clear-groups

# The window with this title, once it is on the screen (a minute at most).
window() {
  tries=0
  while [ $tries -lt 120 ]; do
    id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1) || true
    [ -n "$id" ] && { echo "$id"; return 0; }
    tries=$((tries + 1))
    sleep 0.5
  done
  return 1
}
# Presses keys in a window, as a user at the keyboard does.
keys() {
  w=$1
  shift
  xdotool windowfocus --sync "$w" key --delay 30 "$@"
}
# Presses OK with Return until the window's program ends: a key sent while
# focus is still coming back from a closed dialog is lost, and a lost key
# must fail the test, not hang it.
press_ok() {
  tries=0
  while kill -0 "$2" 2>/dev/null; do
    [ $tries -lt 10 ] || return 1
    keys "$1" Return
    waited=0
    while kill -0 "$2" 2>/dev/null && [ $waited -lt 10 ]; do waited=$((waited + 1)); sleep 0.5; done
    tries=$((tries + 1))
  done
}
window_exists() {
  [ -n "$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1)" ]
}
# The account's kobalactor whose actor file name ends in $1.
actor_for() {
  tries=0
  while [ $tries -lt 120 ]; do
    for pid in $(account_actors "$account"); do
      tr '\0' '\n' < /proc/$pid/cmdline 2>/dev/null | tail -n +2 | grep -q "$1\$" && { echo "$pid"; return 0; }
    done
    tries=$((tries + 1))
    sleep 0.5
  done
  return 1
}
# Ends an actor and waits until it is gone.
stop() {
  for p in "$@"; do
    kill "$p" 2>/dev/null || true
    tries=0
    while kill -0 "$p" 2>/dev/null && [ $tries -lt 120 ]; do tries=$((tries + 1)); sleep 0.5; done
  done
  return 0
}
# The process is still there once its window has shown (an actor that
# failed to read a file ends at once, unattended).
expect_running() {
  window "$2" > /dev/null || fail "no window $2 for $3"
  kill -0 "$1" 2>/dev/null || fail "$3 ended"
}

# 1. OK in the configuration window writes the user's own file, says so once,
#    and leaves the install as it was.
before=$(cat "$global")
as_user KOBALTRON_NO_DIALOGS=1 kobalconfig 2> "$work/config.err" &
config=$!
w=$(window "Kobaltron Configuration") || fail "no configuration window: $(cat "$work/config.err")"
press_ok "$w" $config || fail "OK did not end kobalconfig: $(cat "$work/config.err")"
wait $config || fail "kobalconfig's OK failed: $(cat "$work/config.err")"
[ -s "$own" ] && grep -q '^\[end\]' "$own" || fail "OK wrote no $own: $(cat "$work/config.err")"
grep -q "^!: You cannot change the settings of every user in /usr/lib/kobaltron. Your settings are saved in $own" \
  "$work/config.err" || fail "no notice of the user's own file: $(cat "$work/config.err")"
[ "$(cat "$global")" = "$before" ] || fail "the global settings changed"
echo "kobalconfig OK: wrote $own"

# An actor started afterwards reads the user's file: with the global one gone
# it could not start at all.
mv "$global" "$global.away"
(cd "$HOME" && as_user KOBALTRON_NO_DIALOGS=1 kobaltron /usr/lib/kobaltron/actors/kobi/kobi.kact) \
  2> "$work/actor.err" || fail "the launcher failed: $(cat "$work/actor.err")"
kobi=$(actor_for 'kobi/kobi.kact') || fail "no actor: $(cat "$work/actor.err")"
expect_running "$kobi" Kobi "the actor without the global settings"
mv "$global.away" "$global"
stop "$kobi"
echo "actor $kobi ran on the user's own settings"

# 2. The login entry, chosen in the window, starts both sample actors when its
#    command runs from the home folder.
as_user KOBALTRON_NO_DIALOGS=1 kobalconfig 2> "$work/login.err" &
config=$!
w=$(window "Kobaltron Configuration") || fail "no configuration window"
# From the first text box, thirteen Tabs reach "Start these actors when I log in".
keys "$w" Tab Tab Tab Tab Tab Tab Tab Tab Tab Tab Tab Tab Tab space
d=$(window "Start these actors when I log in") || fail "no login choice: $(cat "$work/login.err")"
xdotool windowfocus --sync "$d" type --delay 20 /usr/share/kobaltron/actors/samples.kpls
xdotool key Return
# The choice is saved with the other settings by OK.
tries=0
while window_exists "Start these actors when I log in"; do
  tries=$((tries + 1))
  [ $tries -le 120 ] || fail "the login choice stays open: $(cat "$work/login.err")"
  sleep 0.5
done
press_ok "$w" $config || fail "OK did not end kobalconfig: $(cat "$work/login.err")"
wait $config || fail "kobalconfig's OK failed: $(cat "$work/login.err")"
entry="$HOME/.config/autostart/kobaltron-actors.desktop"
[ -s "$entry" ] || fail "no login entry: $(cat "$work/login.err")"
grep -qx 'Path=/usr/lib/kobaltron' "$entry" || fail "the login entry sets no working directory: $(cat "$entry")"
exec_line=$(sed -n 's/^Exec=//p' "$entry")
(cd "$HOME" && eval "set -- $exec_line" && as_user KOBALTRON_NO_DIALOGS=1 "$@") 2> "$work/autostart.err" \
  || fail "the login command failed: $(cat "$work/autostart.err")"
kobi=$(actor_for 'kobi.kact') || fail "the login command started no Kobi: $(cat "$work/autostart.err")"
tron=$(actor_for 'tron.kact') || fail "the login command started no Tron: $(cat "$work/autostart.err")"
pids="$kobi $tron"
expect_running "$kobi" Kobi "Kobi started at login"
expect_running "$tron" Tron "Tron started at login"
echo "login command from $HOME: actors $kobi and $tron"
stop $pids

# 3. A sample actor copied into the home under another name, its actorpath
#    still relative, opens from the file manager as it is.
zed="$HOME/Downloads/zed"
mkdir -p "$zed"
cp -r /usr/share/kobaltron/actors/kobi/. "$zed/"
sed -e 's/^actorname=.*/actorname=Zed/' -e 's/^actorpath=.*/actorpath=actors\\zed\\/' "$zed/kobi.kact" > "$zed/zed.kact"
rm "$zed/kobi.kact"
chown -R $uid:$gid "$HOME/Downloads"
grep -qx 'actorpath=actors\\zed\\' "$zed/zed.kact" || fail "the copy's actorpath: $(grep actorpath "$zed/zed.kact")"
[ ! -e /usr/lib/kobaltron/actors/zed ] || fail "the install holds a zed"
as_user KOBALTRON_NO_DIALOGS=1 gio open "$zed/zed.kact" 2> "$work/open.err" || fail "gio open: $(cat "$work/open.err")"
z=$(actor_for 'zed/zed.kact') || fail "gio open started no actor: $(cat "$work/open.err")"
pids="$pids $z"
expect_running "$z" Zed "the copied actor"
echo "gio open: the copied actor runs as process $z"
stop "$z"

# 4. What the programs wrote for the user goes with kobalconfig --uninstall.
as_user KOBALTRON_NO_DIALOGS=1 QT_QPA_PLATFORM=offscreen kobalconfig INSTALL > /dev/null 2>&1 \
  || fail "kobalconfig INSTALL failed"
as_user KOBALTRON_NO_DIALOGS=1 QT_QPA_PLATFORM=offscreen kobalconfig --uninstall > "$work/uninstall.out" 2>&1 \
  || fail "kobalconfig --uninstall failed: $(cat "$work/uninstall.out")"
left=$(find "$HOME/.config" "$HOME/.local/share" -iname '*kobal*' 2>/dev/null; \
       grep -rlis kobal "$HOME/.config" "$HOME/.local/share" 2>/dev/null || true)
[ -z "$left" ] || fail "left after --uninstall: $left ($(cat "$work/uninstall.out"))"
# No menu entry, the user's or the package's, names a program or folder that is not there.
for f in $(find "$HOME/.local/share/applications" /usr/share/applications/org.kobaltron.*.desktop \
             -name '*.desktop' 2>/dev/null); do
  program=$(sed -n 's/^Exec=//p' "$f" | head -1)
  [ -n "$program" ] || continue
  eval "set -- $program" 2>/dev/null || continue
  case "$1" in
    /*) [ -e "$1" ] || fail "$f runs $1, which is not there" ;;
    *) command -v "$1" > /dev/null || fail "$f runs $1, which is not there" ;;
  esac
  dir=$(sed -n 's/^Path=//p' "$f" | head -1)
  [ -z "$dir" ] || [ -d "$dir" ] || fail "$f works in $dir, which is not there"
done
echo "--uninstall: nothing of Kobaltron left in the home, no entry pointing nowhere"
