#!/usr/bin/env bash
# `vantiro serve --demo clip.ts` with a clip made by ffmpeg: the stream is the
# clip from its first byte, looped without a gap, and ffprobe reads it as the
# clip's video and audio.
set -uo pipefail
source "$(dirname "$0")/serve_lib.sh"
for tool in ffmpeg ffprobe; do command -v $tool >/dev/null || { echo "missing $tool"; exit 77; }; done

ffmpeg -loglevel error -f lavfi -i testsrc=size=160x120:rate=25 -f lavfi -i sine=frequency=440 \
  -t 1 -c:v libx264 -g 25 -c:a mp2 -f mpegts "$work/clip.ts" || fail "ffmpeg"
clip_size=$(stat -c %s "$work/clip.ts")

channel_list $'News\t474000000\t16\t1\t256\t512\t650\t512' $'Music\t474000000\t16\t2\t257\t0\t651\t651' \
  > "$work/cfg/vantiro/channels.tsv"
start_server -- --demo "$work/clip.ts" || fail "server ended: $(cat "$work/err.txt")"
expect_eq "status" "$(get /status.txt)" $'current=0\nname=News\nchannels=2\nmode=demo'

echo "--- the stream is the clip, looped"
want=$((clip_size * 5 / 2))
curl -s --max-time 30 "http://127.0.0.1:$PORT/stream.ts" -D "$work/headers.txt" 2>/dev/null \
  | head -c "$want" > "$work/stream.ts"
grep -qi '^Content-Type: video/mp2t' "$work/headers.txt" || fail "headers: $(cat "$work/headers.txt")"
python3 - "$work/clip.ts" "$work/stream.ts" <<'PY' || fail "the stream is not the looped clip"
import sys
clip, stream = (open(p, "rb").read() for p in sys.argv[1:])
looped = (clip * 3)[:len(stream)]
if len(stream) < 2 * len(clip) or stream != looped:
    sys.exit("stream of %d bytes differs from the looped clip of %d" % (len(stream), len(clip)))
PY
streams=$(ffprobe -v error -show_entries stream=codec_name -of csv=p=0 "$work/stream.ts" 2>/dev/null | grep -v '^$' | sort -u | tr '\n' ' ')
expect_eq "streams" "$streams" "h264 mp2 "

echo "--- switching in demo mode changes the index only"
expect_eq "play" "$(post '/play?index=1')" "ok"
expect_eq "status" "$(get /status.txt)" $'current=1\nname=Music\nchannels=2\nmode=demo'
curl -s --max-time 5 "http://127.0.0.1:$PORT/stream.ts" | head -c 1000 > "$work/again.ts"
cmp -s <(head -c 1000 "$work/clip.ts") "$work/again.ts" || fail "a new client does not start at the clip's beginning"

echo "--- every channel's own URL streams the clip too"
curl -s --max-time 5 "http://127.0.0.1:$PORT/watch/0.ts" | head -c 1000 > "$work/watch.ts"
cmp -s <(head -c 1000 "$work/clip.ts") "$work/watch.ts" || fail "/watch does not stream the clip"

echo PASS
