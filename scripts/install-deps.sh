#!/usr/bin/env bash
# Installs the Debian packages ORV01 needs to build and test. Safe to run again.
# Usage: scripts/install-deps.sh [--gui]
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config clang-format
  libgtest-dev libgmock-dev
  libcli11-dev nlohmann-json3-dev
  ffmpeg  # the timing tests encode short MPEG-2/MP2 streams with it
  time    # peak memory in bench/analyze_bench.sh
)
if [[ "${1:-}" == "--gui" ]]; then
  packages+=(qt6-base-dev)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]} == 0)); then
  exit 0
fi

sudo_cmd=()
if [[ $(id -u) -ne 0 ]]; then
  command -v sudo >/dev/null || { echo "install-deps: need root or sudo to install: ${missing[*]}" >&2; exit 2; }
  sudo_cmd=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
