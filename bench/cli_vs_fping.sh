#!/usr/bin/env bash
# kestrion-cli sweep of 254 answering loopback addresses against `fping -c1 -i1 -g` over the same range,
# side by side in one network namespace of the bench's own, in alternating runs; prints each run, the
# medians and their ratio (target: kestrion-cli within 1.2x of fping). Needs root; installs fping for
# itself when it is missing. Usage: bench/cli_vs_fping.sh [BUILD_DIR] [RUNS]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$top/build}
runs=${2:-9}
cli="$build/bin/kestrion-cli"

# shellcheck source=bench/fping_bench_common.sh
. "$top/bench/fping_bench_common.sh"

ns="kbench-cli-$$"
scratch=$(mktemp -d)
cleanup() {
  ip netns del "$ns" 2>/dev/null || true
  rm -rf "$scratch"
}
trap cleanup EXIT
ip netns add "$ns"
ip -n "$ns" link set lo up
# Settings and runtime folder of the bench's own; the sweep reads the stored options only.
mkdir -p "$scratch/home" "$scratch/runtime"
chmod 700 "$scratch/runtime"
export HOME="$scratch/home" XDG_CONFIG_HOME="$scratch/home/.config" XDG_RUNTIME_DIR="$scratch/runtime"

now() { date +%s%N; }
# One timed run of a command inside the namespace; its answering addresses are counted from stdout.
timed() {
  local out="$scratch/out" start end
  start=$(now)
  ip netns exec "$ns" "$@" >"$out" 2>/dev/null || true
  end=$(now)
  echo "$(( (end - start) / 1000 )) $(grep -cE '^127\.[0-9.]+[[:space:]]' "$out" || true)"
}
median() { sort -n | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'; }

cli_times=()
fping_times=()
printf '%-4s %12s %8s %12s %8s\n' run "cli (us)" answered "fping (us)" answered
for ((i = 1; i <= runs; i++)); do
  # Take turns on who goes first, so neither always meets a warm or a cold machine.
  if (( i % 2 )); then
    read -r c ca < <(timed "$cli" sweep 127.0.0.1-254 --no-names)
    read -r f fa < <(timed fping -c1 -i1 -g 127.0.0.1 127.0.0.254)
  else
    read -r f fa < <(timed fping -c1 -i1 -g 127.0.0.1 127.0.0.254)
    read -r c ca < <(timed "$cli" sweep 127.0.0.1-254 --no-names)
  fi
  cli_times+=("$c")
  fping_times+=("$f")
  printf '%-4s %12s %8s %12s %8s\n' "$i" "$c" "$ca" "$f" "$fa"
done
cm=$(printf '%s\n' "${cli_times[@]}" | median)
fm=$(printf '%s\n' "${fping_times[@]}" | median)
echo "median: kestrion-cli ${cm} us, fping ${fm} us, ratio cli/fping $(awk -v c="$cm" -v f="$fm" 'BEGIN { printf "%.2f", c / f }') (target <= 1.20)"
