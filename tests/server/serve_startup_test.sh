#!/usr/bin/env bash
# Start-up of `vantiro serve` without a tuner: the console lines, the exit codes,
# online channels from a local playlist, and demo mode.
set -uo pipefail
source "$(dirname "$0")/serve_lib.sh"
list=$work/cfg/vantiro/channels.tsv

echo "--- no channel list, no playlist, no tuner: exit 1"
run_to_exit --
expect_eq "exit code" "$status" 1
expect_file "stderr" "$work/err.txt" "warning: no channel list at $list
cannot open tuner: cannot open /dev/dvb/adapter0/frontend0: No such file or directory
"
expect_file "stdout" "$work/out.txt" ""

echo "--- no channel list, reachable local playlist, no tuner: online channels only"
start_stream_host
printf '#EXTM3U\n#EXTINF:-1,Web One\nhttp://127.0.0.1:%s/one.m3u8\n#EXTINF:-1,Web Two\nhttp://127.0.0.1:%s/two.m3u8\n' \
  "$HOST_PORT" "$HOST_PORT" > "$work/web.m3u8"
VANTIRO_IPTV=$work/web.m3u8 start_server -- || fail "server ended: $(cat "$work/err.txt")"
expect_file "stderr" "$work/err.txt" "warning: no channel list at $list
tuner unavailable (cannot open /dev/dvb/adapter0/frontend0: No such file or directory); serving online channels only
"
expect_eq "stdout" "$(cat "$work/out.txt")" "IPTV: 2 online channels from $work/web.m3u8
playing Web One (IPTV)
Vantiro server on http://0.0.0.0:$PORT  (/channels.txt, /play?index=N, /stream.ts)"
expect_eq "status" "$(get /status.txt)" $'current=0\nname=Web One\nchannels=2\nmode=tuner'
expect_eq "channels" "$(get /channels.txt)" ""
expect_eq "channels with iptv" "$(get '/channels.txt?iptv=1')" \
  "0	Web One	0	0	iptv	http://127.0.0.1:$HOST_PORT/one.m3u8
1	Web Two	0	0	iptv	http://127.0.0.1:$HOST_PORT/two.m3u8"
expect_eq "stream of an online channel" "$(get /stream.ts)" "this is an IPTV channel: play its URL directly"
expect_eq "switch" "$(post '/play?index=1')" "ok"
grep -qx "playing Web Two (IPTV)" "$work/out.txt" || fail "no playing line for the switch"
stop_server

echo "--- the playlist's hosts unreachable: hidden, and with no list that ends the server"
kill "$host_pid"; wait "$host_pid" 2>/dev/null; host_pid=""
VANTIRO_IPTV=$work/web.m3u8 run_to_exit --
expect_eq "exit code" "$status" 1
grep -qx "IPTV source unreachable; online channels hidden" "$work/err.txt" || fail "no unreachable line: $(cat "$work/err.txt")"

echo "--- tuner channels without a tuner: listed, switching fails"
channel_list $'News\t474000000\t16\t1\t256\t512\t650\t512' > "$list"
start_server -- || fail "server ended: $(cat "$work/err.txt")"
grep -qx "initial channel failed: tuner is not open" "$work/err.txt" || fail "stderr: $(cat "$work/err.txt")"
expect_eq "status" "$(get /status.txt)" $'current=-1\nname=\nchannels=1\nmode=tuner'
expect_eq "stream" "$(get /stream.ts)" "no channel"
stop_server

echo "--- demo mode with an empty list"
rm -f "$list"
head -c 188000 /dev/zero > "$work/clip.ts"
start_server -- --demo "$work/clip.ts" || fail "demo server ended: $(cat "$work/err.txt")"
expect_file "stderr" "$work/err.txt" "warning: no channel list at $list
"
expect_eq "stdout" "$(cat "$work/out.txt")" "demo mode: streaming $work/clip.ts
Vantiro server on http://0.0.0.0:$PORT  (/channels.txt, /play?index=N, /stream.ts)"
expect_eq "channels" "$(get /channels.txt; echo x)" $'0\tDemo clip\t0\t1\tdvb\t\nx'
expect_eq "status" "$(get /status.txt)" $'current=0\nname=Demo clip\nchannels=1\nmode=demo'
stop_server

echo "--- a port in use: the bind error and exit 1"
python3 -c '
import socket, time
s = socket.socket(); s.bind(("0.0.0.0", 0)); s.listen(1)
print(s.getsockname()[1], flush=True); time.sleep(60)' > "$work/busy-port.txt" &
host_pid=$!
for _ in $(seq 1 50); do busy=$(cat "$work/busy-port.txt"); [[ -n $busy ]] && break; sleep 0.1; done
status=0
timeout 30 "$VANTIRO_BIN" serve --port "$busy" --demo "$work/clip.ts" > "$work/out.txt" 2> "$work/err.txt" || status=$?
expect_eq "exit code" "$status" 1
expect_eq "last stderr line" "$(tail -1 "$work/err.txt")" "bind: Address already in use"
kill "$host_pid"; wait "$host_pid" 2>/dev/null; host_pid=""

echo "--- demo mode with a missing clip: exit 1 before listening"
tracer=()
command -v strace >/dev/null && tracer=(env ASAN_OPTIONS=detect_leaks=0 strace -f -e trace=socket -o "$work/trace.txt")
touch "$work/trace.txt"
run_to_exit "${tracer[@]}" -- --demo "$work/missing.ts"
expect_eq "exit code" "$status" 1
expect_file "stderr" "$work/err.txt" "warning: no channel list at $list
cannot open demo clip $work/missing.ts: No such file or directory
"
expect_file "stdout" "$work/out.txt" ""
if grep -q 'socket(' "$work/trace.txt"; then fail "a socket was opened: $(grep 'socket(' "$work/trace.txt")"; fi

echo PASS
