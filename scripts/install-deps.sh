#!/usr/bin/env bash
# Installs the Debian packages ORV01 needs to build and test. Safe to run again.
# Usage: scripts/install-deps.sh [--gui] [--fuzz]
#   --fuzz  clang 14 and its compiler runtime (libclang-rt-14-dev holds libFuzzer, the runtime of
#           -fsanitize=fuzzer, and FuzzedDataProvider.h) for scripts/fuzz.sh
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config clang-format
  libgtest-dev libgmock-dev
  libcli11-dev nlohmann-json3-dev
  libxml2-dev  # the HTML report test reads the page back with a strict parser
  ffmpeg  # the timing tests encode short MPEG-2/MP2 streams with it
  time    # peak memory in bench/analyze_bench.sh
)
for arg in "$@"; do
  case "$arg" in
    --gui) packages+=(qt6-base-dev xvfb xauth fonts-wqy-zenhei) ;;
    --fuzz) packages+=(clang-14 libclang-rt-14-dev) ;;
    *) echo "install-deps: unknown option $arg" >&2; exit 2 ;;
  esac
done

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
