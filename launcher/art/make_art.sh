#!/bin/sh
# Draws the launcher's product pictures into the directory given:
#   splash.gif   400 x 200, the splash window's background at 96 DPI: a
#                cobalt card with rounded corners and two round bites, the
#                cut-away parts pure green (the key colour); the left square
#                and the right-hand text area stay solid for the controls.
#   playlist.jpg 128 x 128, the picture a playlist shows in the splash: a
#                fan of three actor cards.
set -eu
out="$1"
mkdir -p "$out"
font=DejaVu-Sans-Bold
tmp="$out/splash.tmp.gif"

# Shapes without anti-aliasing, so that no blend of green survives at the
# edges; flat colours keep the picture well under the GIF palette size.
convert -size 400x200 xc:'#00ff00' +antialias \
  -fill '#1b2f7a' -draw 'roundrectangle 0,0 399,199 28,28' \
  -fill '#00ff00' -draw 'circle 300,0 300,16' -draw 'circle 104,199 104,215' \
  -fill '#2f4fb8' -draw 'roundrectangle 34,26 174,166 10,10' \
  -fill '#0b1430' -draw 'rectangle 40,32 167,159' \
  -fill '#f5d76e' \
  -draw 'polygon 384,98 387,105 394,106 388,110 390,117 384,113 378,117 380,110 374,106 381,105' \
  -draw 'circle 196,180 198,180' -draw 'circle 372,160 373,160' -draw 'circle 190,30 191,30' \
  -antialias -font "$font" -pointsize 26 -fill '#9fc3ff' -annotate +206+58 'KOBALTRON' \
  -dither None -colors 64 "GIF:$tmp"

# The key colour must have survived the palette exactly.
corner=$(convert "$tmp" -format '%[pixel:p{0,0}]' info:)
case "$corner" in
  "srgb(0,255,0)"|"lime"|"#00FF00") ;;
  *) echo "make_art: splash.gif corner is $corner, not pure green" >&2; exit 1 ;;
esac
mv "$tmp" "$out/splash.gif"

convert -size 128x128 xc:'#141c44' \
  -fill '#22306a' -draw 'circle 64,64 64,4' \
  -stroke '#0b1430' -strokewidth 2 \
  -fill '#d9534f' -draw 'roundrectangle 12,30 56,100 8,8' \
  -fill '#f0ad4e' -draw 'roundrectangle 42,20 86,90 8,8' \
  -fill '#5cb85c' -draw 'roundrectangle 72,34 116,104 8,8' \
  -stroke none -fill white \
  -draw 'circle 26,52 30,52' -draw 'circle 42,52 46,52' \
  -draw 'circle 56,42 60,42' -draw 'circle 72,42 76,42' \
  -draw 'circle 86,56 90,56' -draw 'circle 102,56 106,56' \
  -fill '#0b1430' \
  -draw 'circle 27,53 28,53' -draw 'circle 43,53 44,53' \
  -draw 'circle 57,43 58,43' -draw 'circle 73,43 74,43' \
  -draw 'circle 87,57 88,57' -draw 'circle 103,57 104,57' \
  -stroke '#0b1430' -strokewidth 2 -fill none \
  -draw 'arc 26,62 46,76 20,160' -draw 'arc 56,52 76,66 20,160' -draw 'arc 86,66 106,80 20,160' \
  -stroke none -fill '#9fc3ff' -draw 'rectangle 24,112 104,116' \
  -quality 90 "JPEG:$out/playlist.jpg"
