#!/usr/bin/env bash
# w_scan, which takes the tuning data of each multiplex from the NIT's
# delivery system descriptors, finds the seven services of the standard band
# with the ids and PIDs ffprobe reads from the multiplex files. Slow: w_scan
# waits out every empty channel of its country's list (about four minutes).
set -euo pipefail

[[ -n ${DVBSIM_LIB:-} ]] || { echo "DVBSIM_LIB not set"; exit 77; }
for tool in w_scan ffprobe python3; do
  command -v "$tool" >/dev/null || { echo "missing $tool"; exit 77; }
done

run=$VANTIRO_SOURCE_DIR/tools/dvbsim/dvbsim-run
band=$("$VANTIRO_SOURCE_DIR/tools/dvbsim/make-band" "$VANTIRO_BUILD_DIR/dvbsim-band")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

# -X: tzap format, "NAME(PROVIDER):FREQ:...:VPID:APID:SID".
(cd "$work" && "$run" --band "$band" w_scan -ft -c DE -X > "$work/wscan.conf" 2> "$work/wscan.log") \
  || { tail -20 "$work/wscan.log"; fail "w_scan failed"; }
cat "$work/wscan.conf"
python3 - "$work/wscan.conf" > "$work/found.txt" <<'PY'
import re, sys
for line in open(sys.argv[1], encoding="utf-8"):
    f = line.rstrip("\n").split(":")
    if len(f) < 13: continue
    name = f[0].rsplit("(", 1)[0]
    first = lambda field: int(re.match(r"\d+", field).group(0))  # "257,258" or "257=tha"
    print(f[12], first(f[10]), first(f[11]), f[1], name)
PY
python3 - "$band" > "$work/expected.txt" <<'PY'
import json, os, subprocess, sys
band = sys.argv[1]
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
        print(p["program_num"], pid("video"), pid("audio"), kv["freq"], p["tags"]["service_name"])
PY
diff -u <(sort "$work/expected.txt") <(sort "$work/found.txt") || fail "w_scan and ffprobe disagree"
echo PASS
