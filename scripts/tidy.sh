#!/usr/bin/env bash
# Runs clang-tidy 14 (.clang-tidy) over every source file of the project, two translation units at a
# time; any finding fails the run.
#
# Most of clang-tidy's time goes into walking the Qt and GoogleTest headers, once per translation
# unit. So it does not take one unit per source file: it configures a build folder of its own,
# build-tidy/ (or $KESTRION_TIDY_BUILD_DIR), as a unity build, where each target's sources are one
# generated file that includes them all, and runs over those (a few times less work than file by file).
# Nothing is compiled there: configuring it and running moc (the generated X.moc a source includes)
# is all clang-tidy needs, so this can run before or beside the build.
# A source kept out of its unity file (SKIP_UNITY_BUILD_INCLUSION) is checked on its own. Findings in
# the sources that a unity file includes are reported like those in our headers: see the header filter.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${KESTRION_TIDY_BUILD_DIR:-$top/build-tidy}
tidy=$(command -v clang-tidy-14 || command -v clang-tidy)
jobs=${KESTRION_TIDY_JOBS:-2}

cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTRION_WERROR=ON \
  -DCMAKE_UNITY_BUILD=ON -DCMAKE_UNITY_BUILD_BATCH_SIZE=0 >/dev/null
# moc for every target, without building what the target depends on (its _autogen target would).
find "$build" -path '*_autogen.dir/AutogenInfo.json' -print0 |
  xargs -0 -P "$jobs" -I{} cmake -E cmake_autogen {} RelWithDebInfo

cd "$top"
# Our headers as .clang-tidy names them, and our sources by their place in the tree (a unity file
# includes them by absolute path).
headers=$(sed -n "s/^HeaderFilterRegex: '\(.*\)'\$/\1/p" .clang-tidy)
top_regex=$(printf '%s' "$top" | sed 's/[][\.*^$+?(){}|]/\\&/g')
header_filter="$headers|^$top_regex/(app|bench|cli|db|platform|report|resolver|schedule|sweep|tests)/.*\\.cpp\$"

sources=$(git ls-files -- '*.cpp' ':!:tests/layering/*' | sed "s|^|$top/|")
entries=$(sed -n 's/^ *"file": "\(.*\)",\{0,1\}$/\1/p' "$build/compile_commands.json")
units=()
covered=()
while IFS= read -r file; do
  if [[ $file == */Unity/unity_*.cxx ]]; then
    mapfile -t included < <(sed -n 's/^#include "\(.*\)"$/\1/p' "$file" | grep -Fx -f <(printf '%s\n' "$sources") || true)
    # Unity files of generated sources only (the marker plugins) hold nothing of ours.
    if [ ${#included[@]} -gt 0 ]; then
      units+=("$file")
      covered+=("${included[@]}")
    fi
  elif grep -Fxq -- "$file" <<<"$sources"; then
    units+=("$file")
    covered+=("$file")
  fi
done <<<"$entries"

# Every source must be in some unit: one missing from every target would otherwise go unchecked.
missing=$(grep -Fxv -f <(printf '%s\n' "${covered[@]}") <<<"$sources" || true)
if [ -n "$missing" ]; then
  echo "clang-tidy: these sources are in no translation unit of $build:" >&2
  echo "$missing" >&2
  exit 1
fi

printf '%s\0' "${units[@]}" |
  xargs -0 -P "$jobs" -n 1 "$tidy" -p "$build" --quiet --warnings-as-errors='*' --header-filter="$header_filter"
