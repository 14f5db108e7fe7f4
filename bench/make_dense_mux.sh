#!/usr/bin/env bash
# Writes the dense multiplex of the end-to-end bench: four programs, each 7 Mbit/s MPEG-2 video
# (720x576, 25 Hz, from the lavfi test sources with a little noise so the encoder spends its bits)
# and 192 kbit/s MPEG-1 Layer II audio, at a 31 Mbit/s mux rate (about 1 % null packets). A 20 s
# piece is encoded once and looped until the file reaches the requested size.
# Needs ffmpeg (Debian package 'ffmpeg'). Usage: bench/make_dense_mux.sh OUT BYTES
set -euo pipefail
out=${1:?usage: make_dense_mux.sh OUT BYTES}
bytes=${2:?usage: make_dense_mux.sh OUT BYTES}
command -v ffmpeg >/dev/null || { echo "needs ffmpeg (Debian package 'ffmpeg')" >&2; exit 2; }

sources=(testsrc2 smptehdbars mandelbrot rgbtestsrc)
tones=(440 550 660 880)
inputs=() maps=() programs=()
for i in 0 1 2 3; do
    inputs+=(-f lavfi -i "${sources[i]}=size=720x576:rate=25,noise=alls=12:allf=t+u,format=yuv420p")
    inputs+=(-f lavfi -i "sine=frequency=${tones[i]}:sample_rate=48000")
    maps+=(-map "$((2 * i)):v" -map "$((2 * i + 1)):a")
    programs+=(-program "program_num=$((i + 1)):title=P$((i + 1)):st=$((2 * i)):st=$((2 * i + 1))")
done
piece="$out.piece"
trap 'rm -f "$piece"' EXIT
ffmpeg -hide_banner -loglevel error -nostdin -y "${inputs[@]}" "${maps[@]}" -t 20 \
    -c:v mpeg2video -b:v 7M -minrate 7M -maxrate 7M -bufsize 1835k -g 12 -bf 2 \
    -c:a mp2 -b:a 192k -ar 48000 "${programs[@]}" -f mpegts -muxrate 31M "$piece"
: >"$out"
while (($(stat -c %s "$out") < bytes)); do cat "$piece" >>"$out"; done
