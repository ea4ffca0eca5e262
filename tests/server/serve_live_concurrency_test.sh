#!/usr/bin/env bash
# `vantiro serve` on the simulated band (also run under TSan): the routes, switching between
# multiplexes, and /stream.ts judged by ffprobe: exactly the chosen service's
# video and audio (and the PAT), nothing of the other services.
set -uo pipefail
source "$(dirname "$0")/serve_lib.sh"
serve_on_standard_band ffprobe
list=$work/cfg/vantiro/channels.tsv

# capture NAME BYTES: the first BYTES of the stream into NAME.ts, however long a
# loaded machine takes to deliver them (the time limit only bounds a failure).
capture() {
  curl -s --max-time 120 "http://127.0.0.1:$PORT/stream.ts" 2>/dev/null | head -c "$2" > "$work/$1.ts"
}
# wait_until COMMAND...: retries until COMMAND succeeds, for at most 120 s.
wait_until() {
  local deadline=$((SECONDS + 120))
  until "$@"; do
    ((SECONDS < deadline)) || return 1
    sleep 0.1
  done
}
receiving() { [[ -s $1 ]]; }
ended() { ! kill -0 "$1" 2>/dev/null; }

# PIDs found in a capture, in hex, sorted.
pids_of() {
  python3 - "$1" <<'PY'
import sys
data = open(sys.argv[1], "rb").read()
start = data.find(b"\x47")
pids = set()
for i in range(start, len(data) - 187, 188):
    if data[i] != 0x47:
        sys.exit("lost sync at %d" % i)
    pids.add(((data[i + 1] & 0x1F) << 8) | data[i + 2])
print(" ".join("0x%x" % p for p in sorted(pids)))
PY
}

streams_of() {
  # "type,id" per stream (ffprobe lists them once per program and once alone)
  ffprobe -v error -show_entries stream=id,codec_type -of csv=p=0 "$1" 2>/dev/null | grep -v '^$' | sort -u | tr '\n' ' '
}

echo "--- start-up on the band"
band_channels > "$list"
start_server "$run" --band "$band" -- || fail "server ended: $(cat "$work/err.txt")"
expect_eq "stdout" "$(cat "$work/out.txt")" "frontend: Silicon Labs Si2168, 4 channels
playing Alpha TV (474 MHz)
Vantiro server on http://0.0.0.0:$PORT  (/channels.txt, /play?index=N, /stream.ts)"
expect_eq "channels" "$(get /channels.txt)" "0	Alpha TV	474	0	dvb	
1	Beta TV	474	0	dvb	
2	Radio Gamma	474	1	dvb	
3	Delta TV	522	0	dvb	"
expect_eq "status" "$(get /status.txt)" $'current=0\nname=Alpha TV\nchannels=4\nmode=tuner'

echo "--- switch to Beta TV and stream it"
expect_eq "play" "$(post '/play?index=1')" "ok"
expect_eq "status" "$(get /status.txt)" $'current=1\nname=Beta TV\nchannels=4\nmode=tuner'
grep -qx "playing Beta TV (474 MHz)" "$work/out.txt" || fail "no playing line"
capture beta 330000
[[ $(stat -c %s "$work/beta.ts") -gt 100000 ]] || fail "short stream: $(stat -c %s "$work/beta.ts") bytes"
expect_eq "PIDs of Beta TV" "$(pids_of "$work/beta.ts")" "0x0 0x102 0x103 0x1001"
expect_eq "streams of Beta TV" "$(streams_of "$work/beta.ts")" "audio,0x103 video,0x102 "

echo "--- a client that comes long after the switch still gets the live stream"
sleep 6   # far longer than the DVR buffer holds without a reader
capture late 220000
expect_eq "PIDs of the late stream" "$(pids_of "$work/late.ts")" "0x0 0x102 0x103 0x1001"

echo "--- switch to the DVB-T multiplex"
expect_eq "play" "$(post '/play?index=3')" "ok"
capture delta 330000
expect_eq "PIDs of Delta TV" "$(pids_of "$work/delta.ts")" "0x0 0x100 0x101 0x1000"
expect_eq "streams of Delta TV" "$(streams_of "$work/delta.ts")" "audio,0x101 video,0x100 "

echo "--- a radio service"
expect_eq "play" "$(post '/play?index=2')" "ok"
capture radio 34000
expect_eq "PIDs of Radio Gamma" "$(pids_of "$work/radio.ts")" "0x0 0x104 0x1002"

echo "--- a switch disconnects the streaming client"
curl -s --max-time 120 "http://127.0.0.1:$PORT/stream.ts" -o "$work/first.ts" & viewer=$!
wait_until receiving "$work/first.ts" || fail "the streaming client got nothing"
expect_eq "play" "$(post '/play?index=0')" "ok"
wait_until ended $viewer || { kill $viewer; fail "the streaming client stayed connected"; }
wait $viewer

echo "--- a second streaming client disconnects the first"
rm -f "$work/first.ts"
curl -s --max-time 120 "http://127.0.0.1:$PORT/stream.ts" -o "$work/first.ts" & first=$!
wait_until receiving "$work/first.ts" || fail "the first client got nothing"
curl -s --max-time 120 "http://127.0.0.1:$PORT/stream.ts" -o "$work/second.ts" & second=$!
wait_until ended $first || { kill $first $second; fail "the first client stayed connected"; }
kill -0 $second 2>/dev/null || fail "the second client was cut off"
kill $second; wait $first; wait $second 2>/dev/null
stop_server

echo "--- the first channel has no signal"
channel_list $'Nowhere\t498000000\t16\t1\t256\t512\t650\t512' $'Alpha TV\t474000000\t16\t1025\t4096\t256\t257\t256' > "$list"
start_server "$run" --band "$band" -- || fail "server ended: $(cat "$work/err.txt")"
expect_file "stderr" "$work/err.txt" "initial channel failed: no signal on 498 MHz
"
expect_eq "status" "$(get /status.txt)" $'current=-1\nname=\nchannels=2\nmode=tuner'
expect_eq "stream" "$(get /stream.ts)" "no channel"
expect_eq "play without signal" "$(post '/play?index=0')" "error: no signal on 498 MHz"
expect_eq "play" "$(post '/play?index=1')" "ok"
stop_server

echo "--- an overflowing DVR is a glitch: the stream goes on and stderr counts it"
sed "s|ts=mux-474.ts|ts=$band_dir/mux-474.ts faults=dvr-overflow:2500|" "$band" > "$work/overflow.conf"
band_channels > "$list"
start_server "$run" --band "$work/overflow.conf" -- || fail "server ended: $(cat "$work/err.txt")"
curl -s "http://127.0.0.1:$PORT/stream.ts" -o "$work/over.ts" & viewer=$!
for _ in $(seq 1 300); do grep -q "dvr overflow" "$work/err.txt" && break; sleep 0.1; done
expect_file "stderr" "$work/err.txt" "dvr overflow (1 so far)
"
at_overflow=$(stat -c %s "$work/over.ts")
for _ in $(seq 1 300); do
  [[ $(stat -c %s "$work/over.ts") -gt $((at_overflow + 200000)) ]] && break
  kill -0 $viewer 2>/dev/null || break
  sleep 0.1
done
kill -0 $viewer 2>/dev/null || fail "the stream ended at the overflow"
[[ $(stat -c %s "$work/over.ts") -gt $((at_overflow + 200000)) ]] || fail "no bytes after the overflow"
kill $viewer; wait $viewer 2>/dev/null
expect_eq "streams across the overflow" "$(streams_of "$work/over.ts")" "audio,0x101 video,0x100 "
stop_server

echo PASS
