# shellcheck shell=bash disable=SC2034
# Settings and helpers shared by the scripts in this folder; sourced, not run.
#
# Environment: UPD_JOBS        parallel compile and test jobs (default 2)
#              UPD_BUILD_ROOT  where the build directories go (default build/)
#              UPD_WERROR      ON: warnings fail the build (scripts/test sets it);
#                              unset, a build directory keeps its setting (OFF
#                              in a new one)

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD_ROOT=${UPD_BUILD_ROOT:-$ROOT/build}
JOBS=${UPD_JOBS:-2}

# The Windows cross build's tool chain.
# Where scripts/install-httplib-header puts cpp-httplib's header-only form, which
# the Windows build of update-station compiles (cmake/Httplib.cmake looks there).
HTTPLIB_HEADER_DIR=/usr/local/share/firmware-updater/third_party/cpp-httplib
WINDOWS=(-DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64.cmake")

# The release builds: scripts/package makes the packages of them, and the release
# stages of scripts/test run their tests, so the tests run the programs that ship.
# The Windows build takes the sample update file from the Linux one, which makes
# it with its own tools.
RELEASE_OPTIONS=(-DCMAKE_BUILD_TYPE=Release)
WIN_RELEASE_OPTIONS=(-DCMAKE_BUILD_TYPE=Release "${WINDOWS[@]}"
  -DUPD_SAMPLE_FILE="$BUILD_ROOT/release/samples/sample.upd")

# The device the sample update file is made for: two firmware targets and the
# demo chip behind a JTAG port.
SAMPLE_DEVICE=(--target 01:firmware --target 02:firmware --target 03:jtag:demo)

# as_root <command...>: runs the command as root, through sudo when not root.
as_root() {
  if [[ $(id -u) -eq 0 ]]; then
    "$@"
  elif command -v sudo >/dev/null; then
    sudo "$@"
  else
    echo "${0##*/}: must run as root or with sudo available" >&2
    exit 1
  fi
}

# apt-get without questions, waiting for another package manager run instead of
# failing on its lock.
APT_GET=(env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 -q)

# configure_and_build <build dir> [cmake arguments...]
configure_and_build() {
  local dir=$1
  shift
  cmake -S "$ROOT" -B "$dir" -G Ninja ${UPD_WERROR:+"-DUPD_WERROR=$UPD_WERROR"} "$@"
  cmake --build "$dir" -j "$JOBS"
}

# update_sample_device <folder with devsim and update-cli> <update file> [devsim options...]
# Starts devsim as the sample file's device on a pseudo-terminal, for one update,
# and updates it with update-cli from the current folder (where the JTAG target's
# debug log, xsvf_debug.txt, goes). Returns update-cli's exit status.
update_sample_device() {
  local bin=$1 file=$2
  shift 2
  # devsim prints the terminal's path on its first line and ends after one update.
  coproc DEVICE { exec "$bin/devsim" "${SAMPLE_DEVICE[@]}" --updates 1 --report /dev/null "$@"; }
  local device=$DEVICE_PID port status=0
  read -r port <&"${DEVICE[0]}"
  echo "Simulated device on $port"
  "$bin/update-cli" --port "$port" --file "$file" || status=$?
  kill "$device" 2>/dev/null || true
  wait "$device" 2>/dev/null || true
  return "$status"
}

# Points Wine at a prefix of the project's own under build/, created on first
# use, and makes Windows programs run without a display: console programs need
# none, and what shows windows (app/testing/gui_test.py) sets up a display and a
# prefix of its own.
use_wine_prefix() {
  export WINEPREFIX=$BUILD_ROOT/wine-prefix
  export WINEDEBUG=-all
  # No Mono or Gecko: nothing of ours needs them, and Wine would offer to
  # download them.
  export WINEDLLOVERRIDES="mscoree=;mshtml="
  unset DISPLAY
  if [[ ! -f $WINEPREFIX/system.reg ]]; then
    echo "Creating the Wine prefix $WINEPREFIX"
    wineboot --init
    wineserver --wait
  fi
  # One server for the whole run, which stays when no Windows program is running:
  # by default it ends a few seconds after the last one, and a program starting
  # just then loses it. It is running already when this prefix is in use (exit 2).
  wineserver --persistent 2>/dev/null || true
}

# Ends the Wine server of our prefix and every Windows program still running in it.
stop_wine() {
  wineserver --kill || true
}
