#!/usr/bin/env bash
# Configures and builds ORV01 with CMake and Ninja.
# Usage: scripts/build.sh [BUILD_DIR] [extra CMake arguments...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-"$root/build"}
shift || true
jobs=$(nproc 2>/dev/null || echo 2)
cmake -S "$root" -B "$build" -G Ninja "$@" >/dev/null
cmake --build "$build" -j "$jobs"
