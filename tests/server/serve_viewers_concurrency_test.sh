#!/usr/bin/env bash
# `vantiro serve` with several viewers of one multiplex (also run under TSan): a
# viewer that stops reading falls behind, loses its own data and is dropped,
# while a viewer of another service of the multiplex keeps streaming its
# service. The multiplex plays at 40 Mbit/s so that falling behind comes soon.
set -uo pipefail
source "$(dirname "$0")/serve_lib.sh"
serve_on_standard_band ffprobe
sed "s|ts=mux-474.ts|ts=$(dirname "$band")/mux-474.ts bitrate=40000000|" "$band" > "$work/fast.conf"
band_channels > "$work/cfg/vantiro/channels.tsv"

logged() { grep -q "$1" "$work/err.txt"; }

start_server "$run" --band "$work/fast.conf" -- || fail "server ended: $(cat "$work/err.txt")"

echo "--- a viewer that stops reading, beside one that reads"
# The stalled viewer reads the answer's first bytes, then nothing until told to
# go on; then it reads what is left up to the end of the connection.
python3 - "$PORT" "$work" <<'PY' > "$work/stalled.txt" 2>&1 & stalled=$!
import os, socket, sys, time
port, work = int(sys.argv[1]), sys.argv[2]
s = socket.socket()
s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 16384)
s.connect(("127.0.0.1", port))
s.sendall(b"GET /watch/0.ts HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n")
first = s.recv(4096)
print("answer:", first.split(b"\r\n")[0].decode(), flush=True)
while not os.path.exists(os.path.join(work, "resume")):
    time.sleep(0.1)
while s.recv(65536):
    pass
print("ended", flush=True)
PY
curl -s "http://127.0.0.1:$PORT/watch/1.ts" -o "$work/beta.ts" & reader=$!

wait_for "the stalled viewer was never dropped: $(cat "$work/err.txt")" logged "viewer of Alpha TV dropped: too far behind"
kill -0 $reader 2>/dev/null || fail "the reading viewer ended with the stalled one"
size=$(bytes "$work/beta.ts")
wait_for "the reading viewer stopped streaming" grown "$work/beta.ts" $((size + 500000))
expect_eq "status" "$(get /status.txt)" $'current=0\nname=Alpha TV\nchannels=4\nmode=tuner'

touch "$work/resume"
wait $stalled || fail "the stalled viewer: $(cat "$work/stalled.txt")"
expect_file "the stalled viewer" "$work/stalled.txt" "answer: HTTP/1.1 200 OK
ended
"
kill $reader; wait $reader 2>/dev/null

echo "--- the reading viewer got its own service only"
expect_eq "programs" "$(ffprobe -v error -show_entries program=program_num -of csv=p=0 "$work/beta.ts" 2>/dev/null | tr -d , | grep -v '^$')" "1026"
expect_eq "streams" "$(ffprobe -v error -show_entries stream=id,codec_type -of csv=p=0 "$work/beta.ts" 2>/dev/null |
  grep -v '^$' | sort -u | tr '\n' ' ')" "audio,0x103 video,0x102 "
stop_server

echo PASS
