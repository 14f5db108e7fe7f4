#!/usr/bin/env bash
# End-to-end throughput of `orv01 analyze` (file reading, initialisation, the whole per-packet
# analysis, results page and report), page-cached, over a dense four-program MPEG-2 multiplex
# made with ffmpeg, a generated ten-program multiplex and each real capture looped to the same
# size. Each input is analysed RUNS times: min, median and max MB/s, the median packets/s, the
# largest peak RSS, and the ratio to a raw scan of the same file (read in large blocks, sync byte
# test, packets per PID) run as many times in the same run.
# Files go to a scratch folder that is removed afterwards.
# Usage: bench/analyze_bench.sh [BUILD_DIR] [GB] [RUNS]   (defaults: build, 1, 5)
# Needs: a Release build (bash scripts/build.sh) and ffmpeg (Debian package 'ffmpeg') for the
# dense multiplex; without ffmpeg that input is left out with a message.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-"$root/build"}
gb=${2:-1}
runs=${3:-5}
orv="$build/shell/orv01"
tsgen="$build/tools/tsgen/tsgen"
raw="$build/bench/raw_scan"
measured="$build/bench/run_measured"
for tool in "$orv" "$tsgen" "$raw" "$measured"; do
    [[ -x "$tool" ]] || { echo "build first: bash scripts/build.sh ($tool is missing)" >&2; exit 2; }
done

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export ORV_REGISTRY_DIR="$scratch/registry" ORV_DATA_DIR="$scratch/data"
bytes=$(awk -v g="$gb" 'BEGIN { printf "%.0f", g * 1e9 }')

# Runs "$@" under run_measured RUNS times; prints one "seconds rss" line per run. Fails when the
# command fails.
timed_runs() {
    local i
    for ((i = 0; i < runs; i++)); do
        "$measured" "$@" >/dev/null 2>"$scratch/err" || return 1
        awk '/^seconds / { print $2, $4 }' "$scratch/err"
    done
}

measure() {  # name file
    local name=$1 file=$2 size
    size=$(stat -c %s "$file")
    cat "$file" >/dev/null  # page-cached, as the goal is stated
    "$raw" "$file" >"$scratch/scan"
    if ! timed_runs "$raw" "$file" >"$scratch/raw"; then
        printf '%-34s raw scan failed: %s\n' "$name" "$(tail -n 1 "$scratch/err")"
        return
    fi
    if ! timed_runs "$orv" analyze --no-log --no-progress "$file" >"$scratch/orv"; then
        printf '%-34s not analysed: %s\n' "$name" "$(grep -v '^seconds ' "$scratch/err" | tail -n 1)"
        return
    fi
    awk -v n="$name" -v s="$size" -v scan="$(cat "$scratch/scan")" '
        function median(a, k,   t, i, j) {  # sorts a[1..k] and returns its median
            for (i = 2; i <= k; i++) { t = a[i]; for (j = i - 1; j >= 1 && a[j] > t; j--) a[j + 1] = a[j]; a[j + 1] = t }
            return k % 2 ? a[(k + 1) / 2] : (a[k / 2] + a[k / 2 + 1]) / 2
        }
        FNR == 1 { f++ }
        f == 1 { r[++nr] = $1 }
        f == 2 { o[++no] = $1; if ($2 > rss) rss = $2 }
        END {
            rawMed = median(r, nr); med = median(o, no)
            split(scan, w, " ")
            printf "%-34s %5.2f GB  MB/s min %7.1f med %7.1f max %7.1f  %6.2f Mpackets/s  peak RSS %4d MiB  raw scan %7.1f MB/s  ratio %.2f  null %s %%\n",
                n, s / 1e9, s / 1e6 / o[no], s / 1e6 / med, s / 1e6 / o[1], s / 188 / 1e6 / med,
                rss / 1024, s / 1e6 / rawMed, rawMed / med, w[10]
        }' "$scratch/raw" "$scratch/orv"
}

echo "$runs runs each; MB/s from wall time of the whole command, ratio = analysis / raw scan speed"

if bash "$root/bench/make_dense_mux.sh" "$scratch/dense.ts" "$bytes" 2>"$scratch/err"; then
    measure "dense 4 x MPEG-2, ffmpeg" "$scratch/dense.ts"
else
    printf '%-34s left out: %s\n' "dense 4 x MPEG-2, ffmpeg" "$(tail -n 1 "$scratch/err")"
fi
rm -f "$scratch/dense.ts"

# Ten programs at 38 Mbit/s: seconds for the requested size.
seconds=$(awk -v b="$bytes" 'BEGIN { printf "%d", b * 8 / 38000000 + 1 }')
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
