#!/bin/sh
# Draws the install medium's own pictures and text into the folder given
# (the medium's Install folder):
#   Title.jpg  281 x 49, the window's title strip (4215 x 735 twips at 96 DPI)
#   Splash.jpg 129 x 129, the picture beside the text (1935 twips square)
#   Info.txt   the lines shown beside the picture (CRLF)
set -eu
out=${1:?usage: make_art.sh <Install folder>}
mkdir -p "$out"
font=DejaVu-Sans-Bold

convert -size 281x49 gradient:'#0b1430'-'#2f4fb8' \
  -fill '#f5d76e' -draw 'circle 24,24 24,8' \
  -fill '#0b1430' -draw 'circle 19,21 19,18' -draw 'circle 29,21 29,18' \
  -font "$font" -pointsize 24 -fill '#9fc3ff' -annotate +50+33 'KOBALTRON' \
  -pointsize 12 -fill '#f5d76e' -annotate +222+33 'setup' \
  -quality 90 "$out/Title.jpg"

# Three actors on a hill under a night sky.
convert -size 129x129 xc:'#0b1430' \
  -fill '#f5d76e' -draw 'circle 100,24 100,14' \
  -fill '#0b1430' -draw 'circle 106,20 106,12' \
  -fill '#ffffff' -draw 'point 20,15' -draw 'point 48,30' -draw 'point 70,10' -draw 'point 12,48' \
  -fill '#1f6b3a' -draw 'ellipse 64,135 90,40 180,360' \
  -fill '#d9534f' -draw 'roundrectangle 18,74 42,104 6,6' \
  -fill '#2f4fb8' -draw 'roundrectangle 52,62 78,98 6,6' \
  -fill '#f0ad4e' -draw 'roundrectangle 88,76 110,104 6,6' \
  -fill white -draw 'circle 26,84 26,81' -draw 'circle 35,84 35,81' \
  -draw 'circle 60,72 60,69' -draw 'circle 70,72 70,69' \
  -draw 'circle 95,86 95,83' -draw 'circle 103,86 103,83' \
  -fill black -draw 'circle 26,85 26,84' -draw 'circle 35,85 35,84' \
  -draw 'circle 60,73 60,72' -draw 'circle 70,73 70,72' \
  -draw 'circle 95,87 95,86' -draw 'circle 103,87 103,86' \
  -quality 90 "$out/Splash.jpg"

printf '%s\r\n' \
  "Kobaltron puts little actors on your desktop." \
  "They walk, climb, drop and play, answer your" \
  "clicks, and fall asleep when left alone." \
  "" \
  "Check the destination folder below, then" \
  "press Install." > "$out/Info.txt"
