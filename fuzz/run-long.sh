#!/usr/bin/env bash
# The same targets as ./test.sh runs, for longer (default 10 minutes each, two at a time).
#   fuzz/run-long.sh [seconds per target]
set -euo pipefail
exec "$(dirname "$0")/run.sh" "${1:-600}"
