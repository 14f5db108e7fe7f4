#!/usr/bin/env bash
# Installs what is missing, builds, and analyses the bundled sample stream (made by tsgen at build
# time). Extra arguments go to `orv01 analyze`, e.g. --json.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/install-deps.sh" >&2
bash "$root/scripts/build.sh" "$root/build" >&2
exec "$root/build/shell/orv01" analyze "$root/build/samples/orv01-sample.ts" "$@"
