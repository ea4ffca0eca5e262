#!/usr/bin/env bash
# `vantiro serve` on a multiplex that sends no PAT (the simulator's no-pat
# fault): /stream.ts still plays from the stored PMT PID. The stream opens with
# the program's own PAT and carries it again at least every half second of the
# program's clock (PCR), although the demux passes only the service's packets;
# ffprobe finds the service's video and sound in it.
set -uo pipefail
source "$(dirname "$0")/serve_lib.sh"
serve_on_standard_band ffprobe
cat > "$work/band.conf" <<CONF
adapter 0 name="Silicon Labs Si2168"
mux freq=474000000 delsys=16 ts=$band_dir/mux-474.ts lock_ms=300 strength=52428 cnr=28000 faults=no-pat
CONF
channel_list $'Alpha TV\t474000000\t16\t1025\t4096\t256\t257\t256' > "$work/cfg/vantiro/channels.tsv"

start_server "$run" --band "$work/band.conf" -- || fail "server ended: $(cat "$work/err.txt")"
echo "--- about four seconds of Alpha TV (some 55 kB a second)"
curl -s --max-time 60 "http://127.0.0.1:$PORT/stream.ts" | head -c 220000 > "$work/alpha.ts"
stop_server

python3 - "$work/alpha.ts" <<'PY' || fail "the program's PAT"
import sys
data = open(sys.argv[1], "rb").read()
packets = [data[i:i + 188] for i in range(0, len(data) - 187, 188)]
pid = lambda p: ((p[1] & 0x1F) << 8) | p[2]
def pcr(p):
    if not (p[3] & 0x20) or p[4] < 7 or not (p[5] & 0x10):
        return None
    return (p[6] << 25) | (p[7] << 17) | (p[8] << 9) | (p[9] << 1) | (p[10] >> 7)
if len(packets) < 1000:
    sys.exit("only %d packets" % len(packets))
if pid(packets[0]) != 0:
    sys.exit("the stream does not open with a PAT")
# The program's clock at each PAT: the last PCR before it.
clock, at_pats = None, []
for p in packets:
    if pid(p) == 0:
        at_pats.append(clock)
    c = pcr(p)
    if c is not None:
        clock = c
known = [c for c in at_pats if c is not None]
first, last = None, None
for p in packets:
    c = pcr(p)
    if c is not None:
        first = c if first is None else first
        last = c
span = (last - first) / 90000.0
gaps = [(b - a) / 90000.0 for a, b in zip(known, known[1:])]
print("PATs: %d over %.2f s of PCR, longest gap %.2f s" % (len(at_pats), span, max(gaps or [0])))
if span < 2.0:
    sys.exit("the stream spans only %.2f s of its clock" % span)
if len(known) < int(span / 0.5) - 1 or not gaps or max(gaps) > 0.6:
    sys.exit("PATs too rare: %d over %.2f s, gaps %s" % (len(at_pats), span, gaps))
PY
streams=$(ffprobe -v error -show_entries stream=codec_name -of csv=p=0 "$work/alpha.ts" | grep . | sort -u | tr '\n' ' ')
expect_eq "Alpha TV's streams" "$streams" "aac h264 "
echo PASS
