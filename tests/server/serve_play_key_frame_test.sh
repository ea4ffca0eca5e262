#!/usr/bin/env bash
# `vantiro serve` on the simulated band: a /play onto another multiplex, then
# /stream.ts. The first picture the client decodes is the first key frame the
# air sent after the lock: the server reads the new multiplex from the moment
# it locks, not from the moment it saw the lock, and its zap cache hands that
# key frame to the stream opened after the /play, whether it has read the
# multiplex's tables by then or not.
#
# The simulated air starts its stream file at the lock. Delta TV's air here has
# a single key frame, 10 ms into the file, and the multiplex locks 210 ms after
# the tune, between two of the tuner's 50 ms polls, so that the lock is seen
# some 40 ms late: a server that starts reading only then has lost that key
# frame and holds no other for ten seconds. Since the air sends no second key
# frame meanwhile, the client's start does not depend on how soon it connects.
set -uo pipefail
source "$(dirname "$0")/serve_lib.sh"
serve_on_standard_band ffprobe ffmpeg
band_channels > "$work/cfg/vantiro/channels.tsv"

echo "--- Delta TV's air: ten seconds, one group of pictures"
ffmpeg -nostdin -hide_banner -loglevel error -y \
  -f lavfi -i "testsrc=size=320x240:rate=25:duration=10" \
  -f lavfi -i "sine=frequency=550:sample_rate=48000:duration=10" \
  -map 0:v -map 1:a -c:v libx264 -preset ultrafast -tune zerolatency -profile:v main -pix_fmt yuv420p \
  -g 250 -keyint_min 250 -sc_threshold 0 -b:v 300k -maxrate 300k -bufsize 600k -x264-params nal-hrd=cbr \
  -c:a mp2 -b:a 128k -program "program_num=2049:title=Delta TV:st=0:st=1" \
  -f mpegts -pat_period 0.1 -pcr_period 20 -mpegts_pmt_start_pid 0x1000 -muxrate 1500000 "$work/air.ts" ||
  fail "no air for Delta TV"
first_key_on_air=$(ffprobe -v error -select_streams i:0x100 -show_entries packet=pts_time,flags -of csv=p=0 \
  "$work/air.ts" | grep K | cut -d, -f1)
expect_eq "key frames on air" "$(wc -l <<< "$first_key_on_air")" "1"
{
  echo 'adapter 0 name="Silicon Labs Si2168"'
  echo "mux freq=474000000 delsys=16 ts=$band_dir/mux-474.ts lock_ms=300"
  echo "mux freq=522000000 delsys=3 ts=$work/air.ts lock_ms=210"
} > "$work/band.conf"

start_server "$run" --band "$work/band.conf" -- || fail "server ended: $(cat "$work/err.txt")"
expect_eq "the first channel" "$(get /status.txt | head -2)" $'current=0\nname=Alpha TV'
expect_eq "play Delta TV" "$(post '/play?index=3')" "ok"
curl -s --max-time 60 "http://127.0.0.1:$PORT/stream.ts" | head -c 60000 > "$work/delta.ts"
stop_server

first=$(ffprobe -v error -select_streams v:0 -show_entries frame=key_frame,pts_time -read_intervals %+#1 \
  -of csv=p=0 "$work/delta.ts" 2>/dev/null)
expect_eq "the first picture decoded (key frame, time)" "${first%,}" "1,$first_key_on_air"
echo PASS
