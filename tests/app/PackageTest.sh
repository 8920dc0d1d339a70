#!/usr/bin/env bash
# Builds the Debian package from the build folder and checks it without installing it on this machine:
# its control fields and file list, lintian, the desktop entry, the AppStream metainfo, the manual
# pages and the postinst (run against an extracted copy through DPKG_ROOT).
# usage: PackageTest.sh BUILD_DIR WORK_DIR VERSION [hardened|unhardened]
# (unhardened: a build without the hardening flags, the sanitizer build, whose package is never shipped)
set -uo pipefail
build=$1 work=$2 version=$3 hardening=${4:-hardened}
arch=$(dpkg --print-architecture)
deb="$work/kestrion_${version}_${arch}.deb"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

rm -rf "$work" && mkdir -p "$work"
if ! cpack --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1 || [ ! -f "$deb" ]; then
    cat "$work/cpack.log"
    echo "FAIL: cpack made no $deb"
    exit 1
fi

# Control fields. Library dependencies come from dpkg-shlibdeps, so the libraries the program links
# must be there with versions.
info=$(dpkg-deb --info "$deb")
while IFS='|' read -r what pattern; do
    grep -Eq "$pattern" <<<"$info" || fail "control: $what (/$pattern/)"
done <<ROWS
name|^ Package: kestrion$
architecture of this machine|^ Architecture: ${arch}$
version of the project|^ Version: ${version}$
Qt widgets from shlibdeps|^ Depends: .*libqt6widgets6 \(>= [0-9.]+\)
SQLite from shlibdeps|^ Depends: .*libsqlite3-0 \(>= [0-9.]+\)
C library from shlibdeps|^ Depends: .*libc6 \(>= [0-9.]+\)
setcap wanted, as for ping|^ Recommends: .*libcap2-bin
maker|^ Maintainer: Quillfen Software <support@quillfen.example>$
postinst|^ +[0-9]+ bytes, +[0-9]+ lines +\* +postinst
ROWS

contents=$(dpkg-deb --contents "$deb")
files=$(awk '{print $6}' <<<"$contents" | sed 's|^\./|/|')
expected=(
    /usr/lib/kestrion/kestrion /usr/lib/kestrion/libResolver.so /usr/lib/kestrion/kregsvr
    /usr/lib/kestrion/KRdb.mdb /usr/lib/kestrion/Kestrion.html
    /usr/bin/kestrion
    /usr/share/applications/kestrion.desktop
    /usr/share/icons/hicolor/scalable/apps/kestrion.svg
    /usr/share/icons/hicolor/128x128/apps/kestrion.png
    /usr/share/metainfo/org.quillfen.Kestrion.metainfo.xml
    /usr/share/man/man1/kestrion.1.gz
    /usr/share/doc/kestrion/copyright /usr/share/doc/kestrion/changelog.gz
)
# The command-line companion and the schedule timer's user units travel along once the build has them.
if [ -e "$build/bin/kestrion-cli" ]; then
    expected+=(/usr/bin/kestrion-cli /usr/share/man/man1/kestrion-cli.1.gz)
fi
for f in "${expected[@]}"; do
    grep -qx "$f" <<<"$files" || fail "package lacks $f"
done
while read -r unit; do
    [[ $unit == /usr/lib/systemd/user/* ]] || fail "user unit outside /usr/lib/systemd/user: $unit"
done < <(grep -E 'kestrion-schedules\.(service|timer)$' <<<"$files")
grep -Eq '^lrwx.* \./usr/bin/kestrion -> \.\./lib/kestrion/kestrion$' <<<"$contents" ||
    fail "/usr/bin/kestrion is not a link to the application folder"
# Capabilities come from postinst; nothing in the package is setuid or setgid.
awk '$1 ~ /[sS]/ {print $6}' <<<"$contents" | grep . && fail "setuid or setgid files in the package"

# lintian: no error; only these warnings, each for its reason:
#   maintainer-script-empty [postrm]: the postrm has nothing to do (user data stays); shipping it
#     keeps CPack from adding an ldconfig call for the private Resolver library in /usr/lib/kestrion.
accepted='maintainer-script-empty \[postrm\]'
lint=$(lintian --display-info --tag-display-limit 0 "$deb" 2>&1 | grep -v 'running with root privileges')
echo "$lint"
grep -q '^E: ' <<<"$lint" && fail "lintian reports errors"
# The programs carry cap_net_raw: built with every hardening flag Debian uses, none may be missing.
if [ "$hardening" = hardened ]; then
  grep -q 'hardening-' <<<"$lint" && fail "lintian finds a hardening flag missing"
fi
grep '^W: ' <<<"$lint" | grep -Ev "^W: kestrion: ($accepted)\$" | grep -q . && fail "lintian warnings not accepted here"

# The extracted files: desktop entry, metainfo, manual pages.
root="$work/root"
dpkg-deb -x "$deb" "$root" || fail "dpkg-deb -x"
desktop-file-validate "$root/usr/share/applications/kestrion.desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net "$root/usr/share/metainfo/org.quillfen.Kestrion.metainfo.xml" ||
    fail "appstreamcli validate"
grep -q '<launchable type="desktop-id">kestrion.desktop</launchable>' \
    "$root/usr/share/metainfo/org.quillfen.Kestrion.metainfo.xml" || fail "metainfo does not launch the desktop entry"
for page in "$root"/usr/share/man/man1/*.1.gz; do
    warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "man page $(basename "$page"): $warnings"
    zcat "$page" | grep -q '@[A-Z_]*@' && fail "unconfigured placeholder in $(basename "$page")"
done
[ -e "$build/bin/kestrion-cli" ] && [ ! -f "$root/usr/share/man/man1/kestrion-cli.1.gz" ] &&
    fail "kestrion-cli has no manual page: write docs/man/kestrion-cli.1"

# postinst, against the extracted root: each row is name|stand-in setcap ('real', 'failing' or
# 'none')|phase|capability expected (yes/no)|text expected on standard error.
dpkg-deb --ctrl-tarfile "$deb" | tar -x -C "$work" ./postinst || fail "no postinst"
program="$root/usr/lib/kestrion/kestrion"
stubs="$work/stubs"
mkdir -p "$stubs/failing" "$stubs/none"
if (PATH=/usr/bin:/bin; command -v setcap >/dev/null); then
    fail "setcap is found outside the sbin folders; the stand-in rows cannot work"
fi
printf '#!/bin/sh\necho "Failed to set capabilities on file" >&2\nexit 1\n' >"$stubs/failing/setcap"
chmod +x "$stubs/failing/setcap"
# Only where this file system holds capabilities can the real setcap row be judged.
if setcap cap_net_raw+ep "$program" 2>/dev/null; then
    setcap -r "$program"
    real_row='setcap gives the capability|real|configure|yes|'
else
    echo "note: $work cannot hold file capabilities; the real setcap row is left out"
    real_row=''
fi
while IFS='|' read -r name setcap phase capability note; do
    [ -n "$name" ] || continue
    # setcap lives in /usr/sbin; without the sbin folders only a stand-in (or none) is found.
    case $setcap in
        real) path=/usr/sbin:/usr/bin:/sbin:/bin ;;
        *) path="$stubs/$setcap:/usr/bin:/bin" ;;
    esac
    setcap -r "$program" 2>/dev/null
    chmod 755 "$program"
    err=$(env -i PATH="$path" DPKG_ROOT="$root" /bin/sh "$work/postinst" "$phase" 2>&1 >/dev/null)
    rc=$?
    [ $rc -eq 0 ] || fail "postinst, $name: exit $rc"
    caps=$(/usr/sbin/getcap "$program" 2>/dev/null || getcap "$program" 2>/dev/null)
    if [ "$capability" = yes ]; then
        [[ $caps == *cap_net_raw=ep* ]] || fail "postinst, $name: no cap_net_raw ('$caps')"
    else
        [ -z "$caps" ] || fail "postinst, $name: capability given ('$caps')"
    fi
    [ -u "$program" ] || [ -g "$program" ] && fail "postinst, $name: setuid or setgid"
    if [ -n "$note" ]; then
        grep -qF "$note" <<<"$err" || fail "postinst, $name: no note '$note' in '$err'"
        grep -qF 'ping_group_range' <<<"$err" || fail "postinst, $name: the note names no remedy"
    elif [ -n "$err" ]; then
        fail "postinst, $name: unexpected output '$err'"
    fi
done <<ROWS
$real_row
setcap fails (no capabilities on this file system)|failing|configure|no|Setcap failed on /usr/lib/kestrion/kestrion
setcap missing|none|configure|no|Setcap is not installed
other phases leave the file alone|real|abort-upgrade|no|
ROWS

if [ $failures -ne 0 ]; then
    echo "$failures checks failed"
    exit 1
fi
echo "package $deb: all checks passed"
