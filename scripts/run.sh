#!/usr/bin/env bash
# Installs what is missing, builds Kestrion, registers its Resolver library and starts it.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${KESTRION_BUILD_DIR:-$top/build}
"$top/scripts/setup.sh"
"$top/scripts/build.sh"
# Register the freshly built Resolver for this user, as a registration tool would.
"$build/bin/kregsvr" "$build/bin/libResolver.so"
exec "$build/bin/kestrion" "$@"
