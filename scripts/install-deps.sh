#!/usr/bin/env bash
# Installs the Debian packages Zalvo needs to build, test and run, skipping those already present.
# Usage: scripts/install-deps.sh [--test | --bench] [extra-package ...]
#   --bench what --test installs, and the peer players the benchmarks measure Zalvo beside (Audacious)
#   --test  also the tools that only the tests and benchmarks use (the package checks, ffmpeg to encode
#           the formats only the FFmpeg module reads, a sound server the output tests and the CPU
#           benchmark play into, privately, a session bus and an MPRIS client for the desktop tests, the
#           accessibility bus with a client that reads it, and an Icecast server and openssl to make
#           certificates for the radio tests)
set -euo pipefail

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

packages=(
    cmake ninja-build g++ pkg-config make
    libsndfile1-dev libvorbis-dev libopenal-dev libexpat1-dev libpulse-dev libtag1-dev libsoxr-dev libcue-dev
    qt6-base-dev librsvg2-bin libavformat-dev libavcodec-dev libswresample-dev libavutil-dev
    libgtest-dev libgmock-dev libbenchmark-dev libxcb1-dev
    xvfb xdotool x11-utils imagemagick python3
)
if [ "${1:-}" = --test ] || [ "${1:-}" = --bench ]; then
    if [ "$1" = --bench ]; then
        packages+=(audacious audacious-plugins)
    fi
    shift
    packages+=(dpkg-dev lintian appstream desktop-file-utils pulseaudio-utils dbus playerctl ffmpeg flac
        at-spi2-core python3-pyatspi icecast2 openssl)
    # pulseaudio and pipewire-pulse conflict: installing one removes the other, so a machine that has
    # either keeps it (the CPU benchmark then loads its null sink into the running server).
    if ! installed pulseaudio && ! installed pipewire-pulse; then
        packages+=(pulseaudio)
    fi
fi
packages+=("$@")

missing=()
for package in "${packages[@]}"; do
    if ! installed "$package"; then
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
