#!/usr/bin/env bash
# Installs the Debian packages that building, testing and running Marlune need, when missing.
# Run as root (or with sudo available). Safe to run again: it only installs what is absent.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev qt6-base-dev-tools libgl-dev
    libcurl4-openssl-dev zlib1g-dev libminizip-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    fonts-wqy-microhei
    nginx-light xvfb xdotool x11-apps x11-utils imagemagick libxcb1-dev
    zip unzip curl python3
    # The desktop for the end-to-end runs and the package check: a window manager, a tray, the
    # launcher's starter and the validators of the launcher and the metainfo.
    openbox trayer libglib2.0-bin desktop-file-utils appstream dpkg-dev
)
if [ "${1:-}" = "--with-extras" ]; then
    # Benchmark peers, fuzzing and checking tools.
    packages+=(clang libclang-rt-14-dev libpugixml-dev libtinyxml2-dev libxml2-dev clang-format clang-tidy)
fi

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi
echo "Installing: ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then
    SUDO="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get install -y --no-install-recommends "${missing[@]}" \
    || { $SUDO apt-get update && $SUDO apt-get install -y --no-install-recommends "${missing[@]}"; }
