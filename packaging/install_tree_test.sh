#!/bin/sh
# `cmake --install` below a prefix gives the layout a Linux user expects,
# with files the desktop's validators accept, and programs that find their
# install directory through the links in bin/.
# Usage: install_tree_test.sh <build dir>
set -eu
build=$(cd "${1:?usage: install_tree_test.sh <build dir>}" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
. "$here/desktop_checks.sh"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix="$work/prefix with blank"
cmake --install "$build" --prefix "$prefix" > "$work/install.log" 2>&1 \
  || fail "cmake --install failed: $(tail -20 "$work/install.log")"
cd "$prefix"

# The install directory is the staged tree, file for file.
(cd "$build/stage" && find . | sort) > "$work/staged"
(cd lib/kobaltron && find -L . | sort) > "$work/installed"
diff "$work/staged" "$work/installed" > "$work/diff" || fail "lib/kobaltron differs from the staged tree: $(cat "$work/diff")"

for program in kobaltron kobalconfig kobalcheck; do
  [ -L bin/$program ] || fail "bin/$program is not a link"
  [ "$(readlink -f bin/$program)" = "$(readlink -f lib/kobaltron/resource/$program)" ] \
    || fail "bin/$program does not lead to lib/kobaltron/resource/$program"
done
for size in 16 32 48 64 128 256; do
  icon=share/icons/hicolor/${size}x$size/apps/kobaltron.png
  [ "$(identify -format '%wx%h' "$icon" 2>/dev/null)" = "${size}x$size" ] || fail "$icon is not a ${size}x$size picture"
done
[ -s share/icons/hicolor/scalable/apps/kobaltron.svg ] || fail "no scalable icon"
# File managers show each file type with the icon its mime type names.
for type in application/x-kactor application/x-kplaylist; do
  name=$(echo "$type" | tr / -)
  grep -q "<icon name=\"$name\"/>" share/mime/packages/kobaltron.xml || fail "kobaltron.xml names no icon for $type"
  for size in 16 32 48 64 128 256; do
    icon=share/icons/hicolor/${size}x$size/mimetypes/$name.png
    [ "$(identify -format '%wx%h' "$icon" 2>/dev/null)" = "${size}x$size" ] || fail "$icon is not a ${size}x$size picture"
  done
  [ -s share/icons/hicolor/scalable/mimetypes/$name.svg ] || fail "no scalable icon for $type"
done
grep -q "<comment>Kobaltron actor</comment>" share/mime/packages/kobaltron.xml || fail "the actor type's name"
for page in kobaltron kobalactor kobalconfig kobalcheck; do
  warnings=$(zcat share/man/man1/$page.1.gz | LC_ALL=C.UTF-8 groff -man -Tutf8 -ww -z 2>&1) || fail "$page.1 does not format"
  [ -z "$warnings" ] || fail "$page.1: $warnings"
done

for entry in share/applications/*.desktop; do
  desktop-file-validate "$entry" || fail "desktop-file-validate $entry"
  # The program: the first word, or the first quoted string, unescaped.
  exec=$(sed -n -e 's/^Exec="\(\([^"\\]\|\\.\)*\)".*/\1/p' -e 't' -e 's/^Exec=\([^ ]*\).*/\1/p' "$entry" |
         sed -e 's/\\\\/\\/g' -e 's/\\\(.\)/\1/g')
  [ -x "$exec" ] || fail "$entry runs $exec, which is not installed"
done
[ "$(ls share/applications/*.desktop | wc -l)" -eq 3 ] || fail "expected three desktop entries"
appstreamcli validate --no-net share/metainfo/org.kobaltron.Kobaltron.metainfo.xml > "$work/appstream.log" 2>&1 \
  || fail "appstreamcli validate: $(cat "$work/appstream.log")"

# The MIME package is accepted and gives the same types as the per-user one.
cp -r share/mime "$work/mime"
XDG_DATA_DIRS="$work" update-mime-database "$work/mime" 2> "$work/mime.err" || fail "update-mime-database: $(cat "$work/mime.err")"
[ ! -s "$work/mime.err" ] || fail "update-mime-database: $(cat "$work/mime.err")"
grep -qx application/x-kactor "$work/mime/types" && grep -qx application/x-kplaylist "$work/mime/types" \
  || fail "kobaltron.xml lacks the two file types"

# With no per-user setting the checker, through its link, finds the
# installed product and the installed samples.
private_account "$work"
(cd "$prefix/lib/kobaltron" && "$prefix/bin/kobalcheck" actors/samples.kpls) > "$work/check.log" 2>&1 \
  || fail "installed kobalcheck on the samples: $(cat "$work/check.log")"
echo "install tree below $prefix is complete and valid"
