#!/usr/bin/env bash
# Authors a long NTSC disc for the benchmarks into DIR (default: ./bench-fixtures):
#   DIR/long/VIDEO_TS  one title of about 90 s (2697 pictures, 720x480, 29.97 fps, 4:3;
#                      the IFO says 89.934 s in its 30-frame BCD seconds),
#                      chapters at 0, 30 and 60 s (snapped to GOP starts),
#                      AC-3 stereo 48 kHz "en" at 192 kbit/s with a 440 Hz tone
#   DIR/long.iso       the same as an ISO image (volume label DISCREEL_LONG)
# Pictures are ffmpeg's testsrc at DVD bit rates (-target ntsc-dvd).
# Made once per directory: a stamp holding the hash of this script makes a
# second run return at once; an interrupted run leaves nothing that looks done.
set -euo pipefail

out=${1:-bench-fixtures}
self=${BASH_SOURCE[0]}

die() {
  echo "author_long.sh: $*" >&2
  exit 1
}

for tool in ffmpeg dvdauthor genisoimage sha256sum flock; do
  command -v "$tool" >/dev/null 2>&1 ||
    die "'$tool' is missing; install ffmpeg, dvdauthor, genisoimage (scripts/setup does)"
done

mkdir -p "$out"
out=$(cd "$out" && pwd)
stamp="$out/.authored-long"
hash=$(sha256sum <"$self" | cut -d' ' -f1)

exec 9>"$out/.lock-long"
flock 9
if [[ -f $stamp && $(cat "$stamp") == "$hash" ]]; then
  exit 0
fi

started=$SECONDS
tmp=$(mktemp -d "$out/.authoring-long.XXXXXX")
trap 'rm -rf "$tmp"' EXIT

run() {
  if ! "$@" >"$tmp/log.txt" 2>&1; then
    cat "$tmp/log.txt" >&2
    die "failed: $*"
  fi
}

run ffmpeg -nostdin -hide_banner -y \
  -f lavfi -i "testsrc=size=720x480:rate=30000/1001" \
  -f lavfi -i "sine=frequency=440:sample_rate=48000" \
  -map 0:v -map 1:a -t 90 -target ntsc-dvd -aspect 4:3 \
  -c:a ac3 -ac 2 -b:a 192k "$tmp/long.mpg"

cat >"$tmp/long.xml" <<XML
<dvdauthor>
  <vmgm/>
  <titleset>
    <titles>
      <video format="ntsc" aspect="4:3"/>
      <audio format="ac3" lang="en"/>
      <pgc><vob file="$tmp/long.mpg" chapters="0,00:00:30,00:01:00"/></pgc>
    </titles>
  </titleset>
</dvdauthor>
XML
VIDEO_FORMAT=NTSC run dvdauthor -o "$tmp/long" -x "$tmp/long.xml"
run genisoimage -quiet -dvd-video -V DISCREEL_LONG -o "$tmp/long.iso" "$tmp/long"

rm -f "$stamp"
rm -rf "$out/long" "$out/long.iso"
mv "$tmp/long" "$tmp/long.iso" "$out/"
echo "$hash" >"$stamp"
echo "author_long.sh: long NTSC disc authored in $out ($((SECONDS - started)) s)"
