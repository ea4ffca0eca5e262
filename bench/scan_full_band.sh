#!/usr/bin/env bash
# The blind sweep of the whole UHF band over the simulated adapter (standard band):
# `vantiro scan` (470-862 MHz, 50 frequencies, DVB-T2 then DVB-T at each) against
# w_scan, which also sweeps without a frequency list (-c DE: 474-858 MHz, 49
# frequencies, all as DVB-T, then all as DVB-T2). Both find their multiplexes by lock;
# the services each lists are reported beside the times, which run from the first
# DTV_TUNE (the simulator's tune log) to the end of the sweep. About five minutes a run.
set -uo pipefail
cd "$(dirname "$0")/.."
source bench/lib/stats.sh
build=$(realpath "${1:?usage: bench/scan_full_band.sh BUILD_DIR}")
bin=$build/vantiro
lib=$build/tools/dvbsim/libdvbsim.so
[[ -x $bin && -f $lib ]] || { echo "scan_full_band: build $bin and $lib first" >&2; exit 1; }
command -v w_scan >/dev/null || { echo "scan_full_band: w_scan missing (w-scan)" >&2; exit 1; }
work=$(mktemp -d); trap 'rm -rf "$work"' EXIT
band=$(tools/dvbsim/make-band "$build/dvbsim-band")
export XDG_CONFIG_HOME=$work/cfg XDG_CACHE_HOME=$work/cache

ours=(); peer=(); ours_services=0; peer_services=0; peer_locks=0
for run in $(seq 1 "$BENCH_RUNS"); do
    ours+=("$(bench_tune_to_end "$lib" "$band" "$work/vantiro.out" "$bin" scan)")
    ours_services=$(grep -c ' sid=' "$work/vantiro.out" || true)
    # w_scan writes its list on standard output and its progress on standard error.
    peer+=("$(bench_tune_to_end "$lib" "$band" "$work/wscan.all" sh -c "w_scan -ft -c DE -a 0 -X 2> $work/wscan.log")")
    peer_services=$(grep -c . "$work/wscan.all" || true)
    peer_locks=$(grep -c 'signal ok' "$work/wscan.log" || true)
    echo "scan_full_band: run $run: vantiro ${ours[-1]} s ($ours_services services), w_scan ${peer[-1]} s ($peer_services services, $peer_locks locks)" >&2
done
bench_row name="blind sweep of the UHF band, s" format=%.1f ours="${ours[*]}" peer="${peer[*]}" \
    peer_label="w_scan -c DE" \
    note="w_scan / vantiro; first tune to end of sweep; services found: vantiro $ours_services, w_scan $peer_services ($peer_locks locks); simulated adapter"
exit 0
