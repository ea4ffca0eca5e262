#!/usr/bin/env bash
# The programme guide collector (`vantiro serve` on the simulated band):
#  - zap within a multiplex (POST /play of the other TV service of 474 MHz to the
#    first /stream.ts byte, both stamped by the client) with the collector against
#    the same server started with VANTIRO_GUIDE=0; both servers run side by side
#    and their rounds alternate, so both see the same load;
#  - tune to now/next: from the DTV_TUNE in the simulator's tune log to the first
#    /epg.txt (polled every 20 ms) with a "now" entry for the channel, a fresh
#    server and an empty guide cache each run, against the earliest moment the
#    simulator can have sent that EIT section (lock time plus the EIT carousel's
#    phase); a figure below it fails the row.
set -uo pipefail
cd "$(dirname "$0")/.."
source bench/lib/stats.sh
source bench/lib/serve.sh
bench_serve_setup guide "${1:?usage: bench/guide.sh BUILD_DIR}" tools/server_bench/server_bench curl
export XDG_CONFIG_HOME=$work/cfg VANTIRO_IPTV=$work/none.m3u8
printf 'vantiro-1\nAlpha TV\t474000000\t16\t1025\t4096\t256\t257\t256\nBeta TV\t474000000\t16\t1026\t4097\t258\t259\t258\n' \
  > "$work/cfg/vantiro/channels.tsv"

# now_shown PORT NAME: whether /epg.txt lists a "now" entry under channel NAME.
now_shown() {
  curl -s --max-time 2 "http://127.0.0.1:$1/epg.txt" |
    awk -v name="$2" 'index($0, name "  ") == 1 { inside = 1; next } /^[^ ]/ { inside = 0 } inside && /^  now / { found = 1 } END { exit !found }'
}

# ---- zap within a multiplex, with and without the collector -----------------
bench_serve "$work/with.out" env XDG_CACHE_HOME="$work/cache-with" "${run[@]}" -- || exit 1
with_port=$port
bench_serve "$work/without.out" env XDG_CACHE_HOME="$work/cache-without" VANTIRO_GUIDE=0 "${run[@]}" -- || exit 1
without_port=$port
# Warm-up: both tune 474 MHz and stream once.
"$tool" ttfb "$with_port" /stream.ts 1 0 >/dev/null || exit 1
"$tool" ttfb "$without_port" /stream.ts 1 0 >/dev/null || exit 1
with_ms=(); without_ms=()
for r in $(seq 1 "$BENCH_RUNS"); do
  # Two zaps per round (to Beta TV and back to Alpha TV); who goes first alternates.
  if (( r % 2 )); then
    with_ms+=($(bench_value ms "$("$tool" ttfb "$with_port" /stream.ts 2 1 0)"))
    without_ms+=($(bench_value ms "$("$tool" ttfb "$without_port" /stream.ts 2 1 0)"))
  else
    without_ms+=($(bench_value ms "$("$tool" ttfb "$without_port" /stream.ts 2 1 0)"))
    with_ms+=($(bench_value ms "$("$tool" ttfb "$with_port" /stream.ts 2 1 0)"))
  fi
done
# The switch works: only the server with the collector has read a guide.
now_shown "$with_port" "Alpha TV" || echo "guide: warning: the collector's server shows no now entry" >&2
now_shown "$without_port" "Alpha TV" && echo "guide: warning: VANTIRO_GUIDE=0 still read a guide" >&2
echo "guide: zap with collector [${with_ms[*]}] without [${without_ms[*]}] ms" >&2
bench_row name="zap within a multiplex (/play to first /stream.ts byte), with the guide collector, ms" format=%.1f \
  ours="${with_ms[*]}" peer="${without_ms[*]}" peer_label="(same server, VANTIRO_GUIDE=0)" \
  note="without / with, must stay >= 0.95; Alpha TV <-> Beta TV on 474 MHz, two servers side by side, rounds alternate, request and first byte stamped by the client"

# ---- tune to now/next shown -----------------------------------------------
# The earliest the first EIT section can leave the simulator: lock, then the
# carousel's phase for PID 0x12 ((pid * 7 + 3) mod eit_ms, tools/dvbsim/src/carousel.cpp).
mux_line=$(grep '^mux freq=474000000 ' "$band")
lock_ms=$(sed -n 's/.* lock_ms=\([0-9]*\).*/\1/p' <<<"$mux_line"); lock_ms=${lock_ms:-300}
eit_ms=$(sed -n 's/.* eit_ms=\([0-9]*\).*/\1/p' <<<"$mux_line"); eit_ms=${eit_ms:-2000}
floor_ms=$(( lock_ms + (0x12 * 7 + 3) % eit_ms ))
tune_ms=()
for r in $(seq 1 "$BENCH_RUNS"); do
  log=$work/tunes-$r.log
  bench_serve "$work/tune-$r.out" env DVBSIM_TUNE_LOG="$log" XDG_CACHE_HOME="$work/cache-tune-$r" "${run[@]}" -- || continue
  curl -s --max-time 10 -X POST "http://127.0.0.1:$port/play?index=0" >/dev/null
  shown=""
  for _ in $(seq 1 500); do   # up to 10 s at 20 ms
    if now_shown "$port" "Alpha TV"; then shown=$(bench_now); break; fi
    sleep 0.02
  done
  kill "$server_pid" 2>/dev/null; wait "$server_pid" 2>/dev/null
  [[ -n $shown ]] || { echo "guide: run $r never showed a now entry" >&2; continue; }
  tune_ms+=("$(bench_tune_times "$log" | awk -v s="$shown" '$1 <= s { last = $1 } END { if (last > 0) printf "%.1f", (s - last) * 1000 }')")
done
echo "guide: tune to now [${tune_ms[*]}] ms, floor $floor_ms ms" >&2
bench_row name="tune to now/next shown (/epg.txt), ms" format=%.1f ours="${tune_ms[*]}" peer="$floor_ms" fixed_peer=1 \
  peer_label="(floor: lock ${lock_ms} ms + first EIT slot)" limit=1 \
  limit_reason="the EIT section cannot have been sent before lock plus the carousel's phase" \
  note="floor / ours; DTV_TUNE in the tune log to the first /epg.txt poll (every 20 ms) with a now entry; EIT repeated every ${eit_ms} ms, fresh server and empty cache each run"
exit 0
