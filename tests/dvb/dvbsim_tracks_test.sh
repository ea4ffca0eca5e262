#!/usr/bin/env bash
# The standard band's 546 MHz multiplex, received through the simulated DVR
# and judged by ffprobe and ffmpeg: Echo TV carries audio in Thai and English
# (ISO 639 descriptors), Foxtrot TV English DVB subtitles whose bitmaps decode.
set -euo pipefail

[[ -n ${DVBSIM_LIB:-} ]] || { echo "DVBSIM_LIB not set"; exit 77; }
for tool in dvbv5-zap ffprobe ffmpeg python3; do
  command -v "$tool" >/dev/null || { echo "missing $tool"; exit 77; }
done

run=$VANTIRO_SOURCE_DIR/tools/dvbsim/dvbsim-run
band=$("$VANTIRO_SOURCE_DIR/tools/dvbsim/make-band" "$VANTIRO_BUILD_DIR/dvbsim-band")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

cat > "$work/channels.conf" <<'CONF'
[Echo TV]
	SERVICE_ID = 3073
	DELIVERY_SYSTEM = DVBT2
	FREQUENCY = 546000000
	BANDWIDTH_HZ = 8000000
CONF
LANG=C "$run" --band "$band" dvbv5-zap -c "$work/channels.conf" -P -r -o "$work/mux.ts" -t 4 "Echo TV" \
  > "$work/zap.log" 2>&1 || { cat "$work/zap.log"; fail "dvbv5-zap failed"; }

# "program sid pid type codec language" per stream.
# (ffprobe gives the language tags on its list of all streams, not per program.)
ffprobe -v quiet -show_entries program=program_num:stream=id,codec_type,codec_name:stream_tags=language \
  -of json "$work/mux.ts" | python3 -c '
import json, sys
info = json.load(sys.stdin)
language = {s["id"]: s.get("tags", {}).get("language", "-") for s in info["streams"]}
for p in info["programs"]:
    for s in p["streams"]:
        print(p["program_num"], s["id"], s["codec_type"], s["codec_name"], language[s["id"]])
' | sort > "$work/streams.txt"
cat "$work/streams.txt"
diff -u - "$work/streams.txt" <<'EXPECTED' || fail "streams differ"
3073 0x100 video h264 -
3073 0x101 audio mp2 tha
3073 0x102 audio mp2 eng
3074 0x103 video h264 -
3074 0x104 audio mp2 eng
3074 0x105 subtitle dvb_subtitle eng
EXPECTED

# The subtitle bitmaps decode: rendered over Foxtrot TV's picture (scaled to
# the 720x576 page), a white bar appears in the lower part of the page.
ffmpeg -v quiet -i "$work/mux.ts" -filter_complex "[0:v:1]scale=720:576,format=gray[v];[v][0:s:0]overlay" \
  -f rawvideo -pix_fmt gray -y "$work/frames.gray" || fail "ffmpeg could not render the subtitles"
python3 - "$work/frames.gray" <<'PY' || fail "no subtitle was drawn"
import sys
data = open(sys.argv[1], "rb").read()
size = 720 * 576
frames = [data[i:i + size] for i in range(0, len(data) - size + 1, size)]
# The bar: rows 508-515, columns 288-431, white (luma > 200).
drawn = sum(1 for f in frames if all(f[512 * 720 + x] > 200 and f[504 * 720 + x] < 100 for x in range(300, 420, 10)))
print("frames with the subtitle bar:", drawn, "of", len(frames))
sys.exit(0 if drawn > 0 else 1)
PY
echo PASS
