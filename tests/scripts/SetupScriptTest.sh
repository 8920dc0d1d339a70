#!/usr/bin/env bash
# scripts/setup.sh against stand-ins for dpkg-query, id and apt-get: nothing to do when every
# package is there; as an ordinary user it prints the exact command and stops; as root it installs
# exactly the missing packages.
set -uo pipefail
setup=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin"

# Packages named in $MISSING (space separated) are not installed; every other one is.
cat >"$work/bin/dpkg-query" <<'STUB'
#!/bin/sh
for last; do :; done
for p in $MISSING; do [ "$p" = "$last" ] && exit 1; done
printf 'install ok installed'
STUB
cat >"$work/bin/id" <<'STUB'
#!/bin/sh
echo "$FAKE_UID"
STUB
cat >"$work/bin/apt-get" <<'STUB'
#!/bin/sh
echo "$*" >>"$APT_LOG"
STUB
chmod +x "$work/bin/"*

failures=0
check() { # description, condition
    if eval "$2"; then echo "ok: $1"; else echo "FAILED: $1"; failures=$((failures + 1)); fi
}

run() { # uid, missing packages
    rm -f "$work/apt.log"
    out=$(PATH="$work/bin:$PATH" FAKE_UID=$1 MISSING=$2 APT_LOG="$work/apt.log" "$setup" 2>&1)
    status=$?
    apt=$(cat "$work/apt.log" 2>/dev/null)
}

run 1000 ""
check "nothing missing: succeeds silently without apt-get" '[ $status -eq 0 ] && [ -z "$out" ] && [ -z "$apt" ]'

run 1000 "procps qt6-base-dev"
check "user: stops with a failure" '[ $status -ne 0 ]'
check "user: prints the exact command, packages in list order" \
    '[[ "$out" == *"sudo apt-get update && sudo apt-get install -y qt6-base-dev procps"* ]]'
check "user: never calls apt-get" '[ -z "$apt" ]'

run 0 "libgtest-dev iproute2"
check "root: succeeds" '[ $status -eq 0 ]'
check "root: updates, then installs only what is missing" \
    '[ "$apt" = "$(printf "update -qq\ninstall -y -qq --no-install-recommends libgtest-dev iproute2")" ]'

[ $failures -eq 0 ]
