#!/usr/bin/env bash
# The Debian package as a user gets it: built from the build tree, checked by lintian,
# desktop-file-validate and appstreamcli, unpacked, and its launcher started with a fresh
# HOME, first with a stand-in for the program, then with the real one.
#   package_test.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
deb="$build/zelkora_${version}_amd64.deb"
fail() { echo "FAIL: $*" >&2; exit 1; }

rm -f "$deb"
cmake --build "$build" --target package >/dev/null
[ -f "$deb" ] || fail "no $deb"

# lintian: no error (warnings and infos are listed for the reader).
lintian_out=$(lintian --tag-display-limit 0 "$deb" 2>&1 | grep -v 'root privileges' || true)
echo "lintian: ${lintian_out:-clean}"
! grep -q '^E:' <<<"$lintian_out" || fail "lintian reports errors"

control=$(dpkg-deb -f "$deb")
for field in 'Package: zelkora' "Version: $version" 'Section: electronics' 'Priority: optional' \
    'Maintainer: ' 'Architecture: amd64'; do
    grep -q "^$field" <<<"$control" || fail "control lacks $field"
done
depends=$(dpkg-deb -f "$deb" Depends)
for dep in qt6-translations-l10n xdg-utils qt6-qpa-plugins libqt6widgets6 libqt6serialport6 libc6 \
    libssl3; do
    grep -q "$dep" <<<"$depends" || fail "Depends lacks $dep: $depends"
done
grep -q 'Relaiskarte' <<<"$(dpkg-deb -f "$deb" Description)" || fail "no German description"

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root/pkg"
for f in usr/bin/zelkora usr/lib/zelkora/zelkora usr/lib/zelkora/zelkora-cardsim \
    usr/share/applications/zelkora.desktop usr/share/icons/hicolor/scalable/apps/zelkora.svg \
    usr/share/metainfo/org.zelkora.Zelkora.metainfo.xml usr/share/man/man1/zelkora.1.gz \
    usr/share/man/man1/zelkora-cardsim.1.gz usr/share/man/de/man1/zelkora.1.gz \
    usr/share/zelkora/Relaiskarte.rel usr/share/zelkora/help/index.html \
    usr/share/zelkora/help/fenster-timer.png usr/share/doc/zelkora/copyright \
    usr/share/doc/zelkora/changelog.gz usr/bin/zelkora-cli usr/share/man/man1/zelkora-cli.1.gz \
    usr/share/man/de/man1/zelkora-cli.1.gz usr/share/doc/zelkora/projekt-json.md \
    usr/share/doc/zelkora/netzwerk.md usr/share/doc/zelkora/anlage-json.md; do
    [ -e "$root/pkg/$f" ] || fail "package lacks /$f"
done
for size in 16 22 24 32 48 64 128 256; do
    png="$root/pkg/usr/share/icons/hicolor/${size}x${size}/apps/zelkora.png"
    kind=$(file "$png")
    grep -q "PNG image data, $size x $size" <<<"$kind" || fail "icon $size: $kind"
done
[ -x "$root/pkg/usr/bin/zelkora" ] || fail "/usr/bin/zelkora is not executable"
desktop-file-validate "$root/pkg/usr/share/applications/zelkora.desktop" || fail "desktop entry"
grep -q '^Exec=zelkora$' "$root/pkg/usr/share/applications/zelkora.desktop" || fail "Exec"
appstreamcli validate --no-net "$root/pkg/usr/share/metainfo/org.zelkora.Zelkora.metainfo.xml" ||
    fail "AppStream entry"
grep -q 'BESCHREIBUNG' <<<"$(zcat "$root/pkg/usr/share/man/man1/zelkora.1.gz")" || fail "man page not German"
cmp -s "$root/pkg/usr/share/zelkora/Relaiskarte.rel" "$(dirname "$0")/../../app/Relaiskarte.rel" ||
    fail "starter project differs"

# The command-line tool from the package, with a fresh HOME and no desktop at all: it reads
# the packaged starter project, round-trips it through JSON and draws the week plan.
cli="$root/pkg/usr/bin/zelkora-cli"
grep -q 'RÜCKGABEWERT' <<<"$(zcat "$root/pkg/usr/share/man/man1/zelkora-cli.1.gz")" ||
    fail "zelkora-cli man page"
clihome="$root/cli-home"
mkdir -p "$clihome"
run_cli() { (cd "$clihome" && env -i HOME="$clihome" PATH=/usr/bin:/bin "$cli" "$@"); }
# Output is captured before it is matched: a reader that stops at its first match would kill
# the writer with SIGPIPE, and pipefail would fail the check by chance.
grep -q '^Befehle:' <<<"$(run_cli --help)" || fail "zelkora-cli --help"
shown=$(run_cli show "$root/pkg/usr/share/zelkora/Relaiskarte.rel") || fail "zelkora-cli show"
grep -q '^Relais 8 (Relais 8)$' <<<"$shown" || fail "zelkora-cli show"
run_cli export "$root/pkg/usr/share/zelkora/Relaiskarte.rel" -o starter.json || fail "export"
run_cli import starter.json -o starter.rel || fail "import"
cmp -s "$clihome/starter.rel" "$root/pkg/usr/share/zelkora/Relaiskarte.rel" || fail "round trip differs"
run_cli plan starter.rel -o woche.png 2>"$root/cli.err" || { cat "$root/cli.err"; fail "plan"; }
[ ! -s "$root/cli.err" ] || { cat "$root/cli.err"; fail "plan printed to standard error"; }
kind=$(file "$clihome/woche.png")
grep -q 'PNG image data, 1240 x 1754' <<<"$kind" || fail "plan: $kind"
set +e
run_cli import "$clihome/woche.png" -o kaputt.rel 2>/dev/null
rc=$?
set -e
[ $rc -eq 2 ] && [ ! -e "$clihome/kaputt.rel" ] || fail "a bad import gave $rc or left a file"

# The packaged keygen: a key for its owner alone, a certificate openssl reads with its name.
made=$(run_cli keygen --name paket) || fail "zelkora-cli keygen: $made"
key="$clihome/.config/zelkora/client.key"
[ -n "$key" ] && [ "$(stat -c %a "$key")" = 600 ] || fail "keygen: key ${key:-missing} not 0600"
subject=$(openssl x509 -in "${key%.key}.crt" -noout -subject) || fail "keygen: no certificate"
grep -q 'CN = paket' <<<"$subject" || fail "keygen: $subject"
grep -q "$(openssl x509 -in "${key%.key}.crt" -noout -fingerprint -sha256 | cut -d= -f2)" \
    <<<"$made" || fail "keygen printed another fingerprint: $made"

# The packaged virtual card, asked by the packaged tool's status: metrics promtool accepts.
"$root/pkg/usr/lib/zelkora/zelkora-cardsim" --quiet --paced >"$root/card.out" 2>/dev/null &
card=$!
trap 'kill $card 2>/dev/null || true; rm -rf "$root"' EXIT
for _ in $(seq 300); do [ -s "$root/card.out" ] && break; sleep 0.1; done
device=$(head -n 1 "$root/card.out")
[ -n "$device" ] || fail "zelkora-cardsim gave no device"
run_cli status --port "$device" --prometheus "$clihome/zelkora.prom" >"$root/status.out" ||
    { cat "$root/status.out"; fail "zelkora-cli status"; }
grep -q 'Version 137' "$root/status.out" || fail "zelkora-cli status: $(cat "$root/status.out")"
promtool check metrics <"$clihome/zelkora.prom" || fail "status metrics"
grep -q '^zelkora_card_humidity_percent{card=".*"} 45$' "$clihome/zelkora.prom" ||
    fail "status metrics: $(cat "$clihome/zelkora.prom")"
kill $card

# The launcher with a stand-in: where it starts the program, and what it seeds.
stub="$root/stand-in"
cat >"$stub" <<'STUB'
#!/bin/sh
{ pwd; echo "$@"; } >"$STAND_IN_LOG"
STUB
chmod +x "$stub"
home="$root/home"
mkdir -p "$home"
export STAND_IN_LOG="$root/stand-in.log"
HOME=$home XDG_DATA_HOME= ZELKORA_PROGRAM=$stub "$root/pkg/usr/bin/zelkora" --eins
work="$home/.local/share/zelkora"
[ "$(sed -n 1p "$STAND_IN_LOG")" = "$work" ] || fail "program not started in $work"
[ "$(sed -n 2p "$STAND_IN_LOG")" = "--eins" ] || fail "arguments not passed on"
[ "$(od -An -c "$work/ini.cfg" | tr -s ' ')" = "$(printf '0\r\nRelaiskarte.rel\r\nLeer\r\n' | od -An -c | tr -s ' ')" ] ||
    fail "ini.cfg seeded wrong"
cmp -s "$work/Relaiskarte.rel" "$root/pkg/usr/share/zelkora/Relaiskarte.rel" || fail "starter not seeded"

# Files that are there are never replaced: an own ini.cfg, or a project without ini.cfg.
printf '3\r\nanlage.rel\r\nLeer\r\n' >"$work/ini.cfg"
printf 'own' >"$work/Relaiskarte.rel"
HOME=$home ZELKORA_PROGRAM=$stub "$root/pkg/usr/bin/zelkora"
[ "$(cat "$work/ini.cfg")" = "$(printf '3\r\nanlage.rel\r\nLeer\r\n')" ] || fail "ini.cfg replaced"
[ "$(cat "$work/Relaiskarte.rel")" = own ] || fail "project replaced"
rm "$work/ini.cfg"
HOME=$home ZELKORA_PROGRAM=$stub "$root/pkg/usr/bin/zelkora"
[ "$(cat "$work/Relaiskarte.rel")" = own ] || fail "project replaced without ini.cfg"
[ -f "$work/ini.cfg" ] || fail "ini.cfg not seeded again"
# XDG_DATA_HOME moves the working folder.
HOME=$home XDG_DATA_HOME="$root/data" ZELKORA_PROGRAM=$stub "$root/pkg/usr/bin/zelkora"
[ -f "$root/data/zelkora/ini.cfg" ] || fail "XDG_DATA_HOME not used"

# What stops the launcher is said in German: no HOME at all, a working folder that is a
# dangling link.
set +e
msg=$(env -u HOME XDG_DATA_HOME= ZELKORA_PROGRAM=$stub "$root/pkg/usr/bin/zelkora" 2>&1)
rc=$?
[ $rc -eq 1 ] && grep -q '^zelkora: weder HOME noch XDG_DATA_HOME' <<<"$msg" || fail "no HOME: $rc $msg"
mkdir -p "$root/dangling"
ln -sfn "$root/nirgends" "$root/dangling/zelkora"
msg=$(HOME=$home XDG_DATA_HOME="$root/dangling" ZELKORA_PROGRAM=$stub "$root/pkg/usr/bin/zelkora" 2>&1)
rc=$?
[ $rc -eq 1 ] && grep -q 'ist ein Verweis ins Leere' <<<"$msg" || fail "dangling folder: $rc $msg"
set -e
# The virtual card stands on the port the program reads from line 1, "08" being COM 9.
cat >"$root/stand-in-ports" <<'STUB'
#!/bin/sh
ls "$XDG_CONFIG_HOME/zelkora" >"$STAND_IN_LOG"
STUB
chmod +x "$root/stand-in-ports"
for line in 08 008 ' 0x3'; do
    printf '%s\r\nRelaiskarte.rel\r\nLeer\r\n' "$line" >"$work/ini.cfg"
    HOME=$home XDG_DATA_HOME= ZELKORA_PROGRAM="$root/stand-in-ports" "$root/pkg/usr/bin/zelkora" \
        --virtual-card >/dev/null 2>"$root/launcher.err" || { cat "$root/launcher.err"; fail "line $line"; }
    expected=com9
    [ "$line" = ' 0x3' ] && expected=com4
    [ "$(cat "$STAND_IN_LOG")" = "$expected" ] || fail "line 1 \"$line\": card on $(cat "$STAND_IN_LOG")"
done

# The real program from the package, as the menu entry starts it, with a fresh HOME: it must
# come up and stay up (no error box, so nothing waits for a click) until it is stopped.
fresh="$root/fresh"
mkdir -p "$fresh"
set +e
HOME=$fresh XDG_DATA_HOME= XDG_CONFIG_HOME= QT_QPA_PLATFORM=offscreen \
    timeout 4 "$root/pkg/usr/bin/zelkora" >"$root/real.log" 2>&1
rc=$?
set -e
[ $rc -eq 124 ] || { cat "$root/real.log"; fail "the packaged program ended with $rc"; }
[ -f "$fresh/.local/share/zelkora/Relaiskarte.rel" ] || fail "real start seeded nothing"
echo "package checks: all passed"
