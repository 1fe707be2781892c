#!/usr/bin/env bash
# Installs what building and testing need on a fresh Debian 12 machine.
# Idempotent: what is already there is skipped, so a second run takes seconds.
set -euo pipefail

packages=(
    # build
    cmake ninja-build g++ python3 doctest-dev
    # Win32 cross build and Wine
    g++-mingw-w64-i686 binutils-mingw-w64-i686 wine wine32:i386
    xvfb xauth x11-utils imagemagick fonts-wqy-microhei locales procps
    # local speech service
    libespeak-ng-dev espeak-ng-data libmp3lame-dev libcpp-httplib-dev libssl-dev
    # decoder references, test corpus encoders, fuzzing
    mpg123 lame twolame sox clang libclang-rt-14-dev
)

sudo=""
if [ "$(id -u)" != 0 ]; then sudo="sudo"; fi

if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386
    rm -f /tmp/.speechtool-apt-updated
fi

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -gt 0 ]; then
    echo "setup: installing ${missing[*]}"
    $sudo apt-get update -qq
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# Wine takes its ANSI code page (936) from a Chinese locale.
if ! locale -a 2>/dev/null | grep -qix 'zh_CN.utf8'; then
    echo "setup: generating zh_CN.UTF-8"
    if grep -q '^# *zh_CN.UTF-8 UTF-8' /etc/locale.gen; then
        $sudo sed -i 's/^# *zh_CN.UTF-8 UTF-8/zh_CN.UTF-8 UTF-8/' /etc/locale.gen
    elif ! grep -q '^zh_CN.UTF-8 UTF-8' /etc/locale.gen; then
        echo 'zh_CN.UTF-8 UTF-8' | $sudo tee -a /etc/locale.gen >/dev/null
    fi
    $sudo locale-gen >/dev/null
fi
echo "setup: ready"
