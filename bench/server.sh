#!/usr/bin/env bash
# The HTTP TV server (`vantiro serve`), each figure against a peer in the same run:
#  - /status.txt requests per second against a trivial C++ responder (a thread
#    per connection, one fixed answer) and python3's http.server;
#  - /play (a retune to the other multiplex) to the first /stream.ts byte on the
#    simulated adapter, against dvbv5-zap's tune to the first recorded byte;
#  - a /stream.ts request to its first byte, and CPU per second of one stream,
#    against MuMuDVB's HTTP unicast on the same simulated multiplex (skipped
#    with a note when MuMuDVB does not stream under the simulator).
set -uo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:?usage: bench/server.sh BUILD_DIR}")
tool=$build/tools/server_bench/server_bench
lib=$build/tools/dvbsim/libdvbsim.so
vantiro=$build/vantiro
for need in "$tool" "$lib" "$vantiro"; do [[ -e $need ]] || { echo "server: $need not built" >&2; exit 1; }; done
band=$(tools/dvbsim/make-band "$build/dvbsim-band") || exit 1
run=(tools/dvbsim/dvbsim-run --lib "$lib" --band "$band")
work=$(mktemp -d)
pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done; wait 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT
mkdir -p "$work/cfg/vantiro"
export XDG_CONFIG_HOME=$work/cfg VANTIRO_IPTV=$work/none.m3u8

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'; }
value() { sed -n "s/.*$1=\([0-9.]*\).*/\1/p" <<<"$2"; }

# serve OUT [runner...] -- [options]: starts vantiro serve; sets port and server_pid
serve() {
  local out=$1; shift
  local runner=()
  while [[ $1 != -- ]]; do runner+=("$1"); shift; done; shift
  "${runner[@]}" "$vantiro" serve --port 0 "$@" > "$out" 2>&1 &
  server_pid=$!
  pids+=($server_pid)
  for _ in $(seq 1 100); do
    port=$(grep -o 'http://0.0.0.0:[0-9]*' "$out" | head -1 | cut -d: -f3)
    [[ -n $port ]] && return 0
    sleep 0.1
  done
  echo "server: vantiro serve did not start: $(cat "$out")" >&2; return 1
}

cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }

# ---- status requests per second ------------------------------------------
head -c 18800 /dev/zero > "$work/clip.ts"
serve "$work/demo.out" -- --demo "$work/clip.ts" || exit 1
demo_pid=$server_pid
# best_load PORT: the best of three runs of 5000 requests
best_load() {
  "$tool" load "$1" 8 300 /status.txt >/dev/null   # warm-up
  for _ in 1 2 3; do "$tool" load "$1" 8 5000 /status.txt; done | sort -t= -k2 -n -r | head -1
}
"$tool" respond > "$work/respond.port" & pids+=($!)
sleep 0.3
ours=$(best_load "$port")
base=$(best_load "$(cat "$work/respond.port")")
kill "$demo_pid"

mkdir -p "$work/www"; printf 'current=0\nname=Demo clip\nchannels=1\nmode=demo\n' > "$work/www/status.txt"
python3 -m http.server 0 --bind 127.0.0.1 --directory "$work/www" > "$work/py.out" 2>&1 & pids+=($!)
for _ in $(seq 1 50); do py_port=$(grep -o 'port [0-9]*' "$work/py.out" | cut -d' ' -f2); [[ -n $py_port ]] && break; sleep 0.1; done
py=$("$tool" load "$py_port" 8 3000 /status.txt)   # one run: python is slow enough
echo "server: status ours [$ours] responder [$base] python [$py]" >&2
echo "RESULT|/status.txt requests per second (8 clients, a connection each)|$(value rps "$ours")|$(value rps "$base") (trivial C++ responder)|$(ratio "$(value rps "$ours")" "$(value rps "$base")")|ours / responder, 1.0 = no cost over answering at all"
echo "RESULT|/status.txt requests per second vs python3 http.server|$(value rps "$ours")|$(value rps "$py") (python3 -m http.server)|$(ratio "$(value rps "$ours")" "$(value rps "$py")")|ours / python"

# ---- /play to the first stream byte ---------------------------------------
printf 'vantiro-1\nAlpha TV\t474000000\t16\t1025\t4096\t256\t257\t256\nDelta TV\t522000000\t3\t2049\t4096\t256\t257\t256\n' \
  > "$work/cfg/vantiro/channels.tsv"
serve "$work/live.out" "${run[@]}" -- || exit 1
live_pid=$server_pid
play=$("$tool" ttfb "$port" /stream.ts 8 1 0)
request_only=$("$tool" ttfb "$port" /stream.ts 8 -)

# one stream for 8 s: CPU of the whole server process
"$tool" ttfb "$port" /stream.ts 1 1 >/dev/null
curl -s --max-time 9 "http://127.0.0.1:$port/stream.ts" -o /dev/null & curl_pid=$!
sleep 0.5; before=$(cpu_ticks "$live_pid"); sleep 8; after=$(cpu_ticks "$live_pid")
wait $curl_pid
ours_cpu=$(awk -v t=$((after - before)) -v hz="$(getconf CLK_TCK)" 'BEGIN { printf "%.4f", t / hz / 8 }')
kill "$live_pid"

# dvbv5-zap: process start, tune and lock to its first recorded byte
cat > "$work/zap.conf" <<'CONF'
[Delta TV]
	SERVICE_ID = 2049
	VIDEO_PID = 256
	AUDIO_PID = 257
	DELIVERY_SYSTEM = DVBT
	FREQUENCY = 522000000
	BANDWIDTH_HZ = 8000000
CONF
zap_times=()
for _ in 1 2 3 4 5; do
  rm -f "$work/zap.ts"
  start=$(date +%s%N)
  "${run[@]}" dvbv5-zap -c "$work/zap.conf" -r -t 5 -o "$work/zap.ts" "Delta TV" > /dev/null 2>&1 & zap=$!
  while [[ ! -s $work/zap.ts ]] && kill -0 $zap 2>/dev/null; do sleep 0.005; done
  zap_times+=($(( ($(date +%s%N) - start) / 1000000 )))
  kill $zap 2>/dev/null; wait $zap 2>/dev/null
done
zap_ms=$(printf '%s\n' "${zap_times[@]}" | sort -n | sed -n 3p)
echo "server: /play->first byte [$play], request->first byte [$request_only], zap ${zap_times[*]} ms" >&2
zap_cpu_line=$(cd "$work" && "$OLDPWD/${run[0]}" "${run[@]:1}" /usr/bin/time -f 'cputime=%U+%S' \
  dvbv5-zap -c "$work/zap.conf" -r -t 8 -o "$work/zap.ts" "Delta TV" 2>&1 | grep cputime)
zap_cpu=$(sed -n 's/.*cputime=\([0-9.]*\)+\([0-9.]*\).*/\1 \2/p' <<<"$zap_cpu_line" | awk '{ printf "%.4f", ($1 + $2) / 8 }')
echo "RESULT|CPU s per s of one stream (server with relay, 1.5 Mbit/s multiplex)|$ours_cpu|$zap_cpu (dvbv5-zap -r recording the service)|$(ratio "$zap_cpu" "$ours_cpu")|zap / ours; both include the simulated adapter's threads"
echo "RESULT|/play (retune) to first /stream.ts byte, ms (median of 8)|$(value median_ms "$play")|$zap_ms (dvbv5-zap -r start to first byte, median of 5)|$(ratio "$zap_ms" "$(value median_ms "$play")")|zap / ours; the simulated lock takes 200-300 ms on both"

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
mumu=$("$tool" ttfb "$mumu_port" /bysid/2049 8 -)
curl -s --max-time 9 "http://127.0.0.1:$mumu_port/bysid/2049" -o /dev/null & curl_pid=$!
sleep 0.5; before=$(cpu_ticks "$mumu_pid"); sleep 8; after=$(cpu_ticks "$mumu_pid")
wait $curl_pid
mumu_cpu=$(awk -v t=$((after - before)) -v hz="$(getconf CLK_TCK)" 'BEGIN { printf "%.4f", t / hz / 8 }')
echo "RESULT|stream request to first byte (tuned), ms|$(value median_ms "$request_only")|$(value median_ms "$mumu") (MuMuDVB unicast)|$(ratio "$(value median_ms "$mumu")" "$(value median_ms "$request_only")")|MuMuDVB / ours"
echo "RESULT|CPU s per s of one HTTP stream|$ours_cpu|$mumu_cpu (MuMuDVB unicast)|$(ratio "$mumu_cpu" "$ours_cpu")|MuMuDVB / ours"
