#!/usr/bin/env bash
# Installs what is missing, builds everything with warnings as errors, checks formatting, runs every
# test and clang-tidy (scripts/tidy.sh); then builds and runs the whole suite again under
# AddressSanitizer and UndefinedBehaviorSanitizer (build-asan/, scripts/sanitize.sh).
# KESTRION_SKIP_TIDY=1 and KESTRION_SKIP_SANITIZE=1 leave those out (a quick local run).
# Arguments go to both ctest runs.
# Network tests build their own namespaces and need root (CI runs as root).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${KESTRION_BUILD_DIR:-$top/build}
"$top/scripts/setup.sh"
KESTRION_WERROR=ON "$top/scripts/build.sh"
cmake --build "$build" --target format-check
(cd "$build" && ctest --output-on-failure -j"$(nproc)" "$@")
if [ "${KESTRION_SKIP_TIDY:-0}" != "1" ]; then
  KESTRION_BUILD_DIR=$build "$top/scripts/tidy.sh"
fi
if [ "${KESTRION_SKIP_SANITIZE:-0}" != "1" ]; then
  "$top/scripts/sanitize.sh" "$@"
fi
