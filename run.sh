#!/usr/bin/env bash
# Installs what is missing, builds, and starts Zelkora in its per-user working folder, the
# same way the installed command zelkora does (tools/zelkora-launcher.sh).
#   ./run.sh [--virtual-card]
set -euo pipefail
ZELKORA_ROOT=$(cd "$(dirname "$0")" && pwd)
export ZELKORA_ROOT
. "$ZELKORA_ROOT/tools/setup.sh"

zelkora_install_packages
zelkora_build "$ZELKORA_ROOT/build"

export ZELKORA_PROGRAM="$ZELKORA_ROOT/build/app/zelkora"
export ZELKORA_CARDSIM="$ZELKORA_ROOT/build/tools/zelkora-cardsim"
export ZELKORA_STARTER="$ZELKORA_ROOT/app/Relaiskarte.rel"
exec "$ZELKORA_ROOT/tools/zelkora-launcher.sh" "$@"
