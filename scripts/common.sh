# shellcheck shell=bash disable=SC2034
# Settings and helpers shared by the scripts in this folder; sourced, not run.
#
# Environment: UPD_JOBS        parallel compile and test jobs (default 2)
#              UPD_BUILD_ROOT  where the build directories go (default build/)
#              UPD_WERROR      ON: warnings fail the build (scripts/test sets it;
#                              default OFF)

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD_ROOT=${UPD_BUILD_ROOT:-$ROOT/build}
JOBS=${UPD_JOBS:-2}

# configure_and_build <build dir> [cmake arguments...]
configure_and_build() {
  local dir=$1
  shift
  cmake -S "$ROOT" -B "$dir" -G Ninja -DUPD_WERROR="${UPD_WERROR:-OFF}" "$@"
  cmake --build "$dir" -j "$JOBS"
}
