#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite headless.
set -euo pipefail
ZELKORA_ROOT=$(cd "$(dirname "$0")" && pwd)
export ZELKORA_ROOT
. "$ZELKORA_ROOT/tools/setup.sh"

zelkora_install_packages
zelkora_build "$ZELKORA_ROOT/build"

export QT_QPA_PLATFORM=offscreen
cd "$ZELKORA_ROOT/build"
ctest --output-on-failure --timeout 300 -j "$(nproc)"
