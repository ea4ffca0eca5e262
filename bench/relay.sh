#!/usr/bin/env bash
# The TS relay on the simulated adapter against dvbv5-zap recording the same
# service with the same PID set (-p: PAT, PMT, video and audio) from dvr0:
#  - CPU seconds per second of a 40 Mbit/s multiplex over the same steady window
#    (process total, the simulator's pacing threads included on both sides).
set -uo pipefail
cd "$(dirname "$0")/.."
source bench/lib/stats.sh
build=$(realpath "${1:?usage: bench/relay.sh BUILD_DIR}")
tool=$build/tools/server_bench/server_bench
lib=$build/tools/dvbsim/libdvbsim.so
for need in "$tool" "$lib"; do [[ -e $need ]] || { echo "relay: $need not built" >&2; exit 1; }; done
command -v dvbv5-zap >/dev/null || { echo "relay: dvbv5-zap missing" >&2; exit 1; }
band=$(tools/dvbsim/make-band "$build/dvbsim-band") || exit 1
mux=$(dirname "$band")/mux-474.ts
work=$(mktemp -d); trap 'rm -rf "$work"' EXIT
window=4

cat > "$work/channels.conf" <<'CONF'
[Alpha TV]
	SERVICE_ID = 1025
	VIDEO_PID = 256
	AUDIO_PID = 257
	DELIVERY_SYSTEM = DVBT2
	FREQUENCY = 474000000
	BANDWIDTH_HZ = 8000000
CONF
printf 'adapter 0 name="Silicon Labs Si2168"\nmux freq=474000000 delsys=16 ts=%s bitrate=40000000 lock_ms=300\n' \
    "$mux" > "$work/band-40.conf"
sim=(tools/dvbsim/dvbsim-run --lib "$lib" --band "$work/band-40.conf")

# steady_cpu COMMAND...: CPU per second of the command over a steady window after 1 s.
steady_cpu() {
    "$@" > /dev/null 2>&1 &
    local pid=$!
    sleep 1
    bench_cpu_per_second "$pid" "$window"
    wait "$pid"
}

relay_cpu=(); zap_cpu=()
for run in $(seq 1 "$BENCH_RUNS"); do
    relay_cpu+=("$(steady_cpu "${sim[@]}" "$tool" relay 0 474000000 16 $((window + 2)) 0 0x1000 0x100 0x101 0x100)")
    zap_cpu+=("$(cd "$work" && steady_cpu "$OLDPWD/${sim[0]}" "${sim[@]:1}" dvbv5-zap -c "$work/channels.conf" -p \
        -t $((window + 2)) -o "$work/zap.ts" "Alpha TV")")
    rm -f "$work/zap.ts"
    echo "relay: run $run: relay ${relay_cpu[-1]} zap ${zap_cpu[-1]} CPU s/s" >&2
done
bench_row name="relay CPU s per s of a 40 Mbit/s multiplex (one service relayed)" format=%.4f \
    ours="${relay_cpu[*]}" peer="${zap_cpu[*]}" peer_label="(dvbv5-zap -p -r, same PIDs, to a file)" \
    note="zap / relay over the same steady ${window} s window; both include the simulated adapter's own threads"
exit 0
