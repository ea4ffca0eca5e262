#!/usr/bin/env bash
# Many viewers of one multiplex on `vantiro serve`, on the simulated adapter
# with the 474 MHz multiplex played at 40 Mbit/s; each figure against a
# baseline measured in the same run:
#  - CPU of the server process while 20 viewers of the multiplex's three
#    services stream at once, against one viewer;
#  - how many of the 20 lost nothing in their own queue (the server says when
#    a viewer fell behind), against all 20; the client also checks the
#    continuity counters of every PID, which shows loss before the server too;
#  - the readers' rate while one more viewer stops reading, against the same
#    readers without it, and whether the stalled viewer was dropped;
#  - /watch/N.ts on the tuned multiplex to its first byte, against /stream.ts
#    of the same service (standard band rate).
set -uo pipefail
cd "$(dirname "$0")/.."
source bench/lib/stats.sh
source bench/lib/serve.sh
bench_serve_setup viewers "${1:?usage: bench/viewers.sh BUILD_DIR}" tools/viewer_bench/viewer_bench
export XDG_CONFIG_HOME=$work/cfg XDG_CACHE_HOME=$work/cache VANTIRO_IPTV=$work/none.m3u8
printf 'vantiro-1\nAlpha TV\t474000000\t16\t1025\t4096\t256\t257\t256\nBeta TV\t474000000\t16\t1026\t4097\t258\t259\t258\nRadio Gamma\t474000000\t16\t1027\t4098\t0\t260\t260\n' \
  > "$work/cfg/vantiro/channels.tsv"
sed "s|ts=mux-474.ts|ts=$(dirname "$band")/mux-474.ts bitrate=40000000|" "$band" > "$work/fast.conf"

# targets N [FIRST]: N viewer targets spread over the three services
targets() { local i; for ((i = 0; i < $1; i++)); do echo "/watch/$((i % 3)).ts"; done; }

viewer_lines() { grep -c '^viewer of ' "$work/serve.out"; }

# watch_run SECONDS STALLED TARGET...: viewers for SECONDS with the server's CPU
# per second over the steady middle of it; prints the tool's line, cpu= and
# behind= (viewers the server reported as fallen behind or dropped)
watch_run() {
  local window=$1; shift
  local before; before=$(viewer_lines)
  "$tool" watch "$port" $((window + 2)) "$@" > "$work/watch.out" &
  local reader=$!
  sleep 1
  local cpu; cpu=$(bench_cpu_per_second "$server_pid" "$window")
  wait $reader
  sleep 1   # the server notices the closed connections at its next write
  echo "$(cat "$work/watch.out") cpu=$cpu behind=$(( $(viewer_lines) - before ))"
}

bench_serve "$work/serve.out" tools/dvbsim/dvbsim-run --lib "$lib" --band "$work/fast.conf" -- || exit 1
window=6
one_cpu=(); twenty_cpu=(); intact=(); gaps20=0; gaps1=0
for ((r = 0; r < BENCH_RUNS; r++)); do
  line1=$(watch_run $window 0 /watch/0.ts)
  line20=$(watch_run $window 0 $(targets 20))
  echo "viewers: run $r: one [$line1] twenty [$line20]" >&2
  one_cpu+=("$(bench_value cpu "$line1")")
  twenty_cpu+=("$(bench_value cpu "$line20")")
  intact+=($(( 20 - $(bench_value behind "$line20") )))
  gaps20=$((gaps20 + $(bench_value lossy "$line20")))
  gaps1=$((gaps1 + $(bench_value lossy "$line1")))
done
overflows=$(grep -c "dvr overflow" "$work/serve.out")
bench_row name="server CPU s per s, 20 viewers of one 40 Mbit/s multiplex (3 services)" \
  ours="${twenty_cpu[*]}" peer="${one_cpu[*]}" peer_label="(one viewer, same server)" format=%.3f \
  note="one / twenty: the cost of 19 more viewers; the simulated adapter's threads are in both"
bench_row name="viewers of 20 that lost nothing in their own queue, 40 Mbit/s multiplex" \
  ours="${intact[*]}" peer=20 fixed_peer=1 peer_label="(all 20)" format=%.0f better=higher limit=1 \
  limit_reason="no more viewers than were started" \
  note="the server's own count; the client's continuity check found a gap in $gaps20 of $((BENCH_RUNS * 20)) streams of 20 viewers and $gaps1 of $BENCH_RUNS of one viewer (upstream: DVR overflows $overflows, and the simulated adapter skips what its DVR buffer could not have held when its own thread was not scheduled for long)"

# One viewer that stops reading beside 19 that read, against the 19 alone. The
# window is long enough for the stalled viewer's queue to be given up.
window=25
with=(); without=(); dropped=0; reader_loss=0
for ((r = 0; r < BENCH_RUNS; r++)); do
  line_without=$(watch_run $window 0 $(targets 19))
  line_with=$(watch_run $window 1 /watch/0.ts $(targets 19))
  echo "viewers: run $r: 19 readers [$line_without] with a stalled viewer [$line_with]" >&2
  without+=("$(bench_value median_mbps "$line_without")")
  with+=("$(bench_value median_mbps "$line_with")")
  [[ $(bench_value dropped "$line_with") == 1 ]] && dropped=$((dropped + 1))
  # the stalled viewer itself is one line (dropped, or fallen behind at the end)
  behind=$(( $(bench_value behind "$line_with") - 1 )); (( behind > 0 )) && reader_loss=$((reader_loss + behind))
done
bench_row name="readers' median rate, Mbit/s, with one stalled viewer of 20" \
  ours="${with[*]}" peer="${without[*]}" peer_label="(the same 19 readers alone)" better=higher format=%.2f \
  note="with / without; stalled viewer dropped in $dropped of $BENCH_RUNS runs, readers that fell behind meanwhile: $reader_loss"
kill "$server_pid"; wait "$server_pid" 2>/dev/null

# First byte of a viewer joining the tuned multiplex, against /stream.ts of the
# same service, rounds alternating.
bench_serve "$work/serve.out" "${run[@]}" -- || exit 1
"$tool" ttfb "$port" /watch/0.ts 1 >/dev/null   # the multiplex's first packets have arrived
watch_ms=(); stream_ms=()
for ((r = 0; r < BENCH_RUNS * 2; r++)); do
  watch_ms+=("$(bench_value ms "$("$tool" ttfb "$port" /watch/0.ts 1)")")
  stream_ms+=("$(bench_value ms "$("$tool" ttfb "$port" /stream.ts 1)")")
done
echo "viewers: first byte /watch ${watch_ms[*]} /stream.ts ${stream_ms[*]}" >&2
bench_row name="/watch/N.ts on the tuned multiplex to first byte, ms" ours="${watch_ms[*]}" peer="${stream_ms[*]}" \
  peer_label="(/stream.ts, same service)" unit=ms format=%.1f note="stream.ts / watch, same server, the standard band (474 MHz at its own 2 Mbit/s); both joins find the multiplex tuned"
