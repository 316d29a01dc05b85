#!/usr/bin/env bash
# Shared by run.sh and test.sh: installs the Debian packages the build needs (only those
# missing) and configures and builds the project in build/.
set -euo pipefail

ZELKORA_PACKAGES=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev qt6-base-dev-tools qt6-serialport-dev libgl-dev
    # the client's key and certificate (keygen); the tests' certificates come from openssl
    libssl-dev openssl
    libgtest-dev libgmock-dev
    clang libclang-rt-14-dev llvm
    xdg-utils qt6-translations-l10n fonts-dejavu-core fonts-dejavu-extra
    # the Debian package and its checks, the icon sizes, the help pictures
    dpkg-dev fakeroot file lintian desktop-file-utils appstream librsvg2-bin xvfb xauth
    # a real serial device server in front of the virtual card, for the network tests
    ser2net
    # promtool checks the status metrics; the node exporter serves them as a building would
    prometheus prometheus-node-exporter
)

zelkora_install_packages() {
    local missing=()
    for p in "${ZELKORA_PACKAGES[@]}" "$@"; do
        if [ "$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null)" != 'install ok installed' ]; then
            missing+=("$p")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=()
    [ "$(id -u)" -ne 0 ] && sudo=(sudo)
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# zelkora_build DIR [cmake options...]
zelkora_build() {
    local dir=$1
    shift
    cmake -S "$ZELKORA_ROOT" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
    cmake --build "$dir" --parallel "$(nproc)"
}
