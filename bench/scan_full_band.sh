#!/usr/bin/env bash
# The blind sweep of the whole UHF band over the simulated adapter (standard band):
# `vantiro scan` (470-862 MHz, 50 frequencies, DVB-T2 then DVB-T at each) against
# w_scan, which also sweeps without a frequency list (-c DE: 474-858 MHz, 49
# frequencies, all as DVB-T, then all as DVB-T2). Both find their multiplexes by lock;
# the services each lists are reported beside the times. Takes about five minutes.
set -euo pipefail
build=$(realpath "${1:?usage: bench/scan_full_band.sh BUILD_DIR}")
src=$(cd "$(dirname "$0")/.." && pwd)
bin=$build/vantiro
lib=$build/tools/dvbsim/libdvbsim.so
[[ -x $bin && -f $lib ]] || { echo "scan_full_band: build $bin and $lib first" >&2; exit 1; }
command -v w_scan >/dev/null || { echo "scan_full_band: w_scan missing (w-scan)" >&2; exit 1; }
work=$(mktemp -d); trap 'rm -rf "$work"' EXIT
band=$("$src/tools/dvbsim/make-band" "$build/dvbsim-band")
sim() { "$src/tools/dvbsim/dvbsim-run" --band "$band" --lib "$lib" "$@"; }
now() { date +%s.%N; }
elapsed() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.1f", b - a }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'; }
export XDG_CONFIG_HOME=$work/cfg

start=$(now)
sim "$bin" scan > "$work/vantiro.out" || true
ours=$(elapsed "$start" "$(now)")
ours_services=$(grep -c ' sid=' "$work/vantiro.out" || true)

start=$(now)
sim w_scan -ft -c DE -a 0 -X > "$work/wscan.out" 2> "$work/wscan.log" || true
peer=$(elapsed "$start" "$(now)")
peer_services=$(grep -c . "$work/wscan.out" || true)
peer_locks=$(grep -c 'signal ok' "$work/wscan.log" || true)
echo "scan_full_band: vantiro ${ours}s ($ours_services services), w_scan ${peer}s ($peer_services services, $peer_locks locks)" >&2
echo "RESULT|blind sweep of the UHF band, s|$ours ($ours_services services)|$peer w_scan -c DE ($peer_services services, $peer_locks locks)|$(ratio "$peer" "$ours")|w_scan / vantiro; simulated adapter"
