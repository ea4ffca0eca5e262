#!/usr/bin/env bash
# CPU per frame of the overlay's heaviest pieces (audio visualiser, a 500-row
# channel list, the toolbar) in a headless UI context, against an empty frame
# of the same context and against the 16.7 ms of one 60 Hz frame.
set -euo pipefail
build=${1:?usage: bench/overlay.sh BUILD_DIR}
tool="$build/tools/overlay_bench/overlay_bench"
[[ -x "$tool" ]] || { echo "overlay: $tool not built" >&2; exit 1; }
line=$("$tool" 2000)
echo "overlay: $line" >&2
value() { sed -n "s/.*$1=\([0-9.]*\).*/\1/p" <<<"$line"; }
empty=$(value empty_us)
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", (b > 0 ? a / b : 0) }'; }
for part in visualiser list toolbar; do
    us=$(value "${part}_us")
    case $part in
        visualiser) what="audio visualiser (56 bars), CPU us per frame" ;;
        list) what="channel list of 500 rows, CPU us per frame" ;;
        toolbar) what="toolbar with six drawn icons, CPU us per frame" ;;
    esac
    echo "RESULT|$what|$us|$empty (empty UI frame)|$(ratio "$empty" "$us")|empty frame / ours; share of a 60 Hz frame: $(ratio "$us" 16667)"
done
