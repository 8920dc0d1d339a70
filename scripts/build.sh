#!/usr/bin/env bash
# Configures and builds Kestrion into build/ (or $KESTRION_BUILD_DIR).
# Warnings are errors in CI (CI=true) and wherever KESTRION_WERROR=ON; a developer's own build only
# shows them. Further cmake options can follow in $KESTRION_CMAKE_OPTIONS (scripts/sanitize.sh uses it).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${KESTRION_BUILD_DIR:-$top/build}
werror=${KESTRION_WERROR:-OFF}
if [ "${CI:-}" = "true" ]; then
  werror=ON
fi
# shellcheck disable=SC2086 # the options are meant to split into words
cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTRION_WERROR="$werror" \
  ${KESTRION_CMAKE_OPTIONS:-} >/dev/null
cmake --build "$build" -j"$(nproc)"
