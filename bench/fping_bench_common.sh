# Sourced by the benches that run kestrion-cli beside fping: checks for root and the built
# kestrion-cli (in $cli, from $build), and installs fping when it is missing.
if [ "$(id -u)" -ne 0 ]; then
  echo "the bench needs root (network namespaces)" >&2
  exit 1
fi
if [ ! -x "$cli" ]; then
  echo "no $cli: build it first (cmake --build $build --target kestrion-cli)" >&2
  exit 1
fi
if ! command -v fping >/dev/null; then
  echo "Installing fping for this bench"
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends fping >/dev/null
fi
