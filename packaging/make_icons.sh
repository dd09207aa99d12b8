#!/bin/sh
# Draws the application icon for the desktop's icon theme: the same round
# cobalt figure as resource/KobalTronIcon.ico, as an SVG and as PNGs drawn
# at each size (not scaled from one, so the small ones stay crisp).
# The file types get icons of their own, named after their mime types, so
# that file managers show actor files and playlists as the product's: the
# actor type the same figure, the playlist type a sheet of lines with a
# small figure in its corner (as resource/icon_playlist.ico).
# Usage: make_icons.sh <output dir>   (writes <size>/kobaltron.png, kobaltron.svg,
#        <size>/application-x-kactor.png, <size>/application-x-kplaylist.png and their .svg)
set -eu
out=${1:?usage: make_icons.sh <output dir>}
mkdir -p "$out"

# The figure on a 48-unit square: body circle, two eyes, pupils, a smile.
cat > "$out/kobaltron.svg" <<'EOF'
<?xml version="1.0" encoding="UTF-8"?>
<svg xmlns="http://www.w3.org/2000/svg" width="48" height="48" viewBox="0 0 48 48">
  <circle cx="24" cy="24" r="21" fill="#1c3f94" stroke="#7fb2ff" stroke-width="3"/>
  <ellipse cx="17" cy="20" rx="5" ry="6" fill="#ffffff"/>
  <ellipse cx="31" cy="20" rx="5" ry="6" fill="#ffffff"/>
  <circle cx="18" cy="21" r="3" fill="#101820"/>
  <circle cx="32" cy="21" r="3" fill="#101820"/>
  <path d="M 32.16 30.96 A 9 7 0 0 1 15.84 30.96" fill="none" stroke="#ffd23f"
        stroke-width="3" stroke-linecap="round"/>
</svg>
EOF

cp "$out/kobaltron.svg" "$out/application-x-kactor.svg"
cat > "$out/application-x-kplaylist.svg" <<'EOF'
<?xml version="1.0" encoding="UTF-8"?>
<svg xmlns="http://www.w3.org/2000/svg" width="48" height="48" viewBox="0 0 48 48">
  <rect x="6" y="3" width="32" height="41" rx="3" fill="#f4f1e6" stroke="#4a4a4a" stroke-width="2"/>
  <path d="M 11 12 H 33 M 11 20 H 33 M 11 28 H 25" stroke="#4a6fd0" stroke-width="3"/>
  <circle cx="36" cy="36" r="9" fill="#1c3f94" stroke="#7fb2ff" stroke-width="2"/>
  <circle cx="33" cy="35" r="2" fill="#ffffff"/>
  <circle cx="39" cy="35" r="2" fill="#ffffff"/>
</svg>
EOF

for size in 16 32 48 64 128 256; do
  mkdir -p "$out/$size"
  # Every coordinate of the 48-unit drawing times size/48, drawn 4x larger
  # and shrunk once for smooth edges.
  s=$(awk "BEGIN { print $size * 4 / 48 }")
  p() { awk "BEGIN { printf \"%.2f\", $1 * $s }"; }
  convert -size $((size * 4))x$((size * 4)) xc:none \
    -fill '#1c3f94' -stroke '#7fb2ff' -strokewidth "$(p 3)" \
      -draw "circle $(p 24),$(p 24) $(p 24),$(p 3)" \
    -stroke none -fill white \
      -draw "ellipse $(p 17),$(p 20) $(p 5),$(p 6) 0,360" \
      -draw "ellipse $(p 31),$(p 20) $(p 5),$(p 6) 0,360" \
    -fill '#101820' \
      -draw "circle $(p 18),$(p 21) $(p 18),$(p 18)" \
      -draw "circle $(p 32),$(p 21) $(p 32),$(p 18)" \
    -fill none -stroke '#ffd23f' -strokewidth "$(p 3)" \
      -draw "ellipse $(p 24),$(p 28) $(p 9),$(p 7) 25,155" \
    -resize ${size}x${size} -strip "PNG32:$out/$size/kobaltron.png"
  cp "$out/$size/kobaltron.png" "$out/$size/application-x-kactor.png"
  convert -size $((size * 4))x$((size * 4)) xc:none \
    -fill '#f4f1e6' -stroke '#4a4a4a' -strokewidth "$(p 2)" \
      -draw "roundrectangle $(p 6),$(p 3) $(p 38),$(p 44) $(p 3),$(p 3)" \
    -stroke '#4a6fd0' -strokewidth "$(p 3)" \
      -draw "line $(p 11),$(p 12) $(p 33),$(p 12)" -draw "line $(p 11),$(p 20) $(p 33),$(p 20)" \
      -draw "line $(p 11),$(p 28) $(p 25),$(p 28)" \
    -stroke '#7fb2ff' -strokewidth "$(p 2)" -fill '#1c3f94' \
      -draw "circle $(p 36),$(p 36) $(p 36),$(p 27)" \
    -stroke none -fill white \
      -draw "circle $(p 33),$(p 35) $(p 33),$(p 33)" -draw "circle $(p 39),$(p 35) $(p 39),$(p 33)" \
    -resize ${size}x${size} -strip "PNG32:$out/$size/application-x-kplaylist.png"
done
