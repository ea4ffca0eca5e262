#!/usr/bin/env bash
# `vantiro serve` on the simulated band: what live reception throws at the
# stream. A channel saved without PIDs plays once its PMT arrives (ffprobe
# finds its video and audio).
set -uo pipefail
source "$(dirname "$0")/serve_lib.sh"
[[ -n ${DVBSIM_LIB:-} ]] || { echo "DVBSIM_LIB not set"; exit 77; }
command -v ffprobe >/dev/null || { echo "missing ffprobe"; exit 77; }

run=$VANTIRO_SOURCE_DIR/tools/dvbsim/dvbsim-run
band=$("$VANTIRO_SOURCE_DIR/tools/dvbsim/make-band" "$VANTIRO_BUILD_DIR/dvbsim-band") || fail "no band"
list=$work/cfg/vantiro/channels.tsv

# capture NAME BYTES: that much of the stream into NAME.ts
capture() { curl -s "http://127.0.0.1:$PORT/stream.ts" | head -c "$2" > "$work/$1.ts"; }
streams_of() {
  ffprobe -v error -show_entries program=program_num:program_stream=id,codec_type -of compact "$1" 2>/dev/null |
    grep -o 'codec_type=[a-z]*|id=0x[0-9a-f]*' | sort -u | tr '\n' ' '
}
programs_of() {
  ffprobe -v error -show_entries program=program_num -of csv=p=0 "$1" 2>/dev/null | grep -c .
}

echo "--- a channel saved without PIDs"
channel_list $'Beta TV\t474000000\t16\t1026\t0\t0\t0\t0' $'Alpha TV\t474000000\t16\t1025\t0\t0\t0\t0' > "$list"
start_server "$run" --band "$band" -- || fail "server ended: $(cat "$work/err.txt")"
capture beta 600000
expect_eq "programs" "$(programs_of "$work/beta.ts")" "1"
expect_eq "streams" "$(streams_of "$work/beta.ts")" "codec_type=audio|id=0x103 codec_type=video|id=0x102 "
expect_eq "play" "$(post '/play?index=1')" "ok"
capture alpha 600000
expect_eq "streams after a zap" "$(streams_of "$work/alpha.ts")" "codec_type=audio|id=0x101 codec_type=video|id=0x100 "
stop_server
[[ -s $work/err.txt ]] && fail "stderr: $(cat "$work/err.txt")"

echo PASS
