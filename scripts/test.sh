#!/usr/bin/env bash
# Installs what is missing, builds everything, checks formatting and runs every test.
# Network tests build their own namespaces and need root (CI runs as root).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${KESTRION_BUILD_DIR:-$top/build}
"$top/scripts/setup.sh"
"$top/scripts/build.sh"
cmake --build "$build" --target format-check
cd "$build"
ctest --output-on-failure -j"$(nproc)" "$@"
