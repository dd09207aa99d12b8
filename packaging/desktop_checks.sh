# Checks shared by the desktop tests (sourced, POSIX sh).

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# A fresh account below $1: its own HOME, no XDG_* settings of the caller's,
# a private runtime directory (the actors' link lives there), and sample
# files: actor files and playlists with content and empty.
private_account() {
  mkdir -p "$1/home" "$1/run" "$1/files"
  chmod 700 "$1/run"
  export HOME="$1/home" XDG_RUNTIME_DIR="$1/run"
  unset XDG_DATA_HOME XDG_CONFIG_HOME XDG_DATA_DIRS XDG_CONFIG_DIRS XDG_CURRENT_DESKTOP \
        DESKTOP_SESSION GNOME_DESKTOP_SESSION_ID KDE_FULL_SESSION KOBALTRON_NO_DIALOGS
  printf 'version=Kobaltron V1.0\r\nactorname=Test\r\n[end]\r\n' > "$1/files/full.kact"
  : > "$1/files/empty.kact"
  printf 'actors\\kobi\\kobi.kact\r\n' > "$1/files/full.kpls"
  : > "$1/files/empty.kpls"
  printf 'version=Kobaltron V1.0\r\n' > "$1/files/SHOUT.KACT"
}

expect_type() {
  got=$(xdg-mime query filetype "$1" 2>&1) || true
  [ "$got" = "$2" ] || fail "xdg-mime query filetype $(basename "$1"): \"$got\", expected $2"
}

expect_file_types() {
  expect_type "$1/files/full.kact" application/x-kactor
  expect_type "$1/files/empty.kact" application/x-kactor
  expect_type "$1/files/SHOUT.KACT" application/x-kactor
  expect_type "$1/files/full.kpls" application/x-kplaylist
  expect_type "$1/files/empty.kpls" application/x-kplaylist
}

expect_default() {
  got=$(xdg-mime query default "$1" 2>&1) || true
  [ "$got" = "$2" ] || fail "xdg-mime query default $1: \"$got\", expected $2"
}

# Our own X server, so that no other test's windows or actors are counted.
start_xvfb() {
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -noreset -nolisten tcp 3> "$1/display" 2>/dev/null &
  xvfb_pid=$!
  tries=0
  while [ ! -s "$1/display" ]; do
    tries=$((tries + 1))
    [ $tries -le 100 ] || fail "Xvfb did not start"
    sleep 0.2
  done
  export DISPLAY=":$(cat "$1/display")"
}

# The pid of the kobalactor started with actor file $2 in this account
# (found by its runtime directory), waiting up to a minute on a loaded machine.
wait_for_actor() {
  tries=0
  while [ $tries -lt 120 ]; do
    for pid in $(pgrep -x kobalactor); do
      grep -qzx "XDG_RUNTIME_DIR=$1/run" /proc/$pid/environ 2>/dev/null || continue
      tr '\0' '\n' < /proc/$pid/cmdline 2>/dev/null | grep -qxF "$2" && { echo "$pid"; return 0; }
    done
    tries=$((tries + 1))
    sleep 0.5
  done
  return 1
}

# Every kobalactor of this account.
account_actors() {
  for pid in $(pgrep -x kobalactor); do
    grep -qzx "XDG_RUNTIME_DIR=$1/run" /proc/$pid/environ 2>/dev/null && echo "$pid"
  done
  return 0
}
