#!/bin/sh
# Makes the product files that the file associations and Start-menu
# shortcuts point to: the actor icon, the playlist icon and the help text.
# Usage: make_files.sh <resource dir>
set -eu
out=${1:?usage: make_files.sh <resource dir>}
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$out"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# Actor icon: a cobalt-blue round figure with two eyes and a smile on a
# lighter ring, drawn at 48 px and shrunk for the smaller sizes.
convert -size 48x48 xc:none \
  -fill '#1c3f94' -stroke '#7fb2ff' -strokewidth 3 -draw 'circle 24,24 24,3' \
  -stroke none -fill white -draw 'ellipse 17,20 5,6 0,360' -draw 'ellipse 31,20 5,6 0,360' \
  -fill '#101820' -draw 'circle 18,21 18,18' -draw 'circle 32,21 32,18' \
  -fill none -stroke '#ffd23f' -strokewidth 3 -draw 'ellipse 24,28 9,7 25,155' \
  "$tmp/actor48.png"

# Playlist icon: a sheet with lines and a small blue figure in its corner.
convert -size 48x48 xc:none \
  -fill '#f4f1e6' -stroke '#4a4a4a' -strokewidth 2 -draw 'roundrectangle 6,3 38,44 3,3' \
  -stroke '#4a6fd0' -strokewidth 3 -draw 'line 11,12 33,12' -draw 'line 11,20 33,20' -draw 'line 11,28 25,28' \
  -stroke '#7fb2ff' -strokewidth 2 -fill '#1c3f94' -draw 'circle 36,36 36,27' \
  -stroke none -fill white -draw 'circle 33,35 33,33' -draw 'circle 39,35 39,33' \
  "$tmp/list48.png"

for name in actor list; do
  convert "$tmp/${name}48.png" -resize 32x32 "$tmp/${name}32.png"
  convert "$tmp/${name}48.png" -resize 16x16 "$tmp/${name}16.png"
done
convert "$tmp/actor16.png" "$tmp/actor32.png" "$tmp/actor48.png" "$out/KobalTronIcon.ico"
convert "$tmp/list16.png" "$tmp/list32.png" "$tmp/list48.png" "$out/icon_playlist.ico"

# The help text is kept with CRLF line ends, as the product's other texts.
sed 's/$/\r/' "$here/help.txt.in" > "$out/help.txt"
