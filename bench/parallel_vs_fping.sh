#!/usr/bin/env bash
# kestrion-cli's parallel sweep (`sweep --parallel`) side by side with fping, in alternating runs, on
# networks the bench builds for itself; prints each run, the medians and their ratios:
#  1. a quiet /24: a client namespace routed to a host namespace that answers at 9 chosen addresses of
#     10.9.1.0/24 and drops the rest (a black hole, so no "unreachable" comes back), at time-out 500 ms,
#     against `fping -c1 -r0 -t500 -i1` (target: within 1.1x; expected under 1 s);
#  2. 254 answering loopback addresses against `fping -c1 -i1` (target: within 1.0x);
#  3. the 254 loopback addresses with host names (the Resolver, names from the namespace's hosts file)
#     against without: the cost per answering address (target: under +0.2 ms). Loopback, where all 254
#     answer, rather than the quiet block's 9: the run-to-run noise is shared out over 254 addresses.
# Needs root; installs fping for itself when it is missing.
# Usage: bench/parallel_vs_fping.sh [BUILD_DIR] [RUNS]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$top/build}
runs=${2:-9}
cli="$build/bin/kestrion-cli"

# shellcheck source=bench/fping_bench_common.sh
. "$top/bench/fping_bench_common.sh"

client="kbench-par-c-$$"
host="kbench-par-h-$$"
loop="kbench-par-l-$$"
scratch=$(mktemp -d)
cleanup() {
  for ns in "$client" "$host" "$loop"; do
    ip netns del "$ns" 2>/dev/null || true
  done
  rm -rf "/etc/netns/$client" "/etc/netns/$loop" "$scratch"
}
trap cleanup EXIT

# client 10.9.0.1 ---- 10.9.0.2 host; the client routes 10.9.1.0/24 to the host.
answering=(1 17 42 77 100 128 160 200 254)
for ns in "$client" "$host" "$loop"; do
  ip netns add "$ns"
  ip -n "$ns" link set lo up
done
ip link add "kbp$$c" netns "$client" type veth peer name "kbp$$h" netns "$host"
ip -n "$client" addr add 10.9.0.1/30 dev "kbp$$c"
ip -n "$host" addr add 10.9.0.2/30 dev "kbp$$h"
ip -n "$client" link set "kbp$$c" up
ip -n "$host" link set "kbp$$h" up
ip -n "$client" route add 10.9.1.0/24 via 10.9.0.2
# The host's own addresses answer (the local table comes first); everything else of the block is dropped.
for n in "${answering[@]}"; do
  ip -n "$host" addr add "10.9.1.$n/32" dev lo
done
ip -n "$host" route add blackhole 10.9.1.0/24

# Names for the answering addresses from the client's hosts file only (no name server is asked).
mkdir -p "/etc/netns/$client"
for n in "${answering[@]}"; do
  echo "10.9.1.$n host-$n.bench.test"
done >"/etc/netns/$client/hosts"
mkdir -p "/etc/netns/$loop"
for ((n = 1; n <= 254; n++)); do
  echo "127.0.0.$n loop-$n.bench.test"
done >"/etc/netns/$loop/hosts"
for ns in "$client" "$loop"; do
  echo "nameserver 127.0.0.1" >"/etc/netns/$ns/resolv.conf"
  echo "hosts: files" >"/etc/netns/$ns/nsswitch.conf"
done

# Settings, registry and runtime folder of the bench's own; the Resolver registered there.
mkdir -p "$scratch/home" "$scratch/runtime"
chmod 700 "$scratch/runtime"
export HOME="$scratch/home" XDG_CONFIG_HOME="$scratch/home/.config" XDG_RUNTIME_DIR="$scratch/runtime"
"$build/bin/kregsvr" "$build/bin/libResolver.so" >/dev/null

now() { date +%s%N; }
# One timed run of a command inside a namespace: microseconds, answering addresses (kestrion-cli's
# lines are "address<TAB>...", fping's "address : [0], 64 bytes, ..."; fping also lists the silent ones).
timed() {
  local ns=$1 block=$2 out="$scratch/out" start end
  shift 2
  start=$(now)
  ip netns exec "$ns" "$@" >"$out" 2>/dev/null || true
  end=$(now)
  echo "$(( (end - start) / 1000 )) $(grep -cE "^${block//./\\.}\.[0-9]+($(printf '\t')| +: \[[0-9]+\], [0-9]+ bytes)" "$out" || true)"
}
median() { sort -n | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

# Runs two commands in turns (who goes first alternates), prints each run; sets $first_median and
# $second_median.
side_by_side() {
  local title=$1 labels=$2 ns=$3 block=$4 first=$5 second=$6 a aa b ba
  local first_times=() second_times=()
  echo "== $title"
  printf '%-4s %12s %8s %12s %8s   (%s)\n' run "first (us)" answered "second (us)" answered "$labels"
  for ((i = 1; i <= runs; i++)); do
    if (( i % 2 )); then
      read -r a aa < <(eval timed "$ns" "$block" "$first")
      read -r b ba < <(eval timed "$ns" "$block" "$second")
    else
      read -r b ba < <(eval timed "$ns" "$block" "$second")
      read -r a aa < <(eval timed "$ns" "$block" "$first")
    fi
    first_times+=("$a")
    second_times+=("$b")
    printf '%-4s %12s %8s %12s %8s\n' "$i" "$a" "$aa" "$b" "$ba"
  done
  first_median=$(printf '%s\n' "${first_times[@]}" | median)
  second_median=$(printf '%s\n' "${second_times[@]}" | median)
}

side_by_side "quiet /24 (9 of 254 answer, the rest dropped), time-out 500 ms" "kestrion-cli --parallel, fping" \
  "$client" 10.9.1 \
  '"$cli" sweep 10.9.1.1-254 --parallel --timeout 500 --no-names' \
  'fping -c1 -r0 -t500 -i1 -g 10.9.1.1 10.9.1.254'
quiet_cli=$first_median quiet_fping=$second_median

side_by_side "254 answering loopback addresses" "kestrion-cli --parallel, fping" "$loop" 127.0.0 \
  '"$cli" sweep 127.0.0.1-254 --parallel --no-names' \
  'fping -c1 -i1 -g 127.0.0.1 127.0.0.254'
loop_cli=$first_median loop_fping=$second_median

side_by_side "254 answering loopback addresses with names against without" "--names, --no-names" "$loop" \
  127.0.0 '"$cli" sweep 127.0.0.1-254 --parallel --names' '"$cli" sweep 127.0.0.1-254 --parallel --no-names'
names=$first_median nonames=$second_median

echo
echo "quiet /24:  kestrion-cli ${quiet_cli} us, fping ${quiet_fping} us, ratio $(ratio "$quiet_cli" "$quiet_fping") (target <= 1.10; expected under 1 s)"
echo "loopback:   kestrion-cli ${loop_cli} us, fping ${loop_fping} us, ratio $(ratio "$loop_cli" "$loop_fping") (target <= 1.00)"
echo "names:      ${names} us with, ${nonames} us without: $(awk -v a="$names" -v b="$nonames" -v n=254 \
  'BEGIN { printf "%+.3f", (a - b) / 1000 / n }') ms per answering address (target < +0.2)"
# That the names were looked up at all: one line of a run with names.
echo "a line with names: $(ip netns exec "$loop" "$cli" sweep 127.0.0.1-254 --parallel --names 2>/dev/null | sed -n 7p)"
