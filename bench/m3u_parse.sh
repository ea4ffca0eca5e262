#!/usr/bin/env bash
# Parsing a 100 000-entry M3U playlist: parseM3u against a plain line count of
# the same bytes (std::getline into a string, in the same process), and the
# whole file's line count by wc -l.
set -euo pipefail
build=${1:?usage: bench/m3u_parse.sh BUILD_DIR}
tool="$build/tools/m3u_bench/m3u_bench"
[[ -x "$tool" ]] || { echo "m3u_parse: $tool not built" >&2; exit 1; }
work=$(mktemp -d); trap 'rm -rf "$work"' EXIT
playlist="$work/big.m3u8"
entries=100000
"$tool" write "$playlist" "$entries"

line=$("$tool" time "$playlist" 7)
echo "m3u_parse: $line" >&2
value() { sed -n "s/.*$1=\([0-9.]*\).*/\1/p" <<<"$line"; }
parse_ms=$(value parse_ms)
count_ms=$(value linecount_ms)
got=$(value entries)
[[ "$got" == "$entries" ]] || { echo "m3u_parse: parsed $got of $entries entries" >&2; exit 1; }

wc_ms=$( { TIMEFORMAT=%R; time wc -l "$playlist" >/dev/null; } 2>&1 )
wc_ms=$(awk -v s="$wc_ms" 'BEGIN { printf "%.3f", s * 1000 }')
size_mb=$(awk -v b="$(stat -c %s "$playlist")" 'BEGIN { printf "%.1f", b / 1048576 }')

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'; }
echo "RESULT|parse 100000-entry M3U playlist ($size_mb MB), ms|$parse_ms|$count_ms (getline line count)|$(ratio "$count_ms" "$parse_ms")|best of 7; line count / parse, 1.0 = as fast as only splitting lines"
echo "RESULT|parse 100000-entry M3U playlist vs wc -l, ms|$parse_ms|$wc_ms (wc -l incl. process start)|$(ratio "$wc_ms" "$parse_ms")|wc -l / parse"
