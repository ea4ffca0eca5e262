#!/usr/bin/env bash
# `vantiro serve` when the air or the tuner goes away on the simulated band.
# A 3 s fade: one line on stderr, the /stream.ts client stays connected and,
# once the server says the signal is back, bytes arrive again on the same
# connection and ffprobe reads the picture and the sound in them. A tuner held
# by another program at start-up: /play opens it once it is free.
set -uo pipefail
source "$(dirname "$0")/serve_lib.sh"
serve_on_standard_band ffprobe
band_channels > "$work/cfg/vantiro/channels.tsv"

# wait_until TEST...: up to 60 s.
wait_until() {
  for _ in $(seq 1 600); do "$@" && return 0; sleep 0.1; done
  return 1
}
streams_of() {
  ffprobe -v error -show_entries stream=codec_type -of csv=p=0 "$1" 2>/dev/null | grep . | sort -u | tr '\n' ' '
}

echo "--- a 3 s fade while a client streams"
# 474 MHz fades 5 s after its first lock (the server's first switch) for 3 s.
sed "s|ts=mux-474.ts|ts=$band_dir/mux-474.ts faults=fade:5000:3000|;s|ts=mux-522.ts|ts=$band_dir/mux-522.ts|" \
  "$band" > "$work/fade.conf"
start_server "$run" --band "$work/fade.conf" -- || fail "server ended: $(cat "$work/err.txt")"
curl -s -N "http://127.0.0.1:$PORT/stream.ts" > "$work/stream.ts" &
client=$!
wait_until grep -q "^signal back on 474 MHz$" "$work/err.txt" || fail "no recovery: $(cat "$work/err.txt")"
expect_eq "stderr during the fade" "$(cat "$work/err.txt")" $'signal lost on 474 MHz; retuning\nsignal back on 474 MHz'
kill -0 "$client" 2>/dev/null || fail "the stream client was disconnected"
back_at=$(bytes "$work/stream.ts")
wait_until grown "$work/stream.ts" $((back_at + 400000)) || fail "no bytes after the signal came back"
kill -0 "$client" 2>/dev/null || fail "the stream ended after the fade"
kill "$client"; wait "$client" 2>/dev/null
tail -c +$((back_at + 1)) "$work/stream.ts" > "$work/after.ts"
expect_eq "streams after the fade" "$(streams_of "$work/after.ts")" "audio video "
expect_eq "status" "$(get /status.txt | head -2)" $'current=0\nname=Alpha TV'
stop_server

echo "--- a tuner held by another program at start-up"
: > "$work/held"
printf 'adapter 0 name="Silicon Labs Si2168" busy_while=%s\n' "$work/held" > "$work/busy.conf"
grep '^mux' "$band" | sed "s|ts=|ts=$band_dir/|" >> "$work/busy.conf"
start_server "$run" --band "$work/busy.conf" -- || fail "server ended: $(cat "$work/err.txt")"
grep -q "^tuner unavailable (cannot open /dev/dvb/adapter0/frontend0: Device or resource busy); serving online channels only$" \
  "$work/err.txt" || fail "start-up: $(cat "$work/err.txt")"
expect_eq "stream while busy" "$(get /stream.ts)" "no channel"
expect_eq "play while busy" "$(post '/play?index=3')" "error: tuner is not open"
rm "$work/held"   # the other program lets go
played() { [[ $(post '/play?index=3') == ok ]]; }
wait_until played || fail "/play never opened the freed tuner: $(cat "$work/err.txt")"
grep -q "^playing Delta TV (522 MHz)$" "$work/out.txt" || fail "stdout: $(cat "$work/out.txt")"
curl -s "http://127.0.0.1:$PORT/stream.ts" | head -c 300000 > "$work/delta.ts"
expect_eq "streams once the tuner is free" "$(streams_of "$work/delta.ts")" "audio video "
stop_server

echo "--- /stream.ts alone starts the channel the server wanted once the tuner is free"
: > "$work/held"
start_server "$run" --band "$work/busy.conf" -- || fail "server ended: $(cat "$work/err.txt")"
grep -q "^initial channel failed: tuner is not open$" "$work/err.txt" || fail "start-up: $(cat "$work/err.txt")"
rm "$work/held"
streaming() { curl -s --max-time 20 "http://127.0.0.1:$PORT/stream.ts" | head -c 300000 > "$work/alpha.ts"; [[ $(bytes "$work/alpha.ts") -eq 300000 ]]; }
wait_until streaming || fail "/stream.ts never opened the freed tuner: $(cat "$work/err.txt")"
expect_eq "streams of the wanted channel" "$(streams_of "$work/alpha.ts")" "audio video "
expect_eq "status" "$(get /status.txt | head -2)" $'current=0\nname=Alpha TV'
stop_server
echo PASS
