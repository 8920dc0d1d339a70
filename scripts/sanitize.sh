#!/usr/bin/env bash
# Builds the whole program and every test with AddressSanitizer and UndefinedBehaviorSanitizer into
# build-asan/ (or $KESTRION_ASAN_BUILD_DIR) and runs the whole suite there. Any report fails the run.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${KESTRION_ASAN_BUILD_DIR:-$top/build-asan}

# halt_on_error: the first report ends the test, so it cannot scroll by in a passing run.
# verify_asan_link_order=0: the start-up process tests preload startup_box_answerer into the real
#   program, which puts that library ahead of the ASan runtime; it intercepts nothing, so the order
#   does not matter for it.
# detect_stack_use_after_return stays off: it costs a fake stack per frame and the window tests
#   run deep Qt stacks.
export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1:strict_init_order=1:check_initialization_order=1:verify_asan_link_order=0"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
# The suppressions name leaks of the system libraries only, each with its reason.
export LSAN_OPTIONS="suppressions=$top/tests/sanitizers/lsan.supp:print_suppressions=0"

# The same options are set while building, because test discovery runs every test binary.
# KESTRION_SANITIZE_STEP=build or =test does only that half (scripts/test.sh builds while other work runs).
step=${KESTRION_SANITIZE_STEP:-all}
if [ "$step" != "test" ]; then
  KESTRION_BUILD_DIR=$build KESTRION_WERROR=ON KESTRION_CMAKE_OPTIONS="-DKESTRION_SANITIZE=ON -DKESTRION_BENCHMARKS=OFF -DCMAKE_UNITY_BUILD=ON -DCMAKE_UNITY_BUILD_BATCH_SIZE=8" \
    "$top/scripts/build.sh"
fi
if [ "$step" != "build" ]; then
  cd "$build"
  ctest --output-on-failure -j"$(nproc)" "$@"
fi
