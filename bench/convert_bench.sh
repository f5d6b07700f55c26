#!/usr/bin/env bash
# Converts the long benchmark title (about 90 s of 720x480 NTSC) with discreel-cli
# and with the ffmpeg command line doing the same work, and compares wall time,
# CPU time and peak memory.
#
#   bash bench/convert_bench.sh [BUILD_DIR] [WORK_DIR]
#
# BUILD_DIR holds bin/discreel-cli (default: build); WORK_DIR receives the long
# disc and the outputs (default: BUILD_DIR/bench-work). Each side runs RUNS times
# (default 1; RUNS=3 for steadier figures) and the fastest run counts.
#
# "The same work": ffmpeg reads the title's VOB, decodes MPEG-2 and AC-3, scales
# bicubically into the profile's frame with the bars Discreel's default clip
# settings give (zoom "keep original": the 720x480 picture keeps its 3:2 shape),
# resamples to the profile's rate and channels, and encodes with the same
# encoders, bit rates, one key frame a second, no B-frames and the encoder thread
# counts the writer sets (1 for flv and libx264; 2 only for MPEG-1/2/4 video).
# Decoders use libavcodec's default threading on both sides.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
build=${1:-build}
work=${2:-$build/bench-work}
runs=${RUNS:-1}
cli="$build/bin/discreel-cli"

die() {
  echo "convert_bench.sh: $*" >&2
  exit 1
}

[[ -x $cli ]] || die "no $cli; build the discreel-cli target first"
for tool in ffmpeg ffprobe python3 /usr/bin/time; do
  command -v "$tool" >/dev/null 2>&1 || die "'$tool' is missing"
done

mkdir -p "$work"
work=$(cd "$work" && pwd)
bash "$here/author_long.sh" "$work" >/dev/null
disc="$work/long"
vob="$disc/VIDEO_TS/VTS_01_1.VOB"
[[ -f $vob ]] || die "the long disc has no $vob"

export PROFILES_JSON
PROFILES_JSON=$("$cli" profiles --json)

# Prints the fields of a profile (by name, or the default one when the name is
# empty) as shell assignments.
profile_vars() {
  python3 - "$1" <<'PY'
import json, os, sys
want = sys.argv[1]
for p in json.loads(os.environ["PROFILES_JSON"])["profiles"]:
    if (want and p["name"] == want) or (not want and p["default"]):
        for k in ("index", "ext", "video_encoder", "width", "height", "frame_rate",
                  "video_bitrate", "audio_encoder", "sample_rate", "channels", "audio_bitrate"):
            print(f"p_{k}='{p[k]}'")
        print(f"p_name='{p['name']}'")
        break
else:
    sys.exit(f"no profile {want!r}")
PY
}

# The placement of a 720x480 crop (aspect 3:2) in a WxH frame by zoom mode 0:
# prints "scaled_w scaled_h pad_left pad_top".
placement() {
  python3 - "$1" "$2" <<'PY'
import sys
w, h = int(sys.argv[1]), int(sys.argv[2])
a = 720 / 480
l, t, r, b = 0, 0, w, h
if a > w / h:
    d = (h - int(w / a)) // 2
    t += d; b -= d
else:
    d = (w - int(h * a)) // 2
    l += d; r -= d
pads = [l, t, w - r, h - b]
pads = [(m + 1) // 2 * 2 for m in pads]
print(w - pads[0] - pads[2], h - pads[1] - pads[3], pads[0], pads[1])
PY
}

threads_for() {
  case $1 in
    mpeg1video | mpeg2video | mpeg4) echo 2 ;;
    *) echo 1 ;;
  esac
}

# Runs a command under /usr/bin/time -v and prints "wall cpu peak_kb".
measure() {
  local log="$work/time.txt"
  /usr/bin/time -v -o "$log" "$@" >"$work/cmd.log" 2>&1 || {
    cat "$work/cmd.log" >&2
    die "failed: $*"
  }
  python3 - "$log" <<'PY'
import sys
wall = cpu = peak = 0.0
for line in open(sys.argv[1]):
    key, _, value = line.strip().rpartition(": ")
    if key == "User time (seconds)" or key == "System time (seconds)":
        cpu += float(value)
    elif key.startswith("Elapsed (wall clock) time"):
        parts = [float(x) for x in value.split(":")]
        wall = sum(p * 60 ** i for i, p in enumerate(reversed(parts)))
    elif key == "Maximum resident set size (kbytes)":
        peak = float(value)
print(f"{wall:.2f} {cpu:.2f} {peak:.0f}")
PY
}

best_of() {
  local best="" line
  for ((i = 0; i < runs; i++)); do
    line=$(measure "$@")
    if [[ -z $best ]] || python3 -c "import sys; sys.exit(0 if float('${line%% *}') < float('${best%% *}') else 1)"; then
      best=$line
    fi
  done
  echo "$best"
}

durations() {
  ffprobe -v error -show_entries stream=codec_type,codec_name,width,height,duration -of compact=p=0:nk=1 "$1" |
    tr '\n' ' '
}

printf '%-40s %-9s %8s %8s %9s\n' "profile" "tool" "wall s" "cpu s" "peak MB"
status=0
for name in "" "MP4 H.264 + AAC 640x480"; do
  eval "$(profile_vars "$name")"
  read -r sw sh pl pt < <(placement "$p_width" "$p_height")
  threads=$(threads_for "$p_video_encoder")
  ours="$work/discreel"
  theirs="$work/ffmpeg"
  rm -rf "$ours" "$theirs"
  mkdir -p "$ours" "$theirs"

  d=$(best_of "$cli" convert "$disc" -o "$ours" --titles 1 --profile "$p_index")
  out_ours="$ours/Title_01$p_ext"

  vf="scale=${sw}:${sh}:flags=bicubic,pad=${p_width}:${p_height}:${pl}:${pt}:black"
  fps=$(python3 -c "f=$p_frame_rate; print({23976:'24000/1001', 29970:'30000/1001'}.get(f, f'{f//1000}'))")
  f=$(best_of ffmpeg -nostdin -hide_banner -y -i "$vob" -map 0:v:0 -map 0:a:0 \
    -vf "$vf" -r "$fps" -c:v "$p_video_encoder" -b:v "$p_video_bitrate" -g $((p_frame_rate / 1000)) -bf 0 \
    -threads:v "$threads" -sws_flags bicubic \
    -c:a "$p_audio_encoder" -b:a "$p_audio_bitrate" -ar "$p_sample_rate" -ac "$p_channels" \
    "$theirs/Title_01$p_ext")

  read -r dw dc dm <<<"$d"
  read -r fw fc fm <<<"$f"
  printf '%-40s %-9s %8.2f %8.2f %9.1f\n' "${p_name:0:40}" discreel "$dw" "$dc" "$(python3 -c "print($dm/1024)")"
  printf '%-40s %-9s %8.2f %8.2f %9.1f\n' "" ffmpeg "$fw" "$fc" "$(python3 -c "print($fm/1024)")"
  read -r rw rc < <(python3 -c "print(f'{$dw/$fw:.2f} {$dc/$fc:.2f}')")
  printf '%-40s %-9s %8s %8s\n' "" "ratio" "$rw" "$rc"
  echo "  discreel: $(durations "$out_ours")"
  echo "  ffmpeg:   $(durations "$theirs/Title_01$p_ext")"
  if python3 -c "import sys; sys.exit(0 if $dw/$fw <= 1.0 and $dm/1024 < 250 else 1)"; then
    echo "  target met (wall ratio <= 1.0, peak < 250 MB)"
  else
    echo "  TARGET MISSED (wall ratio <= 1.0, peak < 250 MB)"
    status=1
  fi
done
exit $status
