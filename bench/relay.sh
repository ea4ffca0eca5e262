#!/usr/bin/env bash
# The relay pipeline (DVR source -> hub -> service filter -> queue -> pipe), each
# figure against a peer or a ceiling in the same run:
#  - line rate from memory without the simulator (tools/relay_bench rate), one
#    service and every PID, against the ceiling of copying the same bytes through
#    one pipe (dd | dd), which the relay, with two pipes and a filter in between,
#    cannot beat; the goals are 1000 and 800 Mbit/s;
#  - CPU seconds per second of a 40 Mbit/s multiplex on the simulated adapter, the
#    window's path (tools/relay_bench device) against dvbv5-zap recording the same
#    service with the same PID set (-p: PAT, PMT, video and audio), over the same
#    steady window (process total, the simulator's pacing threads included on both).
set -uo pipefail
cd "$(dirname "$0")/.."
source bench/lib/stats.sh
build=$(realpath "${1:?usage: bench/relay.sh BUILD_DIR}")
tool=$build/tools/relay_bench/relay_bench
lib=$build/tools/dvbsim/libdvbsim.so
for need in "$tool" "$lib"; do [[ -e $need ]] || { echo "relay: $need not built" >&2; exit 1; }; done
command -v dvbv5-zap >/dev/null || { echo "relay: dvbv5-zap missing" >&2; exit 1; }
band=$(tools/dvbsim/make-band "$build/dvbsim-band") || exit 1
mux=$(dirname "$band")/mux-474.ts
work=$(mktemp -d); trap 'rm -rf "$work"' EXIT
megabytes=256
window=4

# ---- line rate from memory ---------------------------------------------------
# The ceiling: the same number of bytes of the multiplex through one pipe, as dd reports it.
reps=$(( megabytes * 1048576 / $(stat -c %s "$mux") + 1 ))
for _ in $(seq 1 "$reps"); do cat "$mux"; done | head -c $((megabytes * 1048576)) > "$work/big.ts"
cat "$work/big.ts" > /dev/null   # into the page cache
copy_rate() {
    dd if="$work/big.ts" bs=1M 2>/dev/null | dd of=/dev/null bs=1M 2>&1 |
        awk '/bytes/ { for (i = 1; i <= NF; ++i) if ($i == "s,") s = $(i - 1); b = $1 } END { if (s > 0) printf "%.1f", b * 8 / s / 1e6 }'
}
one=(); all=(); copy=()
for run in $(seq 1 "$BENCH_RUNS"); do
    one+=("$(sed -n 's/.*mbit_per_s=\([0-9.]*\).*dropped=0 .*/\1/p' <<<"$("$tool" rate "$mux" "$megabytes" service 1025)")")
    all+=("$(sed -n 's/.*mbit_per_s=\([0-9.]*\).*dropped=0 .*/\1/p' <<<"$("$tool" rate "$mux" "$megabytes" all)")")
    copy+=("$(copy_rate)")
    echo "relay: run $run: one service ${one[-1]}, every PID ${all[-1]}, pipe copy ${copy[-1]} Mbit/s" >&2
done
bench_row name="relay line rate from memory, one service, Mbit/s of multiplex" format=%.0f better=higher \
    ours="${one[*]}" peer="${copy[*]}" peer_label="(ceiling: the same bytes through one pipe, dd | dd)" \
    limit=1.0 limit_reason="the relay moves the bytes through two pipes and a filter, so it cannot beat one pipe" \
    note="relay / ceiling; goal 1000 Mbit/s; ${megabytes} MiB of the 474 MHz multiplex, no drop allowed"
bench_row name="relay line rate from memory, every PID, Mbit/s of multiplex" format=%.0f better=higher \
    ours="${all[*]}" peer="${copy[*]}" peer_label="(ceiling: the same bytes through one pipe, dd | dd)" \
    limit=1.0 limit_reason="the relay moves the bytes through two pipes and a filter, so it cannot beat one pipe" \
    note="relay / ceiling; goal 800 Mbit/s; ${megabytes} MiB of the 474 MHz multiplex, no drop allowed"

# ---- CPU of a 40 Mbit/s multiplex on the simulated adapter -------------------
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
    relay_cpu+=("$(steady_cpu "${sim[@]}" "$tool" device 0 474000000 16 $((window + 2)) 1025)")
    zap_cpu+=("$(cd "$work" && steady_cpu "$OLDPWD/${sim[0]}" "${sim[@]:1}" dvbv5-zap -c "$work/channels.conf" -p \
        -t $((window + 2)) -o "$work/zap.ts" "Alpha TV")")
    rm -f "$work/zap.ts"
    echo "relay: run $run: relay ${relay_cpu[-1]} zap ${zap_cpu[-1]} CPU s/s" >&2
done
bench_row name="relay CPU s per s of a 40 Mbit/s multiplex (one service relayed)" format=%.4f \
    ours="${relay_cpu[*]}" peer="${zap_cpu[*]}" peer_label="(dvbv5-zap -p -r, same PIDs, to a file)" \
    note="zap / relay over the same steady ${window} s window; the relay taps the whole multiplex and filters it itself, zap has the demux filter its PIDs; both include the simulated adapter's own threads"
exit 0
