#!/bin/sh
# After "kobalconfig INSTALL" in a fresh account, the desktop's own tools
# know actor files and playlists as ours and open them with the launcher.
# Usage: registration_test.sh <staged install directory>
set -eu
stage=$(cd "${1:?usage: registration_test.sh <stage dir>}" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
. "$here/desktop_checks.sh"

need_tools xdg-mime gio mimetype update-mime-database xvfb-run

work=$(mktemp -d)
pids=""
cleanup() {
  end_started
  rm -rf "$work"
}
trap cleanup EXIT
private_account "$work"

KOBALTRON_NO_DIALOGS=1 QT_QPA_PLATFORM=offscreen "$stage/resource/kobalconfig" INSTALL 2> "$work/config.err" \
  || fail "kobalconfig INSTALL failed: $(cat "$work/config.err")"
grep -q "^!: File Associations have been made!$" "$work/config.err" \
  || fail "no success message: $(cat "$work/config.err")"

expect_file_types "$work"
expect_default application/x-kactor kobaltron-kactor-open.desktop
expect_default application/x-kplaylist kobaltron-kplaylist-open.desktop

start_xvfb "$work"
# An actor file outside the install directory, as a user would have one.
cp "$stage/actors/kobi/kobi.kact" "$work/files/Mine.kact"
gio open "$work/files/Mine.kact" || fail "gio open failed"
actor=$(wait_for_actor "$work" "$work/files/Mine.kact") || fail "gio open started no actor for Mine.kact"
pids="$pids $actor"
echo "gio open started actor process $actor"
