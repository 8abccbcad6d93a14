#!/bin/sh
# Runs help2man with the page dated by the commit the sources are at, unless
# SOURCE_DATE_EPOCH names the date, so that the same commit gives the same page on
# any day (the packages are reproducible). Outside a git checkout: today.
# Usage: dated_help2man.sh SOURCE_DIR HELP2MAN [ARGUMENT...]
source_dir=$1
shift
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  commit_time=$(git -C "$source_dir" log -1 --format=%ct 2>/dev/null)
  if [ -n "$commit_time" ]; then
    SOURCE_DATE_EPOCH=$commit_time
    export SOURCE_DATE_EPOCH
  fi
fi
exec "$@"
