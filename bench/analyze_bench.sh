#!/usr/bin/env bash
# End-to-end throughput of `orv01 analyze` (file reading, initialisation, the whole per-packet
# analysis, results page and report) over a generated ten-program multiplex and over each real
# capture looped to the same size, with peak memory. Files go to a scratch folder that is removed
# afterwards. Usage: bench/analyze_bench.sh [BUILD_DIR] [GB]   (defaults: build, 1)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-"$root/build"}
gb=${2:-1}
orv="$build/shell/orv01"
tsgen="$build/tools/tsgen/tsgen"
[[ -x "$orv" && -x "$tsgen" ]] || { echo "build first: bash scripts/build.sh" >&2; exit 2; }
command -v /usr/bin/time >/dev/null || { echo "needs /usr/bin/time (Debian package 'time')" >&2; exit 2; }

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export ORV_REGISTRY_DIR="$scratch/registry" ORV_DATA_DIR="$scratch/data"
bytes=$((gb * 1000000000))

measure() {  # name file
    local name=$1 file=$2 size start end
    size=$(stat -c %s "$file")
    cat "$file" >/dev/null  # page-cached, as the goal is stated
    start=$(date +%s.%N)
    if ! /usr/bin/time -f "%M" -o "$scratch/rss" "$orv" analyze --no-log --no-progress "$file" \
        >/dev/null 2>"$scratch/err"; then
        printf '%-34s not analysed: %s\n' "$name" "$(tail -n 1 "$scratch/err")"
        return
    fi
    end=$(date +%s.%N)
    awk -v n="$name" -v s="$size" -v t0="$start" -v t1="$end" -v rss="$(cat "$scratch/rss")" \
        'BEGIN { t = t1 - t0; printf "%-34s %6.2f GB  %7.3f s  %8.1f MB/s  %6.2f Mpackets/s  peak RSS %d MiB\n",
                 n, s / 1e9, t, s / 1e6 / t, s / 188 / 1e6 / t, rss / 1024 }'
}

# Ten programs at 38 Mbit/s: seconds for the requested size.
seconds=$((bytes * 8 / 38000000 + 1))
"$tsgen" --preset ten-programs --bitrate 38 --seconds "$seconds" -o "$scratch/ten.ts" 2>/dev/null
measure "ten programs, generated" "$scratch/ten.ts"
rm -f "$scratch/ten.ts"

streams="$root/../shared/streams"
for capture in cap-mpeg2-mp2-sdt.ts cap-h264-mp2-sdt.ts cap-mpeg2-dts-mp2.ts; do
    [[ -f "$streams/$capture" ]] || continue
    : >"$scratch/loop.ts"
    while (($(stat -c %s "$scratch/loop.ts") < bytes)); do cat "$streams/$capture" >>"$scratch/loop.ts"; done
    measure "$capture looped" "$scratch/loop.ts"
    rm -f "$scratch/loop.ts"
done
