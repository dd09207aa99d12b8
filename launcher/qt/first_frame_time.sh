#!/bin/sh
# Times one launch: from starting kobaltron until the last of its actors has
# shown its first frame (its window is mapped on the X server). Run it on a
# display, with showsplash 0 in the installed config.kcfg.
#   first_frame_time.sh KOBALTRON PLAYLIST COUNT [--keep]
# COUNT is the number of compatible actors in the playlist. The actors are
# ended afterwards unless --keep is given. Prints the time in milliseconds.
set -eu
launcher="$1"; playlist="$2"; count="$3"; keep="${4:-}"
: "${DISPLAY:?needs a display}"
instance=kobalactor

windows() { xdotool search --onlyvisible --classname "^$instance\$" 2>/dev/null | sort || true; }

before=$(windows)
start=$(date +%s%N)
"$launcher" "$playlist"
while :; do
  now=$(windows)
  new=$(printf '%s\n' "$now" | grep -vxF -e "$before" -e '' || true)
  [ -n "$new" ] && [ "$(printf '%s\n' "$new" | wc -l)" -ge "$count" ] && break
  if [ $(( ($(date +%s%N) - start) / 1000000 )) -gt 30000 ]; then
    echo "first_frame_time: only $(printf '%s' "$new" | grep -c . || true) of $count actor windows after 30 s" >&2
    exit 1
  fi
  sleep 0.005
done
end=$(date +%s%N)
echo "$(( (end - start) / 1000000 )) ms to the last of $count first frames"

if [ "$keep" != --keep ]; then
  for w in $new; do
    pid=$(xdotool getwindowpid "$w" 2>/dev/null || true)
    [ -n "$pid" ] && kill "$pid" 2>/dev/null || true
  done
fi
