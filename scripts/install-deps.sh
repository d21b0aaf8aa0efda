#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing Orvik need.
# Safe to run again: it only calls apt-get when something is missing.
set -euo pipefail

packages=(
    build-essential cmake ninja-build ccache pkg-config
    libgtest-dev libgmock-dev libbenchmark-dev librapidcheck-dev
    qt6-base-dev libgl-dev xvfb xauth x11-utils imagemagick fonts-dejavu-core fonts-liberation
    openbox xdotool
    clang libclang-rt-14-dev
    libusb-1.0-0-dev umockdev libumockdev-dev
    libsqlite3-dev libpq-dev postgresql librapidcheck-dev
    locales
    poppler-utils
    valgrind strace librapidcheck-dev
    dpkg-dev file desktop-file-utils shared-mime-info xdg-utils libfile-mimeinfo-perl
    libxml2-utils groff-base bsdextrautils lintian
)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    echo "install-deps: all ${#packages[@]} packages are present"
    exit 0
fi

sudo=""
if [ "$(id -u)" -ne 0 ]; then
    sudo="sudo"
fi
echo "install-deps: installing ${missing[*]}"
$sudo apt-get update
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
