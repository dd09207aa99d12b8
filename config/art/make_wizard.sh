#!/bin/sh
# Draws the calibration wizard's picture: a night-blue square with a
# pointed hat, a wand and a few stars. 97 x 97 pixels fill the dialog's
# picture box at 96 DPI.
set -eu
out="$1"
convert -size 97x97 gradient:'#2b3a86-#0f1636' \
  -fill '#f5d76e' -stroke none \
  -draw 'polygon 14,14 17,20 24,21 18,25 20,32 14,28 8,32 10,25 4,21 11,20' \
  -draw 'polygon 78,10 80,14 84,15 81,18 82,22 78,20 74,22 75,18 72,15 76,14' \
  -draw 'circle 86,40 88,40' -draw 'circle 30,44 31,44' -draw 'circle 62,30 63,30' \
  -fill '#6a3fb5' -stroke '#2a1650' -strokewidth 2 \
  -draw 'polygon 48,8 30,76 66,76' \
  -fill '#8c5fd9' -stroke '#2a1650' \
  -draw 'ellipse 48,78 34,9 0,360' \
  -fill '#f5d76e' -stroke none \
  -draw 'polygon 44,40 46,45 51,45 47,48 49,53 44,50 39,53 41,48 37,45 42,45' \
  -stroke '#d9c08a' -strokewidth 4 -draw 'line 68,90 88,62' \
  -fill white -stroke none -draw 'circle 89,60 92,60' \
  "GIF:$out"
