#!/usr/bin/env bash
# Installs what is missing, builds, and starts Zelkora in its per-user working folder.
set -euo pipefail
ZELKORA_ROOT=$(cd "$(dirname "$0")" && pwd)
export ZELKORA_ROOT
. "$ZELKORA_ROOT/tools/setup.sh"

zelkora_install_packages
zelkora_build "$ZELKORA_ROOT/build"

workdir="${XDG_DATA_HOME:-$HOME/.local/share}/zelkora"
mkdir -p "$workdir"
cd "$workdir"
exec "$ZELKORA_ROOT/build/app/zelkora" "$@"
