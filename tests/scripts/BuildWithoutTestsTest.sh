#!/usr/bin/env bash
# The build a user or the package makes: CMake's BUILD_TESTING=OFF configures without looking for
# GoogleTest, Google Benchmark or Qt Test and builds the program, the companion and the icon, and no
# test. A configure that cannot draw the icon stops and names the package to install.
# Arguments: the source folder, the parent build's folder (its compiler launcher is reused).
set -uo pipefail
src=$1
parent=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
    echo "FAIL: $*"
    exit 1
}

if cmake -S "$src" -B "$work/no-icon" -DBUILD_TESTING=OFF -DRSVG_CONVERT="$work/none/rsvg-convert" \
    >"$work/no-icon.log" 2>&1; then
    fail "configure went on without rsvg-convert"
fi
grep -q "librsvg2-bin" "$work/no-icon.log" || { cat "$work/no-icon.log"; fail "the message names no package"; }

# Without optimisation and debug information: the test is about what is built, and ccache (which the
# project's configure uses when it is there) keeps a second run short.
launcher=$(sed -n 's/^CMAKE_CXX_COMPILER_LAUNCHER:[A-Z]*=//p' "$parent/CMakeCache.txt")
if ! cmake -S "$src" -B "$work/build" -DBUILD_TESTING=OFF -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG=-O0 \
    -DKESTRION_WERROR=ON ${launcher:+-DCMAKE_CXX_COMPILER_LAUNCHER="$launcher"} >"$work/configure.log" 2>&1; then
    cat "$work/configure.log"
    fail "configure with BUILD_TESTING=OFF"
fi
for package in GTest_DIR Qt6Test_DIR benchmark_DIR; do
    if grep -q "^$package:" "$work/build/CMakeCache.txt"; then
        fail "BUILD_TESTING=OFF still looks for ${package%_DIR}"
    fi
done
if ! CCACHE_BASEDIR="$work" cmake --build "$work/build" -j2 >"$work/build.log" 2>&1; then
    tail -40 "$work/build.log"
    fail "build with BUILD_TESTING=OFF"
fi
for made in bin/kestrion bin/kestrion-cli bin/libResolver.so bin/kregsvr bin/KRdb.mdb bin/Kestrion.html \
    packaging/kestrion.png; do
    [ -e "$work/build/$made" ] || fail "$made was not built"
done
if ls "$work/build/bin" | grep -q '_tests$\|_bench$'; then
    fail "tests or benchmarks were built: $(ls "$work/build/bin" | grep '_tests$\|_bench$' | head -3)"
fi
[ ! -e "$work/build/CTestTestfile.cmake" ] || fail "tests were configured"
echo "PASS"
