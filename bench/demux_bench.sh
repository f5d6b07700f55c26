#!/usr/bin/env bash
# Demultiplexer throughput on the long benchmark disc: source + splitter into
# counting sinks, against `ffmpeg -c copy -f null` on the same VOB bytes, in the
# same run. Prints both times (best of N) and their ratio (splitter / ffmpeg).
#   bash bench/demux_bench.sh BUILD_DIR [runs]
set -euo pipefail
build=${1:?usage: demux_bench.sh BUILD_DIR [runs]}
runs=${2:-5}
here=$(cd "$(dirname "$0")" && pwd)
dir="$build/fixtures"
bash "$here/author_long.sh" "$dir" >/dev/null
cmake --build "$build" --target demux_bench >/dev/null

vobs=$(ls "$dir"/long/VIDEO_TS/VTS_01_[1-9].VOB | paste -sd'|')
input="$vobs"
[[ "$vobs" == *"|"* ]] && input="concat:$vobs"
bytes=$(cat "$dir"/long/VIDEO_TS/VTS_01_[1-9].VOB | wc -c)

best_ffmpeg=
for _ in $(seq "$runs"); do
  s=$(date +%s.%N)
  ffmpeg -v error -i "$input" -map 0 -c copy -f null - 2>/dev/null
  e=$(date +%s.%N)
  t=$(echo "$e - $s" | bc -l)
  if [[ -z "$best_ffmpeg" ]] || (( $(echo "$t < $best_ffmpeg" | bc -l) )); then best_ffmpeg=$t; fi
done

read -r best_splitter delivered < <("$build/bin/demux_bench" "$dir/long" 1 "$runs")

# The same as a whole process (start, DVD open, scan, demultiplexing, exit), as
# the ffmpeg figure is.
best_process=
for _ in $(seq "$runs"); do
  s=$(date +%s.%N)
  "$build/bin/demux_bench" "$dir/long" 1 1 >/dev/null
  e=$(date +%s.%N)
  t=$(echo "$e - $s" | bc -l)
  if [[ -z "$best_process" ]] || (( $(echo "$t < $best_process" | bc -l) )); then best_process=$t; fi
done

printf 'title bytes:   %d\n' "$bytes"
printf 'delivered:     %d payload bytes\n' "$delivered"
printf 'splitter:      %.3f s (best of %d)\n' "$best_splitter" "$runs"
printf 'whole process: %.3f s (best of %d)\n' "$best_process" "$runs"
printf 'ffmpeg copy:   %.3f s (best of %d, whole process)\n' "$best_ffmpeg" "$runs"
printf 'ratio:         %.2f in-process, %.2f process to process (splitter / ffmpeg; below 1 is faster)\n' \
  "$(echo "$best_splitter / $best_ffmpeg" | bc -l)" "$(echo "$best_process / $best_ffmpeg" | bc -l)"
