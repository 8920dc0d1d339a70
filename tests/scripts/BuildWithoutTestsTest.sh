#!/usr/bin/env bash
# The build a user or the package makes: CMake's BUILD_TESTING=OFF configures without looking for
# GoogleTest, Google Benchmark or Qt Test, and has the program, the companion and the icon, and no
# test. A configure that cannot draw the icon stops and names the package to install.
# Arguments: the source folder.
set -uo pipefail
src=$1
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

# What BUILD_TESTING=OFF can break is the configuration: the program's own sources are compiled with
# the same flags by the main build, so compiling them a second time (minutes on two cores) shows
# nothing new. Checked instead: every program is a target and no test or benchmark is, no program links
# anything of the tests, and what tools make at build time (database, help page, icon) is made.
if ! cmake -S "$src" -B "$work/build" -DBUILD_TESTING=OFF -DKESTRION_WERROR=ON >"$work/configure.log" 2>&1; then
    cat "$work/configure.log"
    fail "configure with BUILD_TESTING=OFF"
fi
for package in GTest_DIR Qt6Test_DIR benchmark_DIR; do
    if grep -q "^$package:" "$work/build/CMakeCache.txt"; then
        fail "BUILD_TESTING=OFF still looks for ${package%_DIR}"
    fi
done
targets=$(cmake --build "$work/build" --target help)
for target in kestrion kestrion-cli Resolver kregsvr; do
    grep -qx "\.\.\. $target" <<<"$targets" || fail "no target $target"
done
if grep -E '_tests$|_bench$|gtest|benchmark' <<<"$targets"; then
    fail "tests or benchmarks are configured"
fi
if grep -lE 'gtest|gmock|benchmark|Qt6Test|testsupport|test_fakes' \
    $(find "$work/build" -name link.txt) 2>/dev/null; then
    fail "a program links a test library"
fi
if ! cmake --build "$work/build" -j2 --target delivered_database help_page icon_png >"$work/build.log" 2>&1; then
    tail -40 "$work/build.log"
    fail "build of the made files with BUILD_TESTING=OFF"
fi
for made in bin/KRdb.mdb bin/Kestrion.html packaging/kestrion.png; do
    [ -e "$work/build/$made" ] || fail "$made was not built"
done
[ ! -e "$work/build/CTestTestfile.cmake" ] || fail "tests were configured"
echo "PASS"
