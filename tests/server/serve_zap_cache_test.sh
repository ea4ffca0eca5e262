#!/usr/bin/env bash
# `vantiro serve` on the simulated band: a viewer who joins a multiplex that is
# already being watched gets a stream that starts at a key frame. While a viewer
# watches Alpha TV, the zap cache keeps Beta TV's packets from its last key frame
# (the demux passes them for it); a viewer of Beta TV then gets the program's
# PAT, its PMT, and video that opens with a random access point: ffprobe's first
# picture is a key frame, ffmpeg decodes it all without an error, and no
# continuity counter skips.
set -uo pipefail
source "$(dirname "$0")/serve_lib.sh"
serve_on_standard_band ffprobe ffmpeg
band_channels > "$work/cfg/vantiro/channels.tsv"


start_server "$run" --band "$band" -- || fail "server ended: $(cat "$work/err.txt")"
base=http://127.0.0.1:$PORT

echo "--- Alpha TV is watched for a few seconds: several of Beta TV's key frames go by"
curl -s --max-time 120 "$base/watch/0.ts" -o "$work/alpha.ts" & alpha=$!
# Alpha TV sends about 55 kB a second.
wait_for "no stream for Alpha TV's viewer" grown "$work/alpha.ts" 200000

echo "--- a viewer of Beta TV joins the multiplex"
curl -s --max-time 60 "$base/watch/1.ts" | head -c 200000 > "$work/beta-cut.ts"
kill $alpha; wait $alpha 2>/dev/null
stop_server

echo "--- its stream starts at a key frame and runs on whole"
# Whole packets, up to the last video frame that arrived complete.
python3 - "$work/beta-cut.ts" "$work/beta.ts" <<'PY' || fail "Beta TV's stream"
import sys
data = open(sys.argv[1], "rb").read()
packets = [data[i:i + 188] for i in range(0, len(data) - 187, 188)]
pid = lambda p: ((p[1] & 0x1F) << 8) | p[2]
start = lambda p: (p[1] & 0x40) != 0
if not packets or pid(packets[0]) != 0:
    sys.exit("the stream does not open with a PAT")
video = [i for i, p in enumerate(packets) if pid(p) == 0x102]
pmt = [i for i, p in enumerate(packets) if pid(p) == 0x1001]
if not video or not pmt or pmt[0] > video[0]:
    sys.exit("no PMT before the video")
first = packets[video[0]]
random_access = start(first) and (first[3] & 0x20) and first[4] > 0 and (first[5] & 0x40)
if not random_access:
    sys.exit("the first video packet is no random access point: %s" % first[:8].hex())
last, broken = {}, []
for p in packets:
    k, cc, payload = pid(p), p[3] & 0x0F, p[3] & 0x10
    if k in last and payload and cc != (last[k] + 1) % 16:
        broken.append(hex(k))
    last[k] = cc
if broken:
    sys.exit("continuity counters skip on %s" % sorted(set(broken)))
cut = max(i for i in video if start(packets[i]))
open(sys.argv[2], "wb").write(b"".join(packets[:cut]))
PY
first=$(ffprobe -v error -select_streams v:0 -show_entries frame=key_frame,pict_type -read_intervals %+#1 \
  -of csv=p=0 "$work/beta.ts" 2>&1)
expect_eq "first picture" "$first" "1,I"
errors=$(ffmpeg -nostdin -v error -i "$work/beta.ts" -f null - 2>&1)
expect_eq "decoding errors" "$errors" ""
expect_eq "Beta TV's streams" "$(ffprobe -v error -show_entries stream=codec_name -of csv=p=0 "$work/beta.ts" | grep . | sort -u | tr '\n' ' ')" \
  "h264 mp2 "
echo PASS
