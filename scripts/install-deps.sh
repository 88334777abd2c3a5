#!/usr/bin/env bash
# Installs the Debian packages Zalvo needs to build, test and run, skipping those already present.
# Usage: scripts/install-deps.sh [--test] [extra-package ...]
#   --test  also the tools that only the tests use (the package checks; a private session bus and an
#           MPRIS client for the desktop tests)
set -euo pipefail

packages=(
    cmake ninja-build g++ pkg-config make
    libsfml-dev libsndfile1-dev libopenal-dev libexpat1-dev qt6-base-dev librsvg2-bin
    libgtest-dev libgmock-dev libbenchmark-dev
    xvfb xdotool x11-utils imagemagick python3
)
if [ "${1:-}" = --test ]; then
    shift
    packages+=(dpkg-dev lintian appstream desktop-file-utils dbus playerctl)
fi
packages+=("$@")

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done

[ ${#missing[@]} -eq 0 ] && exit 0

sudo=()
if [ "$(id -u)" -ne 0 ]; then
    sudo=(sudo)
fi

echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get -o DPkg::Lock::Timeout=600 update -qq
"${sudo[@]}" apt-get -o DPkg::Lock::Timeout=600 install -y -qq --no-install-recommends "${missing[@]}"
