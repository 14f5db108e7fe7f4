#!/usr/bin/env bash
# Responsiveness of the desktop program under load: makes a generated ten-program stream of GB
# gigabytes with a transport error, a continuity skip and a scrambled packet every 50 ms (so events
# flow all through the run and the event list fills and goes to the error log several times),
# then runs bench/gui_responsiveness on it under Xvfb: resizes, page switches and scrolls every
# 50 ms during the offline run, and prints the largest 5 ms timer gap and the time from each
# action to the window's repaint. Exit status 1 when anything took over 100 ms.
# Files go to a scratch folder that is removed afterwards.
# Usage: bench/gui_responsiveness.sh [BUILD_DIR] [GB] [-- options of gui_responsiveness]
#   (defaults: build, 1, -- --runs 5; e.g. bench/gui_responsiveness.sh build 1 -- --runs 10)
# Needs: a build with -DORV_BUILD_GUI=ON (targets tsgen and gui_responsiveness) and xvfb-run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-"$root/build"}
gb=${2:-1}
shift $(($# > 2 ? 2 : $#))
[[ ${1:-} == -- ]] && shift
tsgen="$build/tools/tsgen/tsgen"
probe="$build/bench/gui_responsiveness"
for tool in "$tsgen" "$probe"; do
    [[ -x "$tool" ]] || { echo "build first ($tool is missing)" >&2; exit 2; }
done
command -v xvfb-run >/dev/null || { echo "xvfb-run is missing (Debian package 'xvfb')" >&2; exit 2; }

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export ORV_REGISTRY_DIR="$scratch/registry" ORV_DATA_DIR="$scratch/data"
# tsgen looks at every fault for every packet: a 20 s segment with its faults, repeated to the
# size (the seams add a continuity and a PCR event per PID, which only adds to the flow).
faults=()
while read -r f; do faults+=(--fault "$f"); done < <(awk 'BEGIN {
    for (t = 0.5; t < 19.5; t += 0.05) {
        printf "tei@%.2fs\n", t; printf "cc-skip@%.2fs\n", t + 0.01; printf "scramble@%.2fs\n", t + 0.02
    } }')
"$tsgen" --preset ten-programs --bitrate 38 --seconds 20 "${faults[@]}" \
    -o "$scratch/segment.ts" 2>"$scratch/tsgen.err" || { cat "$scratch/tsgen.err" >&2; exit 2; }
tail -n 1 "$scratch/tsgen.err"
bytes=$(awk -v g="$gb" 'BEGIN { printf "%.0f", g * 1e9 }')
: >"$scratch/faulty.ts"
while (($(stat -c %s "$scratch/faulty.ts") < bytes)); do cat "$scratch/segment.ts" >>"$scratch/faulty.ts"; done
rm -f "$scratch/segment.ts"
cat "$scratch/faulty.ts" >/dev/null  # page-cached: the run is bound by the analysis, not the disk
# An idle machine analyses 1 GB in well under a second: five passes give the actions time.
(($# > 0)) || set -- --runs 5
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1600x1000x24" "$probe" "$scratch/faulty.ts" "$@"
