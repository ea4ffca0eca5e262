#!/usr/bin/env bash
# The HTTP TV server (`vantiro serve`), each figure against a peer in the same run,
# medians of several runs taken in turn with the peer's:
#  - /status.txt requests per second against a trivial C++ responder (a thread
#    per connection, one fixed answer); client and server share the machine's cores;
#  - a retune by /play to the first /stream.ts byte on the simulated adapter, against
#    dvbv5-zap -p recording the same service (PAT, PMT, video and audio: our PID set)
#    to its first byte; both from the DTV_TUNE in the simulator's tune log;
#  - CPU per second of one stream (Delta TV) over the same steady window, against
#    the same dvbv5-zap recording, and against servers without the zap cache or
#    the guide collector (what each costs);
#  - a /stream.ts request to its first byte, and CPU per second of one stream,
#    against MuMuDVB's HTTP unicast on the same simulated multiplex (skipped
#    with a note when MuMuDVB does not stream under the simulator).
set -uo pipefail
cd "$(dirname "$0")/.."
source bench/lib/stats.sh
source bench/lib/serve.sh
bench_serve_setup server "${1:?usage: bench/server.sh BUILD_DIR}" tools/server_bench/server_bench dvbv5-zap
export XDG_CONFIG_HOME=$work/cfg XDG_CACHE_HOME=$work/cache VANTIRO_IPTV=$work/none.m3u8

# ---- status requests per second ------------------------------------------
head -c 18800 /dev/zero > "$work/clip.ts"
bench_serve "$work/demo.out" -- --demo "$work/clip.ts" || exit 1
demo_pid=$server_pid
"$tool" respond > "$work/respond.port" & pids+=($!)
sleep 0.3
base_port=$(cat "$work/respond.port")
"$tool" load "$port" 8 300 /status.txt >/dev/null   # warm-up
"$tool" load "$base_port" 8 300 /status.txt >/dev/null
ours_rps=(); base_rps=()
for _ in $(seq 1 "$BENCH_RUNS"); do
  ours_rps+=("$(bench_value rps "$("$tool" load "$port" 8 5000 /status.txt)")")
  base_rps+=("$(bench_value rps "$("$tool" load "$base_port" 8 5000 /status.txt)")")
done
kill "$demo_pid"
echo "server: status ours [${ours_rps[*]}] responder [${base_rps[*]}]" >&2
bench_row name="/status.txt requests per second (8 clients, a connection each)" format=%.0f better=higher \
  ours="${ours_rps[*]}" peer="${base_rps[*]}" peer_label="(trivial C++ responder)" \
  note="ours / responder, 1.0 = no cost over answering at all; client and server share the 2 cores"

# ---- /play to the first stream byte ---------------------------------------
printf 'vantiro-1\nAlpha TV\t474000000\t16\t1025\t4096\t256\t257\t256\nDelta TV\t522000000\t3\t2049\t4096\t256\t257\t256\n' \
  > "$work/cfg/vantiro/channels.tsv"
export DVBSIM_TUNE_LOG=$work/serve-tunes.log
bench_serve "$work/live.out" "${run[@]}" -- || exit 1
live_pid=$server_pid
rounds=$((2 * BENCH_RUNS))
play=$("$tool" ttfb "$port" /stream.ts $rounds 1 0)
request_only=$("$tool" ttfb "$port" /stream.ts $BENCH_RUNS -)
# For each first byte, the last tune before it.
bench_tune_times "$DVBSIM_TUNE_LOG" > "$work/serve-tunes.times"
ours_tune=$(printf '%s\n' $(bench_value first_byte_wall "$play") | awk -v tunes="$work/serve-tunes.times" '
  BEGIN { while ((getline line < tunes) > 0) t[++n] = line }
  { last = -1; for (i = 1; i <= n; ++i) if (t[i] <= $1) last = t[i]; if (last > 0) printf "%.1f ", ($1 - last) * 1000 }')
unset DVBSIM_TUNE_LOG

cp tools/dvbsim/dvbv5-channels.conf "$work/zap.conf"
# dvbv5-zap -p -r to standard output, its first byte stamped by the reader.
zap_tune=()
for r in $(seq 1 "$rounds"); do
  name="Delta TV"; (( r % 2 == 0 )) && name="Alpha TV"
  rm -f "$work/zap-tunes.log"
  first=$(DVBSIM_TUNE_LOG=$work/zap-tunes.log timeout 10 "${run[@]}" dvbv5-zap -c "$work/zap.conf" -p -t 2 -o - "$name" \
          2>/dev/null | "$tool" firstbyte /dev/stdin)
  zap_tune+=("$(bench_tune_times "$work/zap-tunes.log" 2>/dev/null | \
                awk -v b="$(bench_value first_byte_wall "$first")" 'NR == 1 && b > 0 { printf "%.1f", (b - $1) * 1000 }')")
done
echo "server: /play tune->first byte [$ours_tune] (request->first byte [$(bench_value ms "$play")]), zap [${zap_tune[*]}] ms" >&2
bench_row name="retune (/play) to the first /stream.ts byte, ms" format=%.1f ours="$ours_tune" peer="${zap_tune[*]}" \
  peer_label="(dvbv5-zap -p -o -, same service)" \
  note="DTV_TUNE to first byte on both sides, 474 <-> 522 MHz in turn (locks after 300 / 200 ms); ours from the request: $(bench_median $(bench_value ms "$play")) ms"

# ---- CPU of one stream, the same steady window on both sides ------------------
# Every server streams Delta TV, the service zap records. Beside the server as
# it runs, two more with one part left out (the zap cache, the guide collector)
# show what each part costs; every run takes one window of each in turn.
bench_serve "$work/nocache.out" env VANTIRO_ZAP_CACHE=0 "${run[@]}" -- || exit 1
nocache_pid=$server_pid; nocache_port=$port
bench_serve "$work/noguide.out" env VANTIRO_GUIDE=0 "${run[@]}" -- || exit 1
noguide_pid=$server_pid; noguide_port=$port
port=$(grep -o 'http://0.0.0.0:[0-9]*' "$work/live.out" | head -1 | cut -d: -f3)
for p in "$port" "$nocache_port" "$noguide_port"; do
  curl -s -X POST "http://127.0.0.1:$p/play?index=1" | grep -qx ok || { echo "server: /play of Delta TV failed" >&2; exit 1; }
done
# stream_cpu PORT PID: one client of /stream.ts on PORT, the CPU per second of PID over the steady window.
stream_cpu() {
  curl -s --max-time 8 "http://127.0.0.1:$1/stream.ts" -o /dev/null & local curl_pid=$!
  sleep 1; bench_cpu_per_second "$2" 6
  wait $curl_pid
}
ours_cpu=(); zap_cpu=(); nocache_cpu=(); noguide_cpu=(); loads=()
for _ in $(seq 1 "$BENCH_RUNS"); do
  loads+=("$(cut -d' ' -f1 /proc/loadavg)")
  ours_cpu+=("$(stream_cpu "$port" "$live_pid")")
  (cd "$work" && "$OLDPWD/${run[0]}" "${run[@]:1}" dvbv5-zap -c "$work/zap.conf" -p -t 8 -o "$work/zap.ts" "Delta TV" \
     > /dev/null 2>&1) & zap_shell=$!
  sleep 1
  # The subshell may have become dvbv5-zap itself (bash execs a last command).
  zap_pid=$zap_shell
  [[ $(cat "/proc/$zap_shell/comm" 2>/dev/null) == dvbv5-zap ]] || zap_pid=$(pgrep -n -x dvbv5-zap -P "$zap_shell")
  [[ -n $zap_pid ]] && zap_cpu+=("$(bench_cpu_per_second "$zap_pid" 6)")
  wait $zap_shell
  nocache_cpu+=("$(stream_cpu "$nocache_port" "$nocache_pid")")
  noguide_cpu+=("$(stream_cpu "$noguide_port" "$noguide_pid")")
done
kill "$live_pid" "$nocache_pid" "$noguide_pid"
echo "server: CPU/s ours [${ours_cpu[*]}] zap [${zap_cpu[*]}] without zap cache [${nocache_cpu[*]}] without guide [${noguide_cpu[*]}]; load average [${loads[*]}]" >&2
load_note="load average $(bench_summary ${loads[*]} | awk '{ printf "%s-%s", $2, $3 }')"
bench_row name="CPU s per s of one stream (server with relay, 1.5 Mbit/s multiplex)" format=%.4f \
  ours="${ours_cpu[*]}" peer="${zap_cpu[*]}" peer_label="(dvbv5-zap -p -r recording the service to a file)" \
  note="zap / ours over the same steady 6 s window, Delta TV on both sides; the demux passes zap the service's PIDs, ours also every TV service's for the zap cache and the guide's EIT (0x12); both include the simulated adapter's threads; ours sends to an HTTP client, zap writes a file; $load_note"
bench_row name="CPU s per s of one stream, without the zap cache" format=%.4f \
  ours="${ours_cpu[*]}" peer="${nocache_cpu[*]}" peer_label="(same server, VANTIRO_ZAP_CACHE=0)" \
  note="without / with (a baseline, not a peer): what keeping every TV service's packets since its last key frame costs, the demux passing them included; $load_note"
bench_row name="CPU s per s of one stream, without the guide collector" format=%.4f \
  ours="${ours_cpu[*]}" peer="${noguide_cpu[*]}" peer_label="(same server, VANTIRO_GUIDE=0)" \
  note="without / with (a baseline, not a peer): what reading the EIT (0x12) for the guide costs; $load_note"

# ---- MuMuDVB HTTP unicast on the same multiplex ----------------------------
command -v mumudvb >/dev/null || { echo "server: mumudvb not installed; its rows are left out" >&2; exit 0; }
mumu_port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
cat > "$work/mumu.conf" <<CONF
card=0
tuner=0
freq=522
delivery_system=DVBT
bandwidth=8MHz
multicast=0
unicast=1
ip_http=127.0.0.1
port_http=$mumu_port
autoconfiguration=full
CONF
"${run[@]}" mumudvb -d -c "$work/mumu.conf" > "$work/mumu.out" 2>&1 & mumu_pid=$!; pids+=($mumu_pid)
streamed=0
for _ in $(seq 1 20); do
  if curl -s --max-time 1 "http://127.0.0.1:$mumu_port/bysid/2049" 2>/dev/null | head -c 188 | grep -q .; then streamed=1; break; fi
  sleep 0.5
done
if [[ $streamed == 0 ]]; then
  echo "server: MuMuDVB did not stream under the simulated adapter (it waits for frontend events with POLLPRI); rows left out" >&2
  exit 0
fi
mumu=$("$tool" ttfb "$mumu_port" /bysid/2049 $BENCH_RUNS -)
mumu_cpu=()
for _ in $(seq 1 "$BENCH_RUNS"); do
  curl -s --max-time 8 "http://127.0.0.1:$mumu_port/bysid/2049" -o /dev/null & curl_pid=$!
  sleep 1; mumu_cpu+=("$(bench_cpu_per_second "$mumu_pid" 6)")
  wait $curl_pid
done
bench_row name="stream request to first byte (tuned), ms" format=%.1f ours="$(bench_value ms "$request_only")" \
  peer="$(bench_value ms "$mumu")" peer_label="(MuMuDVB unicast)" note="MuMuDVB / ours"
bench_row name="CPU s per s of one HTTP stream" format=%.4f ours="${ours_cpu[*]}" peer="${mumu_cpu[*]}" \
  peer_label="(MuMuDVB unicast)" note="MuMuDVB / ours"
exit 0
