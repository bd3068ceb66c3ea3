#!/usr/bin/env bash
# Installs every Debian package the project needs. Idempotent: quiet and quick
# when everything is already present.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config clang-format ccache
  clang-14 libclang-rt-14-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libspdlog-dev libfmt-dev rapidjson-dev
  libcurl4-openssl-dev libssl-dev
  libsqlcipher-dev sqlcipher
  libminizip-dev zlib1g-dev zip
  libpugixml-dev
  libcairo2-dev libpango1.0-dev libsdl2-dev fonts-wqy-zenhei fonts-dejavu-core fontconfig
  xvfb openbox xdotool x11-utils imagemagick dbus zbar-tools
  libqrencode-dev
  libdw-dev
  libcpp-httplib-dev
  iproute2 procps
  curl openssl
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "install-deps: installing ${missing[*]}"
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
