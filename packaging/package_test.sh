#!/bin/sh
# Builds the Debian package, checks it with lintian, unpacks it into a fresh
# root and runs it from there as if installed: the root's /usr is laid over
# the machine's in a private mount namespace (nothing of the machine is
# changed), the package's own postinst runs, and then the desktop's tools
# and the installed programs are asked what a user would ask.
# Usage: package_test.sh <build dir>
set -eu
build=$(cd "${1:?usage: package_test.sh <build dir>}" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
. "$here/desktop_checks.sh"

if [ "${KOBAL_IN_ROOT:-}" != 1 ]; then
  need_tools cpack dpkg-deb lintian unshare xdg-mime gio mimetype Xvfb xdotool
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT

  build_package "$build" "$work"
  echo "package: $(basename "$deb")"

  # Dependencies are computed from the programs, not written by hand.
  depends=$(dpkg-deb -f "$deb" Depends)
  echo "Depends: $depends"
  for lib in libqt6core6 libqt6widgets6 libpulse0 libsndfile1 libc6 libfile-mimeinfo-perl; do
    echo "$depends" | grep -q "$lib" || fail "Depends lacks $lib"
  done

  lintian --fail-on error,warning "$deb" > "$work/lintian.log" 2>&1 || fail "lintian: $(cat "$work/lintian.log")"
  grep -E '^[EW]: ' "$work/lintian.log" && fail "lintian found errors or warnings"
  echo "lintian: no errors, no warnings"
  # The pedantic notes are shown, not failed on; hardening is checked below.
  lintian --pedantic --display-info "$deb" 2>&1 | sed 's/^/lintian --pedantic: /' || true

  # Built hardened: relocations read-only and bound at start, a stack
  # protector, and fortified calls.
  mkdir -p "$work/unpacked"
  dpkg-deb -x "$deb" "$work/unpacked"
  fortified=""
  for program in "$work"/unpacked/usr/lib/kobaltron/resource/*; do
    [ -f "$program" ] && [ -x "$program" ] || continue
    name=$(basename "$program")
    readelf -lW "$program" | grep -q GNU_RELRO || fail "$name: no RELRO"
    readelf -dW "$program" | grep -Eq 'BIND_NOW|FLAGS_1.*NOW' || fail "$name: not bound at start (no -z now)"
    readelf --dyn-syms -W "$program" | grep -q __stack_chk_fail || fail "$name: no stack protector"
    readelf --dyn-syms -W "$program" | grep -Eq '__[a-z_]+_chk(@|$| )' && fortified="$fortified $name"
  done
  [ -n "$fortified" ] || fail "no program calls a fortified function (-D_FORTIFY_SOURCE)"
  echo "hardening: RELRO, BIND_NOW and stack protector everywhere; fortified calls in$fortified"

  unpack_package "$work"
  [ -x "$work/root/usr/lib/kobaltron/resource/kobalactor" ] || fail "no kobalactor in the package"
  rerun_in_private_namespace "$work" "$0" "$build"
fi

# Inside the namespace: /usr is the machine's with the package's files on top.
work=$KOBAL_WORK
mount_package_over_usr "$work"
[ -x /usr/bin/kobaltron ] || fail "/usr/bin/kobaltron is not the package's launcher"

pids=""
trap end_started EXIT

"$work/control/postinst" configure || fail "postinst failed"
[ -s /usr/share/mime/mime.cache ] && grep -q application/x-kactor /usr/share/mime/types \
  || fail "postinst did not update the MIME database"
grep -q "application/x-kactor=org.kobaltron.Kobaltron.desktop" /usr/share/applications/mimeinfo.cache \
  || fail "postinst did not update the desktop database"

private_account "$work"
expect_file_types "$work"
expect_default application/x-kactor org.kobaltron.Kobaltron.desktop
expect_default application/x-kplaylist org.kobaltron.Kobaltron.desktop

# The menu's sample entry: the launcher through its link in bin, in the
# install directory, on the sample playlist, with no per-user install path.
[ ! -e "$HOME/.config/kobaltron" ] || fail "the account is not fresh"
start_xvfb "$work"
gio launch /usr/share/applications/org.kobaltron.Kobaltron.Samples.desktop 2> "$work/launch.err" \
  || fail "the sample entry did not start: $(cat "$work/launch.err")"
kobi=$(wait_for_actor "$work" 'actors\kobi\kobi.kact') || fail "no Kobi process: $(cat "$work/launch.err")"
tron=$(wait_for_actor "$work" 'actors\tron\tron.kact') || fail "no Tron process: $(cat "$work/launch.err")"
pids="$kobi $tron"
[ "$(readlink /proc/$kobi/exe)" = /usr/lib/kobaltron/resource/kobalactor ] \
  || fail "Kobi runs $(readlink /proc/$kobi/exe), not the package's kobalactor"
tries=0
until [ "$(xdotool search --onlyvisible --name '^(Kobi|Tron)$' 2>/dev/null | wc -l)" -ge 2 ]; do
  tries=$((tries + 1))
  [ $tries -le 120 ] || fail "the sample actors' windows did not appear"
  sleep 0.5
done
echo "sample playlist: actors $kobi and $tron are on the screen"
if [ -n "${KOBAL_SHOTS:-}" ]; then
  sleep 4  # long enough for the two to walk apart
  mkdir -p "$KOBAL_SHOTS" && import -window root "$KOBAL_SHOTS/package-samples.png" 2>/dev/null || true
fi

# A file manager's open: the launcher's desktop entry, then an actor.
cp /usr/share/kobaltron/actors/kobi/kobi.kact "$work/files/Mine.kact"
gio open "$work/files/Mine.kact" || fail "gio open failed"
mine=$(wait_for_actor "$work" "$work/files/Mine.kact") || fail "gio open started no actor"
pids="$pids $mine"
echo "gio open started actor process $mine"

# "Create shortcuts" beside the package's own entries, in a second fresh
# home: no second "Configure Kobaltron", a help entry in the product's
# categories; then --uninstall takes back all that the programs wrote for
# the user and leaves nothing that names the product.
(
  export HOME="$work/second"
  mkdir -p "$HOME"
  export KOBALTRON_NO_DIALOGS=1 QT_QPA_PLATFORM=offscreen
  apps="$HOME/.local/share/applications"
  kobalconfig INSTALL 2> "$work/shortcuts.err" || fail "kobalconfig INSTALL: $(cat "$work/shortcuts.err")"
  kobalconfig /usr/share/kobaltron/actors/kobi/kobi.kact 2>> "$work/shortcuts.err" || fail "kobalconfig FILE"
  [ -f "$apps/Kobaltron/Congigure Kobaltron.url" ] || fail "no shortcut file: $(cat "$work/shortcuts.err")"
  [ ! -e "$apps/Kobaltron/Congigure Kobaltron.desktop" ] \
    || fail "a second Configure Kobaltron entry beside the package's"
  grep -q '^Categories=Game;' "$apps/Kobaltron/Help.desktop" || fail "the help entry lands under Other"
  grep -q '^Exec=/usr/lib/kobaltron/resource/kobaltron ' "$apps/Kobaltron/Actors/Kobi.desktop" \
    || fail "Kobi's entry does not open it with the launcher: $(grep Exec "$apps/Kobaltron/Actors/Kobi.desktop")"
  kobalconfig --uninstall 2> "$work/uninstall.err" || fail "kobalconfig --uninstall: $(cat "$work/uninstall.err")"
  grep -q "^!: Kobaltron's entries and settings of this user have been removed" "$work/uninstall.err" \
    || fail "kobalconfig --uninstall: $(cat "$work/uninstall.err")"
  left=$(find "$HOME/.config" "$HOME/.local/share" -type f -exec grep -l -i -e kobaltron -e kactor -e kplaylist {} + 2>/dev/null || true)
  [ -z "$left" ] || fail "left after --uninstall: $left"
  ! find "$HOME/.config" "$HOME/.local/share" | grep -i kobaltron || fail "folders left after --uninstall"
)
echo "shortcuts beside the package: no duplicate entry; --uninstall leaves nothing of the product"

# The per-user install path still wins over the installed directory.
mkdir -p "$work/elsewhere"
KOBALTRON_NO_DIALOGS=1 QT_QPA_PLATFORM=offscreen kobalconfig "!$work/elsewhere" 2>/dev/null \
  || fail "kobalconfig !DIR failed"
(cd /usr/lib/kobaltron && KOBALTRON_NO_DIALOGS=1 QT_QPA_PLATFORM=offscreen \
  kobaltron actors/samples.kpls) > /dev/null 2> "$work/setting.err" || true
grep -q "^!: Cannot find the application" "$work/setting.err" \
  || fail "the per-user setting was not used: $(cat "$work/setting.err")"
for p in $(account_actors "$work"); do
  case " $pids " in *" $p "*) ;; *) pids="$pids $p" ;; esac
done

# Removal: dpkg takes the files away, then postrm drops the types.
for p in $pids; do kill "$p" 2>/dev/null || true; done
rm -f /usr/share/mime/packages/kobaltron.xml /usr/share/applications/org.kobaltron.*.desktop
"$work/control/postrm" remove || fail "postrm failed"
got=$(xdg-mime query filetype "$work/files/full.kact")
[ "$got" != application/x-kactor ] || fail "after removal the actor type is still known"
! grep -q org.kobaltron /usr/share/applications/mimeinfo.cache || fail "after removal the desktop database still names the launcher"
echo "postrm: types and entries gone"
