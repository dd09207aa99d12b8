# Set-up and checks shared by the desktop tests (sourced, POSIX sh).

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

need_tools() {
  for tool in "$@"; do
    command -v "$tool" > /dev/null || fail "$tool is missing (scripts/deps installs it)"
  done
}

# The Debian package of build directory $1, made in $2/deb: its path in $deb.
build_package() {
  cpack --config "$1/CPackConfig.cmake" -G DEB -B "$2/deb" > "$2/cpack.log" 2>&1 \
    || fail "cpack failed: $(tail -20 "$2/cpack.log")"
  deb=$(ls "$2"/deb/kobaltron_*.deb)
}

# $deb's files in $1/root, its maintainer scripts in $1/control.
unpack_package() {
  mkdir -p "$1/root" "$1/control"
  dpkg-deb -x "$deb" "$1/root"
  dpkg-deb -e "$deb" "$1/control"
}

# Runs the script again (its path and arguments after $1) in a private mount
# namespace with KOBAL_IN_ROOT=1 and KOBAL_WORK=$1, and ends with its status.
# Where the machine refuses such a namespace the package cannot be run in
# place: the test is skipped.
rerun_in_private_namespace() {
  if ! unshare -m --propagation private true 2>/dev/null; then
    echo "SKIP: no private mount namespace here (needs root or user namespaces)"
    exit 77
  fi
  into=$1
  shift
  KOBAL_IN_ROOT=1 KOBAL_WORK="$into" unshare -m --propagation private sh "$@"
  exit $?
}

# Inside the namespace: the machine's /usr with the package's files
# ($1/root/usr) on top; writes go to a layer that ends with the namespace.
mount_package_over_usr() {
  mkdir -p "$1/layer"
  mount -t tmpfs none "$1/layer"
  mkdir -p "$1/layer/upper" "$1/layer/work"
  mount -t overlay overlay \
    -o "lowerdir=$1/root/usr:/usr,upperdir=$1/layer/upper,workdir=$1/layer/work" /usr
}

# Ends the processes named in $pids and in the arguments, and our X server.
end_started() {
  for p in ${pids:-} "$@"; do kill "$p" 2>/dev/null || true; done
  [ -z "${xvfb_pid:-}" ] || kill "$xvfb_pid" 2>/dev/null || true
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

# Our own X server, so that no other test's windows or actors are counted;
# its display number goes to $1/display. Words after $1 run it (as another
# user, say): a command, not a shell function, so that $xvfb_pid is the
# server itself.
start_xvfb() {
  xvfb_dir=$1
  shift
  "$@" Xvfb -displayfd 3 -screen 0 1280x1024x24 -noreset -nolisten tcp 3> "$xvfb_dir/display" > /dev/null 2>&1 &
  xvfb_pid=$!
  tries=0
  while [ ! -s "$xvfb_dir/display" ]; do
    tries=$((tries + 1))
    [ $tries -le 100 ] || fail "Xvfb did not start"
    sleep 0.2
  done
  export DISPLAY=":$(cat "$xvfb_dir/display")"
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
