#!/bin/sh
# Plays the sample playlist through the real launcher on a 1920x1080 and a
# 2560x1440 screen at the same time. After the run every actor must still be
# alive, its window must have moved, and no error may have been reported.
# Usage: run_samples_test.sh STAGE_DIR [SECONDS]
set -u
STAGE=$(cd "$1" && pwd)
DURATION=${2:-60}
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

play() {  # $1: screen size
  dir="$WORK/$1"
  mkdir -p "$dir/config" "$dir/run"
  chmod 700 "$dir/run"
  # -noreset: the launcher is the last client when it ends; a resetting
  # server would refuse an actor connecting just then.
  XDG_CONFIG_HOME="$dir/config" XDG_RUNTIME_DIR="$dir/run" KOBALTRON_NO_DIALOGS=1 \
  xvfb-run -a -s "-screen 0 ${1}x24 -noreset" sh -c '
    cd "$1" || exit 2
    resource/kobaltron actors/samples.kpls || exit 3
    # Both windows and both processes; a loaded machine may take a while.
    tries=0
    while :; do
      sleep 1
      xdotool search --name "^(Kobi|Tron)$" > "$2/windows"
      # Every actor process of this screen, by its runtime directory.
      for pid in $(pgrep -x kobalactor); do
        grep -qzx "XDG_RUNTIME_DIR=$2/run" /proc/$pid/environ 2>/dev/null && echo $pid
      done > "$2/pids"
      tries=$((tries + 1))
      [ "$(wc -l < "$2/windows")" -ge 2 ] && [ "$(wc -l < "$2/pids")" -ge 2 ] && break
      [ $tries -ge 20 ] && break
    done
    echo "actors seen after $tries s: $(cat "$2/pids" | tr "\n" " ")"
    for id in $(cat "$2/windows"); do xwininfo -id $id | grep -E "Absolute upper-left [XY]"; done > "$2/before"
    sleep "$3"
    for id in $(cat "$2/windows"); do xwininfo -id $id | grep -E "Absolute upper-left [XY]"; done > "$2/after"
    alive=0
    for pid in $(cat "$2/pids"); do kill -0 $pid 2>/dev/null && alive=$((alive + 1)); done
    echo $alive > "$2/alive"
    for pid in $(cat "$2/pids"); do kill $pid 2>/dev/null; done
  ' sh "$STAGE" "$dir" "$DURATION" > "$dir/output" 2>&1
}

play 1920x1080 &
play 2560x1440 &
wait

status=0
for size in 1920x1080 2560x1440; do
  dir="$WORK/$size"
  alive=$(cat "$dir/alive" 2>/dev/null || echo 0)
  windows=$(wc -l < "$dir/windows" 2>/dev/null || echo 0)
  if [ "$alive" != 2 ] || [ "$windows" != 2 ]; then
    echo "$size: $alive actors alive, $windows windows (expected 2 and 2)"; status=1
    sed "s/^/$size: /" "$dir/output"
  fi
  if grep -E "Run-time error|: File not found|Error:" "$dir/output"; then
    echo "$size: an actor reported an error"; status=1
  fi
  if cmp -s "$dir/before" "$dir/after"; then
    echo "$size: no actor moved in $DURATION s"; status=1
  fi
  echo "$size: $alive actors played for $DURATION s"
done
exit $status
