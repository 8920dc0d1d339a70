#!/usr/bin/env bash
# Installs the Debian packages Kestrion needs to build, run and test, when they are missing.
# As root it calls apt-get itself; otherwise it prints the command to run and stops.
set -euo pipefail

packages=(
  g++ cmake make pkg-config ccache mold clang-format clang-tidy
  qt6-base-dev qt6-base-dev-tools qt6-base-private-dev
  libsqlite3-dev sqlite3
  libpq-dev postgresql
  libgtest-dev libgmock-dev libbenchmark-dev
  iproute2 procps libcap2-bin
  xvfb xauth xdg-utils xdotool x11-utils dbus-daemon
  dpkg-dev file lintian appstream desktop-file-utils librsvg2-bin man-db
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  echo "Kestrion needs these packages: ${missing[*]}" >&2
  echo "Install them with:" >&2
  echo "  sudo apt-get update && sudo apt-get install -y ${missing[*]}" >&2
  exit 1
fi

echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
