#!/usr/bin/env bash
# Configures and builds ORV01 with CMake and Ninja: a Release build (-O3, as it ships) unless the
# extra arguments name another CMAKE_BUILD_TYPE.
# Usage: scripts/build.sh [BUILD_DIR] [extra CMake arguments...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-"$root/build"}
shift || true
jobs=$(nproc 2>/dev/null || echo 2)
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null
cmake --build "$build" -j "$jobs"
