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
# A first start opens the starter project on COM 1; files already there are never replaced.
if [ ! -e ini.cfg ]; then
    [ -e Relaiskarte.rel ] || cp "$ZELKORA_ROOT/app/Relaiskarte.rel" Relaiskarte.rel
    printf '0\r\nRelaiskarte.rel\r\nLeer\r\n' >ini.cfg
fi

# --virtual-card: the card simulator stands in for the card on the port the program will open
# (line 1 of ini.cfg, COM 1 without one). Its link lives in a configuration folder of this
# run's own, so the user's own port links stay untouched.
if [ "${1:-}" = --virtual-card ]; then
    shift
    port=1
    line=$(head -n 1 ini.cfg 2>/dev/null | tr -d '\r' || true)
    if [[ $line =~ ^[[:space:]]*\+?0*([0-8])$ ]]; then
        port=$((BASH_REMATCH[1] + 1))
    fi
    XDG_CONFIG_HOME=$(mktemp -d)
    export XDG_CONFIG_HOME
    "$ZELKORA_ROOT/build/tools/zelkora-cardsim" --link "$port" --paced \
        --record "$workdir/cardsim-uploads.txt" >/dev/null &
    card=$!
    trap 'kill "$card" 2>/dev/null || true; wait "$card" 2>/dev/null || true; rm -rf "$XDG_CONFIG_HOME"' EXIT
    trap 'exit 130' INT TERM HUP
    for _ in $(seq 50); do
        [ -L "$XDG_CONFIG_HOME/zelkora/com$port" ] && break
        sleep 0.1
    done
    echo "Virtual card on COM $port; uploads are recorded in $workdir/cardsim-uploads.txt"
    "$ZELKORA_ROOT/build/app/zelkora" "$@"
    exit
fi
exec "$ZELKORA_ROOT/build/app/zelkora" "$@"
