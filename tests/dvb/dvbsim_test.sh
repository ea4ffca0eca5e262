#!/usr/bin/env bash
# Real DVB tools against the simulated adapter: dvbv5-zap locks and records a
# service that ffprobe can read, and dvbv5-scan finds every service of the
# standard band with the ids and PIDs that ffprobe reads from the multiplexes
# and that `vantiro scan` prints.
set -euo pipefail

[[ -n ${DVBSIM_LIB:-} ]] || { echo "DVBSIM_LIB not set"; exit 77; }
for tool in dvbv5-zap dvbv5-scan ffprobe python3; do
  command -v "$tool" >/dev/null || { echo "missing $tool"; exit 77; }
done

run=$VANTIRO_SOURCE_DIR/tools/dvbsim/dvbsim-run
band=$("$VANTIRO_SOURCE_DIR/tools/dvbsim/make-band" "$VANTIRO_BUILD_DIR/dvbsim-band")
band_dir=$(dirname "$band")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() { echo "FAIL: $*"; exit 1; }

cat > "$work/initial.conf" <<'CONF'
[CHANNEL]
	DELIVERY_SYSTEM = DVBT2
	FREQUENCY = 474000000
	BANDWIDTH_HZ = 8000000

[CHANNEL]
	DELIVERY_SYSTEM = DVBT
	FREQUENCY = 522000000
	BANDWIDTH_HZ = 8000000

[CHANNEL]
	DELIVERY_SYSTEM = DVBT2
	FREQUENCY = 546000000
	BANDWIDTH_HZ = 8000000
CONF

echo "--- dvbv5-scan over the band"
"$run" --band "$band" dvbv5-scan -o "$work/scanned.conf" "$work/initial.conf" > "$work/scan.log" 2>&1 \
  || { cat "$work/scan.log"; fail "dvbv5-scan failed"; }

# Services as dvbv5-scan saw them: "sid video audio frequency system name".
python3 - "$work/scanned.conf" > "$work/scan.txt" <<'PY'
import sys
entries, cur = [], None
for line in open(sys.argv[1], encoding="utf-8"):
    line = line.strip()
    if line.startswith("[") and line.endswith("]"):
        cur = {"name": line[1:-1]}; entries.append(cur)
    elif "=" in line and cur is not None:
        k, v = (s.strip() for s in line.split("=", 1)); cur[k] = v
for e in entries:
    # A service with several audio streams lists them all; the first is the one compared.
    print(e["SERVICE_ID"], e.get("VIDEO_PID", "0").split()[0], e.get("AUDIO_PID", "0").split()[0], e["FREQUENCY"],
          e["DELIVERY_SYSTEM"], e["name"])
PY

# The same read by ffprobe from the multiplex files named in the band.
python3 - "$band" > "$work/probe.txt" <<'PY'
import json, os, subprocess, sys
band = sys.argv[1]
names = {16: "DVBT2", 3: "DVBT"}
for line in open(band, encoding="utf-8"):
    words = line.split("#")[0].split()
    if not words or words[0] != "mux": continue
    kv = dict(w.split("=", 1) for w in words[1:])
    ts = os.path.join(os.path.dirname(band), kv["ts"])
    out = subprocess.run(["ffprobe", "-v", "error", "-show_entries",
        "program=program_num:program_tags=service_name:program_stream=id,codec_type",
        "-of", "json", ts], capture_output=True, check=True, text=True).stdout
    for p in json.loads(out)["programs"]:
        pid = lambda kind: next((int(s["id"], 16) for s in p["streams"] if s["codec_type"] == kind), 0)
        print(p["program_num"], pid("video"), pid("audio"), kv["freq"], names[int(kv["delsys"])],
              p["tags"]["service_name"])
PY

cat "$work/scan.txt"
diff -u "$work/probe.txt" "$work/scan.txt" || fail "dvbv5-scan and ffprobe disagree"
[[ $(wc -l < "$work/scan.txt") -eq 7 ]] || fail "expected 7 services"

echo "--- vantiro scan lists the same services"
if [[ -x ${VANTIRO_BIN:-} ]]; then
  XDG_CONFIG_HOME=$work/cfg HOME=/nonexistent "$run" --band "$band" "$VANTIRO_BIN" scan 474 546 > "$work/vantiro.log" 2>&1 \
    || { cat "$work/vantiro.log"; fail "vantiro scan failed"; }
  # "474 MHz (DVB-T2):" then "    NAME  sid=N vpid=N apid=N" lines.
  python3 - "$work/vantiro.log" > "$work/vantiro.txt" <<'PY'
import re, sys
freq = system = None
for line in open(sys.argv[1], encoding="utf-8"):
    m = re.match(r"^(\d+) MHz \((DVB-T2?)\):$", line.rstrip("\n"))
    if m:
        freq, system = int(m.group(1)) * 1000000, m.group(2).replace("-", "")
        continue
    m = re.match(r"^    (.*?)\s+sid=(\d+) vpid=(\d+) apid=(\d+)$", line.rstrip("\n"))
    if m and freq:
        print(m.group(2), m.group(3), m.group(4), freq, system, m.group(1))
PY
  diff -u "$work/scan.txt" "$work/vantiro.txt" || fail "vantiro scan and dvbv5-scan disagree"
else
  echo "(no VANTIRO_BIN: skipped)"
fi

echo "--- dvbv5-zap records Alpha TV"
"$run" --band "$band" dvbv5-zap -c "$work/scanned.conf" -p -r -o "$work/alpha.ts" -t 3 "Alpha TV" \
  > "$work/zap.log" 2>&1 || { cat "$work/zap.log"; fail "dvbv5-zap failed"; }
grep -q "Lock" "$work/zap.log" || { cat "$work/zap.log"; fail "no lock reported"; }
streams=$(ffprobe -v error -show_entries program=program_num:program_stream=codec_type,id -of json "$work/alpha.ts" \
  2>/dev/null | python3 -c '
import json, sys
for p in json.load(sys.stdin)["programs"]:
    if p["program_num"] == 1025:
        print(" ".join(sorted(s["codec_type"] + "," + s["id"] for s in p["streams"])))')
echo "recorded: $streams"
[[ $streams == "audio,0x101 video,0x100" ]] || fail "recording lacks Alpha TV's video and audio: $streams"
size=$(stat -c %s "$work/alpha.ts")
# Paced at the multiplex bitrate: 3 s of a 2 Mbit/s multiplex filtered to one service.
(( size > 50000 )) || fail "recording too small: $size bytes"

echo "--- the DVB-T multiplex does not lock as DVB-T2"
sed 's/DELIVERY_SYSTEM = DVBT$/DELIVERY_SYSTEM = DVBT2/' "$work/scanned.conf" > "$work/wrong.conf"
if "$run" --band "$band" dvbv5-zap -c "$work/wrong.conf" -t 2 "Delta TV" > "$work/wrong.log" 2>&1 \
   && grep -q "Lock   (0x1f)" "$work/wrong.log"; then
  cat "$work/wrong.log"; fail "Delta TV locked as DVB-T2"
fi

echo "--- no band: no adapter"
if DVBSIM_BAND=/nonexistent/band.conf "$run" --band /nonexistent/band.conf dvbv5-zap -c "$work/scanned.conf" -t 1 "Alpha TV" \
   > "$work/none.log" 2>&1; then
  cat "$work/none.log"; fail "zap succeeded without a band"
fi
echo "--- a malformed band says where, and no adapter appears"
printf 'adapter 0\nmux freq=474000000 delsys=5 ts=x.ts\n' > "$work/bad.conf"
if "$run" --band "$work/bad.conf" dvbv5-zap -c "$work/scanned.conf" -t 1 "Alpha TV" > "$work/bad.log" 2>&1; then
  cat "$work/bad.log"; fail "zap succeeded with a malformed band"
fi
grep -q "dvbsim: band line 2: delsys must be 16 (DVB-T2) or 3 (DVB-T)" "$work/bad.log" \
  || { cat "$work/bad.log"; fail "no message naming the bad band line"; }
echo PASS
