#!/usr/bin/env bash
# Parsing a 100 000-entry M3U playlist: parseM3u against a plain line count of
# the same bytes (std::getline into a string, in the same process, the two timed
# in turn), and against wc -l reading the file.
set -uo pipefail
cd "$(dirname "$0")/.."
source bench/lib/stats.sh
build=${1:?usage: bench/m3u_parse.sh BUILD_DIR}
tool="$build/tools/m3u_bench/m3u_bench"
[[ -x "$tool" ]] || { echo "m3u_parse: $tool not built" >&2; exit 1; }
work=$(mktemp -d); trap 'rm -rf "$work"' EXIT
playlist="$work/big.m3u8"
entries=100000
"$tool" write "$playlist" "$entries"

line=$("$tool" time "$playlist" "$BENCH_RUNS")
echo "m3u_parse: $line" >&2
list() { sed -n "s/.*$1=\([0-9.,]*\).*/\1/p" <<<"$line" | tr ',' ' '; }
got=$(sed -n 's/.*entries=\([0-9]*\).*/\1/p' <<<"$line")
[[ "$got" == "$entries" ]] || { echo "m3u_parse: parsed $got of $entries entries" >&2; exit 1; }

# wc -l from its own start to its exit: a whole process, started the same way each run.
wc_ms=()
for _ in $(seq 1 "$BENCH_RUNS"); do
    wc_ms+=("$( { TIMEFORMAT=%R; time wc -l "$playlist" >/dev/null; } 2>&1 | awk '{ printf "%.3f", $1 * 1000 }')")
done
size_mb=$(awk -v b="$(stat -c %s "$playlist")" 'BEGIN { printf "%.1f", b / 1048576 }')

bench_row name="parse 100000-entry M3U playlist ($size_mb MB), ms" ours="$(list parse_ms)" peer="$(list linecount_ms)" \
    peer_label="(getline line count of the same bytes)" \
    note="line count / parse; 1.0 = as fast as only splitting lines"
bench_row name="parse 100000-entry M3U playlist vs wc -l, ms" ours="$(list parse_ms)" peer="${wc_ms[*]}" \
    peer_label="(wc -l, process start included)" note="wc -l / parse; the file is in the page cache"
exit 0
