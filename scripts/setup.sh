#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs the Debian 12 packages that Orvane's build, tests and demo need,
# skipping those already present. Run as root (or with sudo available).
set -euo pipefail

packages=(
    build-essential
    cmake
    ninja-build
    pkg-config
    nlohmann-json3-dev
    libgtest-dev
    libgmock-dev
    libbenchmark-dev
    clang-format
    clang-16
    libfuzzer-16-dev
    libclang-rt-16-dev
    libsqlite3-dev
    tzdata
    liburiparser-dev
    libplist-dev
    locales
    desktop-file-utils
    appstream
    groff-base
    bash-completion
    debhelper
    dpkg-dev
    fakeroot
    lintian
    libudev-dev
    libsystemd-dev
    libglib2.0-dev
    gnome-settings-daemon-common
    dbus
    python3-dbusmock
    python3-dbus
    python3-gi
    qt6-base-dev
    qt6-base-dev-tools
    qt6-svg-dev
    adwaita-icon-theme
    qt6-qpa-plugins
    qt6-wayland
    libgl-dev
    libx11-dev
    libxrandr-dev
    libxtst-dev
    libxcb1-dev
    libxkbcommon-dev
    libxkbcommon-x11-dev
    xkb-data
    libwayland-dev
    libwayland-bin
    wayland-protocols
    libpulse-dev
    pulseaudio
    pulseaudio-utils
    xvfb
    xcompmgr
    libkf5globalaccel-bin
    mutter
    sway
    trayer
    xdotool
    x11-utils
    grim
    waybar
    kwin-wayland
    xauth
    fonts-dejavu-core
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if ((${#missing[@]} == 0)); then
    echo "setup: all ${#packages[@]} packages already installed"
    exit 0
fi

SUDO=""
if [[ $(id -u) -ne 0 ]]; then SUDO="sudo"; fi
echo "setup: installing ${missing[*]}"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
