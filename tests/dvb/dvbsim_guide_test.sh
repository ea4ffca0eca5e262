#!/usr/bin/env bash
# The guide data of the standard band as an independent reader sees it:
# dvbinfo (libdvbpsi) decodes, from what dvbv5-zap records off the simulated
# DVR, EIT present/following and a multi-section schedule for every service of
# each multiplex with short and extended event, content and parental rating
# descriptors, the TDT and TOT, and an SDT announcing both kinds of EIT.
# (Seven seconds a multiplex: the TDT and TOT come every five.)
set -euo pipefail

[[ -n ${DVBSIM_LIB:-} ]] || { echo "DVBSIM_LIB not set"; exit 77; }
for tool in dvbv5-zap dvbinfo python3; do
  command -v "$tool" >/dev/null || { echo "missing $tool"; exit 77; }
done

run=$VANTIRO_SOURCE_DIR/tools/dvbsim/dvbsim-run
band=$("$VANTIRO_SOURCE_DIR/tools/dvbsim/make-band" "$VANTIRO_BUILD_DIR/dvbsim-band")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

check_mux() { # FREQUENCY SYSTEM SERVICE-IDS...
  local freq=$1 system=$2; shift 2
  printf '[mux]\n\tSERVICE_ID = %s\n\tDELIVERY_SYSTEM = %s\n\tFREQUENCY = %s\n\tBANDWIDTH_HZ = 8000000\n' \
    "$1" "$system" "$freq" > "$work/channels.conf"
  LANG=C "$run" --band "$band" dvbv5-zap -c "$work/channels.conf" -P -r -o "$work/$freq.ts" -t 7 mux \
    > "$work/zap.log" 2>&1 || { cat "$work/zap.log"; fail "dvbv5-zap failed on $freq"; }
  timeout 60 dvbinfo -d error -f "$work/$freq.ts" -s table > "$work/$freq.txt" 2>/dev/null || true
  python3 - "$work/$freq.txt" "$@" <<'PY' || fail "$freq Hz: guide data incomplete"
import re, sys
text = open(sys.argv[1], encoding="latin-1").read()
services = [int(s) for s in sys.argv[2:]]
blocks = re.split(r"\n  (?=[A-Z]{3}: )", text)
def dvb_time(raw):  # 40-bit MJD + BCD hh mm ss as dvbinfo prints it, in seconds
    bcd = lambda b: (b >> 4) * 10 + (b & 15)
    return ((raw >> 24) - 40587) * 86400 + bcd(raw >> 16 & 255) * 3600 + bcd(raw >> 8 & 255) * 60 + bcd(raw & 255)
def field(block, name):
    m = re.search(r"\n\t" + name + r"\s*: (\S+)", block)
    return m.group(1) if m else None
problems = []
eits = [b for b in blocks if b.startswith("EIT: ")]
for sid in services:
    mine = [b for b in eits if field(b, "Service id") == str(sid)]
    pf = [b for b in mine if field(b, "Last Table id") == "78"]
    schedule = [b for b in mine if field(b, "Last Table id") == "80"]
    # dvbinfo prints a table once all its sections are in: the events of
    # the schedule come from one section per three-hour segment they start in.
    starts = [dvb_time(int(t)) for t in re.findall(r"Start time: (\d+)", "".join(schedule))]
    segments = {t // (3 * 3600) for t in starts}
    tags = set(re.findall(r"\] (0x[0-9a-f]{2}) :", "".join(mine)))
    print(sid, "p/f tables", len(pf), "schedule events", len(starts), "in segments", len(segments),
          "descriptors", sorted(tags))
    if not pf: problems.append("%d: no present/following" % sid)
    if len(segments) < 2: problems.append("%d: schedule in fewer than two sections" % sid)
    if not any(re.search(r"Running status: 1", b) for b in pf): problems.append("%d: nothing following" % sid)
    if not {"0x4d", "0x4e", "0x54", "0x55"} <= tags: problems.append("%d: descriptors %s" % (sid, sorted(tags)))
    if not any(re.search(r"Running status: 4", b) for b in pf): problems.append("%d: nothing running" % sid)
if not any(b.startswith("TDT: ") for b in blocks): problems.append("no TDT")
if not any(b.startswith("TOT: ") and "0x58" in b for b in blocks): problems.append("no TOT with a local time offset")
sdt = [b for b in blocks if b.startswith("SDT: ")]
if not sdt or "EIT schedule : no" in sdt[0] or "EIT present  : no" in sdt[0]:
    problems.append("the SDT does not announce the EIT")
for p in problems: print("FAIL:", p)
sys.exit(1 if problems else 0)
PY
}

echo "--- 474 MHz (DVB-T2)"; check_mux 474000000 DVBT2 1025 1026 1027
echo "--- 522 MHz (DVB-T)"; check_mux 522000000 DVBT 2049 2050
echo "--- 546 MHz (DVB-T2)"; check_mux 546000000 DVBT2 3073 3074
echo PASS
