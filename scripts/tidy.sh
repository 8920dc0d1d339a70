#!/usr/bin/env bash
# Runs clang-tidy 14 (.clang-tidy) over every source file of the project with the compile commands
# of build/ (or $KESTRION_BUILD_DIR), two files at a time; any finding fails the run.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${KESTRION_BUILD_DIR:-$top/build}
tidy=$(command -v clang-tidy-14 || command -v clang-tidy)
if [ ! -f "$build/compile_commands.json" ]; then
  echo "No $build/compile_commands.json: build first (scripts/build.sh)." >&2
  exit 1
fi
cd "$top"
git ls-files -- '*.cpp' ':!:tests/layering/*' |
  xargs -P "${KESTRION_TIDY_JOBS:-2}" -n 4 "$tidy" -p "$build" --quiet --warnings-as-errors='*'
