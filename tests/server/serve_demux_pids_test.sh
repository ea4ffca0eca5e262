#!/usr/bin/env bash
# `vantiro serve` on the simulated band has the demux pass only what its
# viewers use, as the simulator's demux log shows: while one viewer watches
# Alpha TV the DVR carries the PAT, the guide's EIT, Alpha's PMT and streams
# and nothing else; a PMT that moves Alpha's streams moves the filters with it;
# a second viewer of Beta TV widens them and its leaving narrows them again.
# Alpha's viewer never misses a packet meanwhile (its continuity counters run
# on), ffprobe finds the moved streams in it and Beta's in the second capture.
set -uo pipefail
source "$(dirname "$0")/serve_lib.sh"
serve_on_standard_band ffprobe
band_channels > "$work/cfg/vantiro/channels.tsv"
# Alpha TV's video and audio move from 0x100/0x101 to 0x500/0x501 3 s after lock.
sed "s|ts=mux-474.ts|ts=$band_dir/mux-474.ts faults=pmt-change:1025@3000|" "$band" > "$work/pmt.conf"
export DVBSIM_DEMUX_LOG=$work/demux.log
# The zap cache asks for every TV service's PIDs while anyone watches, so that a
# zap starts at a key frame; this test is about what the viewers ask for.
export VANTIRO_ZAP_CACHE=0

alpha_stored="0x0000 0x0012 0x0100 0x0101 0x1000"
alpha_moved="0x0000 0x0012 0x0500 0x0501 0x1000"
both="0x0000 0x0012 0x0102 0x0103 0x0500 0x0501 0x1000 0x1001"

# The PIDs the DVR carries now (the log's last line without the adapter).
dvr_now() { tail -1 "$DVBSIM_DEMUX_LOG" 2>/dev/null | cut -d' ' -f2-; }
dvr_is() { [[ $(dvr_now) == "$1" ]]; }
wait_context() { echo " (the DVR carries: $(dvr_now))"; }

start_server "$run" --band "$work/pmt.conf" -- || fail "server ended: $(cat "$work/err.txt")"
base=http://127.0.0.1:$PORT

echo "--- one viewer: the DVR carries its service and the guide's table only"
curl -s --max-time 120 "$base/watch/0.ts" -o "$work/alpha.ts" & alpha=$!
wait_for "no stream for Alpha TV's viewer" grown "$work/alpha.ts" 20000
wait_for "the filters did not follow Alpha TV's moved PMT" dvr_is "$alpha_moved"
lines=$(cut -d' ' -f2- "$DVBSIM_DEMUX_LOG")
grep -qxF "$alpha_stored" <<<"$lines" || fail "the stored PIDs were never filtered alone: $lines"

echo "--- a second viewer of the multiplex widens the filters, its leaving narrows them"
size=$(bytes "$work/alpha.ts")
curl -s --max-time 60 "$base/watch/1.ts" | head -c 300000 > "$work/beta.ts"
wait_for "the filters did not narrow again after Beta TV's viewer left" dvr_is "$alpha_moved"
wait_for "Alpha TV's viewer stopped" grown "$work/alpha.ts" $((size + 100000))
kill $alpha; wait $alpha 2>/dev/null
stop_server

lines=$(cut -d' ' -f2- "$DVBSIM_DEMUX_LOG")
echo "$lines"
grep -qxF "$both" <<<"$lines" || fail "Beta TV's viewer did not widen the filters to both services: $lines"
# In order: the stored PIDs, the moved ones, both services, the moved ones again.
order=$(awk -v a="$alpha_stored" -v m="$alpha_moved" -v b="$both" '
  $0 == a && step == 0 { step = 1 } $0 == m && step == 1 { step = 2 }
  $0 == b && step == 2 { step = 3 } $0 == m && step == 3 { step = 4 } END { print step + 0 }' <<<"$lines")
expect_eq "filter changes in order" "$order" "4"
allowed=" 0x0000 0x0012 0x0100 0x0101 0x0102 0x0103 0x0500 0x0501 0x1000 0x1001 "
for pid in $lines; do
  [[ $allowed == *" $pid "* ]] || fail "the DVR carried $pid, which no viewer wanted: $lines"
done

echo "--- Alpha TV's viewer: no packet lost, the moved streams play"
python3 - "$work/alpha.ts" "$work/alpha-moved.ts" <<'PY' || fail "Alpha TV's stream has a gap"
import sys
data = open(sys.argv[1], "rb").read()
start = data.find(b"\x47")
packets = [data[i:i + 188] for i in range(start, len(data) - 187, 188)]
pid = lambda p: ((p[1] & 0x1F) << 8) | p[2]
first = next(i for i, p in enumerate(packets) if pid(p) == 0x500)
last, errors, seen = {}, 0, {}
for p in packets[first:]:
    k = pid(p)
    if k not in (0x500, 0x501):
        continue
    seen[k] = seen.get(k, 0) + 1
    cc, payload = p[3] & 0x0F, (p[3] & 0x10) != 0
    if k in last and cc != last[k] and (not payload or cc != (last[k] + 1) % 16):
        errors += 1
        print("continuity broken on 0x%x: %d after %d" % (k, cc, last[k]))
    last[k] = cc
print("packets after the move:", {hex(k): v for k, v in seen.items()}, "continuity errors:", errors)
open(sys.argv[2], "wb").write(b"".join(packets[first:]))
sys.exit(1 if errors or len(seen) != 2 else 0)
PY
streams() {
  ffprobe -v error -show_entries program=program_num:stream=id,codec_type -of compact "$1" 2>/dev/null |
    grep -o 'codec_type=[a-z]*|id=0x[0-9a-f]*' | sort -u | tr '\n' ' '
}
expect_eq "Alpha TV after the move" "$(streams "$work/alpha-moved.ts")" "codec_type=audio|id=0x501 codec_type=video|id=0x500 "
expect_eq "Beta TV" "$(streams "$work/beta.ts")" "codec_type=audio|id=0x103 codec_type=video|id=0x102 "
[[ -s $work/err.txt ]] && fail "stderr: $(cat "$work/err.txt")"
echo PASS
