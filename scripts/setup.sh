#!/usr/bin/env bash
# Installs every Debian package Lumbra needs to build, run and test. Safe to run again:
# when everything is already there it does nothing.
set -euo pipefail

packages=(
    cmake ninja-build g++ pkg-config git
    qt6-base-dev qt6-wayland libgl-dev qt6-webengine-dev
    qcoro-qt6-dev qt6-tools-dev qt6-l10n-tools qt6-translations-l10n python3
    libsimdjson-dev libicu-dev
    libcpp-httplib-dev libssl-dev openssl zlib1g-dev libzstd-dev
    libcmark-dev libyaml-cpp-dev
    qtkeychain-qt6-dev gnome-keyring dbus-daemon
    fonts-noto-cjk fonts-noto-color-emoji
    at-spi2-core xvfb xauth orca speech-dispatcher xdotool curl python3-dbus python3-gi
    breeze-icon-theme libqt6svg6
    appstream desktop-file-utils dpkg-dev xdg-utils
    clang libclang-rt-14-dev
)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    echo "setup: all ${#packages[@]} packages are installed"
    exit 0
fi

sudo=""
if [ "$(id -u)" -ne 0 ]; then
    if ! command -v sudo >/dev/null 2>&1; then
        echo "setup: these Debian packages are missing, and installing them needs root:" >&2
        echo "  ${missing[*]}" >&2
        echo "setup: install them as root (su -c 'apt-get install ...'), or install sudo," >&2
        echo "setup: then run this again." >&2
        exit 1
    fi
    sudo="sudo"
fi
echo "setup: installing ${missing[*]}"
$sudo apt-get update -q
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
