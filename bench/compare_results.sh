#!/usr/bin/env bash
# Compares what two builds report: `orv01 analyze` (text, and --json) of every stream in
# ../shared/streams, the bundled sample and any further files given (the bench inputs), with
# their messages and exit codes. The local times at which the run logged its events are masked;
# everything else must be byte-identical. Prints one line per input and output, and for a
# difference its first differing lines. Exit 0 when all are identical, 1 otherwise.
# Usage: bench/compare_results.sh BUILD_BEFORE BUILD_AFTER [FILE...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
before=${1:?usage: compare_results.sh BUILD_BEFORE BUILD_AFTER [FILE...]}
after=${2:?usage: compare_results.sh BUILD_BEFORE BUILD_AFTER [FILE...]}
shift 2
for b in "$before" "$after"; do
    [[ -x "$b/shell/orv01" ]] || { echo "no orv01 in $b: build it first" >&2; exit 2; }
done

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export ORV_REGISTRY_DIR="$scratch/registry" ORV_DATA_DIR="$scratch/data"

inputs=()
for f in "$root"/../shared/streams/*.ts; do [[ -f "$f" ]] && inputs+=("$f"); done
sample="$before/samples/orv01-sample.ts"
[[ -f "$sample" ]] && inputs+=("$sample")
inputs+=("$@")

# The event rows of the text report and the "time" of each JSON event carry the local time of
# the run ("HH:MM:SS Mon,DD").
mask() {
    sed -E -e 's/^(  [0-9]+ +)[0-9]{2}:[0-9]{2}:[0-9]{2} [A-Z][a-z]{2},[0-9]{2}/\1<time>/' \
        -e 's/^( *"time": ")[0-9]{2}:[0-9]{2}:[0-9]{2} [A-Z][a-z]{2},[0-9]{2}"/\1<time>"/'
}

run() {  # build format file -> masked stdout, then stderr and the exit code
    local build=$1 format=$2 file=$3 code=0
    local args=(analyze --no-log --no-progress)
    [[ $format == json ]] && args+=(--json)
    "$build/shell/orv01" "${args[@]}" "$file" >"$scratch/out" 2>"$scratch/err" || code=$?
    mask <"$scratch/out"
    echo "--- stderr"
    cat "$scratch/err"
    echo "--- exit $code"
}

differences=0
for file in "${inputs[@]}"; do
    for format in text json; do
        run "$before" "$format" "$file" >"$scratch/a"
        run "$after" "$format" "$file" >"$scratch/b"
        name="$(basename "$file") ($format)"
        if cmp -s "$scratch/a" "$scratch/b"; then
            printf '%-48s identical (%d bytes)\n' "$name" "$(stat -c %s "$scratch/a")"
        else
            differences=$((differences + 1))
            printf '%-48s DIFFERENT, first difference:\n' "$name"
            diff "$scratch/a" "$scratch/b" | head -n 8 | sed 's/^/    /'
        fi
    done
done
echo "${#inputs[@]} inputs, $differences outputs differ"
[[ $differences -eq 0 ]]
