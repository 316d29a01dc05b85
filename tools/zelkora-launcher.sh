#!/bin/sh
# Starts Zelkora in its per-user working folder: $XDG_DATA_HOME/zelkora, normally
# ~/.local/share/zelkora. A first start seeds it with ini.cfg and the starter project; files
# that are there are never replaced. Installed as /usr/bin/zelkora; ./run.sh runs it from the
# build tree with ZELKORA_PROGRAM, ZELKORA_CARDSIM and ZELKORA_STARTER set.
#   zelkora                  the program
#   zelkora --virtual-card   the program beside a virtual card on the port it will open
set -eu

here=$(dirname "$0")
for prefix in "$here/.." /usr; do
    [ -x "$prefix/lib/zelkora/zelkora" ] && break
done
program=${ZELKORA_PROGRAM:-$prefix/lib/zelkora/zelkora}
cardsim=${ZELKORA_CARDSIM:-$prefix/lib/zelkora/zelkora-cardsim}
starter=${ZELKORA_STARTER:-$prefix/share/zelkora/Relaiskarte.rel}

case "${1:-}" in
-h | --help)
    echo "Aufruf: zelkora [--virtual-card]"
    echo "Startet Zelkora im Arbeitsordner \${XDG_DATA_HOME:-~/.local/share}/zelkora;"
    echo "--virtual-card startet daneben eine virtuelle Relaiskarte. Siehe zelkora(1)."
    exit 0
    ;;
esac

workdir="${XDG_DATA_HOME:-$HOME/.local/share}/zelkora"
mkdir -p "$workdir"
cd "$workdir"
# A first start opens the starter project on COM 1; files already there are never replaced.
if [ ! -e ini.cfg ]; then
    [ -e Relaiskarte.rel ] || cp "$starter" Relaiskarte.rel
    printf '0\r\nRelaiskarte.rel\r\nLeer\r\n' >ini.cfg
fi

if [ "${1:-}" != --virtual-card ]; then
    exec "$program" "$@"
fi
shift
# The virtual card stands in for the card on the port the program will open (line 1 of
# ini.cfg, COM 1 without one). Its link lives in a configuration folder of this run's own,
# so the user's own port links stay untouched.
port=1
line=$(head -n 1 ini.cfg 2>/dev/null | tr -d '\r ' || true)
case "$line" in
[0-8] | +[0-8] | 0[0-8] | 00[0-8]) port=$((${line#+} + 1)) ;;
esac
XDG_CONFIG_HOME=$(mktemp -d)
export XDG_CONFIG_HOME
"$cardsim" --link "$port" --paced --record "$workdir/cardsim-uploads.txt" >/dev/null 2>&1 &
card=$!
trap 'kill "$card" 2>/dev/null || true; wait "$card" 2>/dev/null || true; rm -rf "$XDG_CONFIG_HOME"' EXIT
trap 'exit 130' INT TERM HUP
i=0
while [ ! -L "$XDG_CONFIG_HOME/zelkora/com$port" ] && [ $i -lt 50 ]; do
    sleep 0.1
    i=$((i + 1))
done
echo "Virtuelle Karte an COM $port; Übertragungen stehen in $workdir/cardsim-uploads.txt"
"$program" "$@"
