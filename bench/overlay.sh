#!/usr/bin/env bash
# CPU per frame of the overlay's heaviest pieces (audio visualiser, a 500-row
# channel list, the toolbar) in a headless UI context, against an empty frame
# of the same context in the same process; each run is a fresh process.
set -uo pipefail
cd "$(dirname "$0")/.."
source bench/lib/stats.sh
build=${1:?usage: bench/overlay.sh BUILD_DIR}
tool="$build/tools/overlay_bench/overlay_bench"
[[ -x "$tool" ]] || { echo "overlay: $tool not built" >&2; exit 1; }
declare -A runs
for _ in $(seq 1 "$BENCH_RUNS"); do
    line=$("$tool" 2000)
    echo "overlay: $line" >&2
    for part in empty visualiser list toolbar; do
        runs[$part]+="$(sed -n "s/.*${part}_us=\([0-9.]*\).*/\1/p" <<<"$line") "
    done
done
for part in visualiser list toolbar; do
    case $part in
        visualiser) what="audio visualiser (56 bars), CPU us per frame" ;;
        list) what="channel list of 500 rows, CPU us per frame" ;;
        toolbar) what="toolbar with six drawn icons, CPU us per frame" ;;
    esac
    share=$(awk -v us="$(bench_median ${runs[$part]})" 'BEGIN { printf "%.4f", us / 16667 }')
    bench_row name="$what" format=%.2f ours="${runs[$part]}" peer="${runs[empty]}" \
        peer_label="(empty UI frame)" note="empty frame / ours (a baseline, not a peer); share of a 60 Hz frame: $share"
done
exit 0
