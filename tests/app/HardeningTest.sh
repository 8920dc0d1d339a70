#!/usr/bin/env bash
# The programs that carry cap_net_raw, as the build made them: position-independent, relocations
# read-only and bound at start (-z relro -z now), buffer checks in (_FORTIFY_SOURCE: calls to the
# checking __*_chk functions) and the stack protector.
# usage: HardeningTest.sh PROGRAM...
set -uo pipefail
status=0
fail() { echo "FAIL: $1: $2"; status=1; }
for program in "$@"; do
  dynamic=$(readelf -d "$program")
  grep -Eq '\(FLAGS\).*\bNOW\b|\(FLAGS_1\).*\bNOW\b|\(BIND_NOW\)' <<<"$dynamic" || fail "$program" "not bound now (-z now)"
  readelf -lW "$program" | grep -q 'GNU_RELRO' || fail "$program" "no read-only relocations (-z relro)"
  readelf -hW "$program" | grep -Eq 'Type:[[:space:]]+DYN' || fail "$program" "not position-independent"
  symbols=$(readelf -sW --dyn-syms "$program")
  grep -Eq '__[a-z_]+_chk' <<<"$symbols" || fail "$program" "no checking functions (_FORTIFY_SOURCE)"
  grep -q '__stack_chk_fail' <<<"$symbols" || fail "$program" "no stack protector"
done
[ $status -eq 0 ] && echo "hardened: $*"
exit $status
