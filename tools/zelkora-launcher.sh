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

say() { echo "zelkora: $*" >&2; }
if [ -n "${XDG_DATA_HOME:-}" ]; then
    workdir="$XDG_DATA_HOME/zelkora"
elif [ -n "${HOME:-}" ]; then
    workdir="$HOME/.local/share/zelkora"
else
    say "weder HOME noch XDG_DATA_HOME ist gesetzt, also gibt es keinen Arbeitsordner"
    exit 1
fi
if [ -L "$workdir" ] && [ ! -e "$workdir" ]; then
    say "der Arbeitsordner $workdir ist ein Verweis ins Leere ($(readlink "$workdir"))"
    exit 1
fi
if ! mkdir -p "$workdir" 2>/dev/null || ! cd "$workdir" 2>/dev/null; then
    say "der Arbeitsordner $workdir lässt sich nicht anlegen oder öffnen"
    exit 1
fi
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
# Line 1 read as the program reads numbers: leading blanks skipped, "$", "x" or "0x" for
# hexadecimal, else an optional sign and decimal digits ("08" is 8); reading stops at the
# first character that does not belong, and then the sign is dropped.
index=$(head -n 1 ini.cfg 2>/dev/null | tr -d '\r' | awk '
    function digit(c, base) {
        c = tolower(c); d = index("0123456789abcdef", c) - 1
        return (d >= 0 && d < base) ? d : -1
    }
    {
        s = $0; sub(/^ +/, "", s); base = 10; neg = 0; v = 0
        if (s ~ /^(0x|0X)/) { base = 16; s = substr(s, 3) }
        else if (s ~ /^[$xX]/) { base = 16; s = substr(s, 2) }
        else if (s ~ /^[-+]/) { neg = (substr(s, 1, 1) == "-"); s = substr(s, 2) }
        for (i = 1; i <= length(s); i++) {
            d = digit(substr(s, i, 1), base)
            if (d < 0) { neg = 0; break }
            v = v * base + d
            if (v > 1000) v = 1000
        }
        print (neg ? -v : v); exit
    }')
port=1
case "$index" in
[0-8]) port=$((index + 1)) ;;
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
