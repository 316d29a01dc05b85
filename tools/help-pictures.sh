#!/usr/bin/env bash
# Makes the pictures of the help document from the program itself, under Xvfb, so they show
# the window as it is: tools/help-pictures.sh [BUILD_DIR] (default build/). Writes
# docs/help/*.png; commit them with the change of the window.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
command -v xvfb-run >/dev/null || { echo "help-pictures: xvfb-run missing (apt install xvfb xauth)" >&2; exit 1; }
env -u QT_QPA_PLATFORM -u WAYLAND_DISPLAY XDG_RUNTIME_DIR="$(mktemp -d)" \
    xvfb-run -a -s "-screen 0 1024x768x24 -dpi 96" \
    "$build/tools/zelkora-helppictures" "$root/docs/help"
ls -l "$root"/docs/help/*.png
