#!/usr/bin/env bash
# `vantiro serve` on the simulated band: what live reception throws at the
# stream. A channel saved without PIDs plays once its PMT arrives (ffprobe
# finds its video and audio); a PMT that moves the service's PIDs mid-stream
# is followed on the same connection; repeated DVR overflows leave the stream
# going and are counted on stderr.
set -uo pipefail
source "$(dirname "$0")/serve_lib.sh"
serve_on_standard_band ffprobe
list=$work/cfg/vantiro/channels.tsv

# capture NAME BYTES: that much of the stream into NAME.ts
capture() { curl -s "http://127.0.0.1:$PORT/stream.ts" | head -c "$2" > "$work/$1.ts"; }
streams_of() {
  ffprobe -v error -show_entries program=program_num:program_stream=id,codec_type -of compact "$1" 2>/dev/null |
    grep -o 'codec_type=[a-z]*|id=0x[0-9a-f]*' | sort -u | tr '\n' ' '
}
pids_of() {
  python3 - "$1" <<'PY'
import sys
data = open(sys.argv[1], "rb").read()
pids = set()
for i in range(data.find(b"\x47"), len(data) - 187, 188):
    pids.add(((data[i + 1] & 0x1F) << 8) | data[i + 2])
print(" ".join("0x%x" % p for p in sorted(pids)))
PY
}
programs_of() {
  ffprobe -v error -show_entries program=program_num -of csv=p=0 "$1" 2>/dev/null | grep -c .
}

echo "--- a channel saved without PIDs"
channel_list $'Beta TV\t474000000\t16\t1026\t0\t0\t0\t0' $'Alpha TV\t474000000\t16\t1025\t0\t0\t0\t0' > "$list"
start_server "$run" --band "$band" -- || fail "server ended: $(cat "$work/err.txt")"
capture beta 300000
expect_eq "programs" "$(programs_of "$work/beta.ts")" "1"
expect_eq "streams" "$(streams_of "$work/beta.ts")" "codec_type=audio|id=0x103 codec_type=video|id=0x102 "
expect_eq "play" "$(post '/play?index=1')" "ok"
capture alpha 300000
expect_eq "streams after a zap" "$(streams_of "$work/alpha.ts")" "codec_type=audio|id=0x101 codec_type=video|id=0x100 "
stop_server
[[ -s $work/err.txt ]] && fail "stderr: $(cat "$work/err.txt")"

echo "--- the PMT moves Beta TV's streams mid-stream"
sed "s|ts=mux-474.ts|ts=$band_dir/mux-474.ts faults=pmt-change:1026@2500|" "$band" > "$work/pmt.conf"
channel_list $'Beta TV\t474000000\t16\t1026\t4097\t258\t259\t258' > "$list"
start_server "$run" --band "$work/pmt.conf" -- || fail "server ended: $(cat "$work/err.txt")"
capture moved 500000
[[ $(stat -c %s "$work/moved.ts") -eq 500000 ]] || fail "the stream ended at the PMT change"
pids=$(pids_of "$work/moved.ts")
[[ " $pids " == *" 0x502 0x503 "* ]] || fail "the new PIDs did not follow the new PMT: $pids"
[[ " $pids " == *" 0x102 "* ]] && echo "(the capture spans the change: $pids)"
stop_server

echo "--- repeated DVR overflows"
sed "s|ts=mux-474.ts|ts=$band_dir/mux-474.ts faults=dvr-overflow-every:1000|" "$band" > "$work/over.conf"
band_channels > "$list"
start_server "$run" --band "$work/over.conf" -- || fail "server ended: $(cat "$work/err.txt")"
capture over 400000
[[ $(stat -c %s "$work/over.ts") -eq 400000 ]] || fail "the stream ended at an overflow"
expect_eq "streams across overflows" "$(streams_of "$work/over.ts")" "codec_type=audio|id=0x101 codec_type=video|id=0x100 "
stop_server
grep -v '^dvr overflow ([0-9]* so far)$' "$work/err.txt" && fail "unexpected stderr"
last=$(tail -1 "$work/err.txt" | grep -o '[0-9]*')
[[ ${last:-0} -ge 2 ]] || fail "overflows not counted: $(cat "$work/err.txt")"

echo PASS
