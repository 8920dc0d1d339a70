#!/usr/bin/env bash
# Installs what is missing, builds everything with warnings as errors, checks formatting, runs every
# test and clang-tidy (scripts/tidy.sh); then runs the whole suite again under AddressSanitizer and
# UndefinedBehaviorSanitizer (build-asan/, scripts/sanitize.sh), built while the first run goes on.
# KESTRION_SKIP_TIDY=1 and KESTRION_SKIP_SANITIZE=1 leave those out (a quick local run).
# Arguments go to both ctest runs.
# Network tests build their own namespaces and need root (CI runs as root).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${KESTRION_BUILD_DIR:-$top/build}
# Each step says when it starts, so that a slow run shows where its time went.
started=$(date +%s)
step() { echo "== $(($(date +%s) - started)) s: $*"; }
step "set-up"
"$top/scripts/setup.sh"
# clang-tidy (its own configure-only folder, build-tidy/) and the sanitizer build (build-asan/) need
# nothing of build/, so they start at once, at the lowest priority: they take only the time that the
# build leaves idle and the suite leaves waiting (time-outs, timers, name look-ups).
logs=$(mktemp -d)
jobs_started=()
killtree() {
  local child
  for child in $(pgrep -P "$1" || true); do killtree "$child"; done
  kill "$1" 2>/dev/null || true
}
cleanup() {
  for pid in "${jobs_started[@]}"; do killtree "$pid"; done
}
trap cleanup EXIT
tidy_pid= asan_pid=
if [ "${KESTRION_SKIP_TIDY:-0}" != "1" ]; then
  nice -n 19 "$top/scripts/tidy.sh" >"$logs/tidy.log" 2>&1 &
  tidy_pid=$!
  jobs_started+=("$tidy_pid")
fi
if [ "${KESTRION_SKIP_SANITIZE:-0}" != "1" ]; then
  KESTRION_SANITIZE_STEP=build nice -n 19 "$top/scripts/sanitize.sh" >"$logs/asan-build.log" 2>&1 &
  asan_pid=$!
  jobs_started+=("$asan_pid")
fi

step "build (clang-tidy and the sanitizer build beside it)"
KESTRION_WERROR=ON "$top/scripts/build.sh"
step "format check"
cmake --build "$build" --target format-check

status=0
step "tests (clang-tidy and the sanitizer build beside them)"
(cd "$build" && ctest --output-on-failure -j"$(nproc)" "$@") || status=1

if [ -n "$asan_pid" ]; then
  if wait "$asan_pid"; then
    step "tests under the sanitizers"
    KESTRION_SANITIZE_STEP=test "$top/scripts/sanitize.sh" "$@" || status=1
  else
    echo "The sanitizer build failed:" >&2
    tail -n 100 "$logs/asan-build.log" >&2
    status=1
  fi
fi
if [ -n "$tidy_pid" ]; then
  step "waiting for clang-tidy"
  if wait "$tidy_pid"; then
    echo "clang-tidy: no findings"
  else
    echo "clang-tidy found something:" >&2
    cat "$logs/tidy.log" >&2
    status=1
  fi
fi
jobs_started=()
rm -rf "$logs"
step "done (status $status)"
exit $status
