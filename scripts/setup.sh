#!/usr/bin/env bash
# Installs what building and testing need on a fresh Debian 12 machine.
# Idempotent: what is already there is skipped, so a second run takes seconds.
set -euo pipefail

packages=(
    # build
    cmake ninja-build g++ python3 doctest-dev
    # Win32 cross build and Wine
    g++-mingw-w64-i686 binutils-mingw-w64-i686 wine wine32:i386 wine32-preloader:i386
    xvfb xauth x11-utils imagemagick fonts-wqy-microhei locales procps
    # local speech service
    libespeak-ng-dev espeak-ng-data libmp3lame-dev libmicrohttpd-dev libcpp-httplib-dev libssl-dev
    # decoder references, test corpus encoders, fuzzing
    mpg123 lame twolame sox clang libclang-rt-14-dev
)

sudo=""
if [ "$(id -u)" != 0 ]; then sudo="sudo"; fi

if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386
    rm -f /tmp/.speechtool-apt-updated
fi

# install_missing LABEL PACKAGE...: installs those not yet installed.
install_missing() {
    local label=$1 p
    shift
    local missing=()
    for p in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$p")
        fi
    done
    if [ ${#missing[@]} -gt 0 ]; then
        echo "setup: installing ${missing[*]}${label:+ ($label)}"
        $sudo apt-get update -qq
        $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
    fi
}

install_missing "" "${packages[@]}"

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
# Where the kernel cannot execute 32-bit code (IA-32 emulation switched off),
# Wine cannot start a PE32 program; the Win32 tests then run in a small QEMU
# machine with a stock Debian kernel (cmake/win32-vm). It needs QEMU, a static
# busybox for its initramfs, and that kernel with its virtio and 9p modules.
if ! "$(dirname "$0")/../cmake/can-run-win32"; then
    install_missing "test machine for Win32 programs" qemu-system-x86 busybox-static cpio
    vmdir=${SPEECHTOOL_VM_DIR:-/opt/speechtool-vm}
    if [ ! -f "$vmdir/vmlinuz" ]; then
        echo "setup: fetching a kernel for the Win32 test machine"
        pkg=$(apt-cache depends linux-image-amd64 | awk '/Depends: linux-image-[0-9]/ {print $2; exit}')
        tmp=$(mktemp -d)
        chmod 755 "$tmp"  # apt's download user must be able to write there
        (cd "$tmp" && apt-get download -q "$pkg" >/dev/null && dpkg-deb -x ./*.deb root)
        $sudo mkdir -p "$vmdir/modules"
        $sudo cp "$tmp"/root/boot/vmlinuz-* "$vmdir/vmlinuz.new"
        for m in virtio_ring virtio virtio_pci_legacy_dev virtio_pci_modern_dev virtio_pci \
                 netfs fscache 9pnet 9pnet_virtio 9p; do
            f=$(find "$tmp/root/lib/modules" -name "$m.ko" | head -1)
            [ -n "$f" ] || { echo "setup: kernel module $m missing from $pkg" >&2; exit 1; }
            $sudo cp "$f" "$vmdir/modules/"
        done
        $sudo mv "$vmdir/vmlinuz.new" "$vmdir/vmlinuz"
        rm -rf "$tmp"
    fi
fi
echo "setup: ready"
