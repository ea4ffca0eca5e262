#!/usr/bin/env bash
# dvbv5-zap records every PID of a 160 Mbit/s simulated multiplex without a
# buffer overrun: the simulated DVR buffers like the kernel's 1.8 MiB ring,
# whatever pipe size the machine allows, so only a reader that is really that
# far behind meets an overflow. No time is measured; the recording must exist
# and hold the multiplex's programs. On a loaded machine dvbv5-zap itself may
# not be scheduled for the buffer's ~90 ms and overrun, as it would on a real
# stick: the simulator's demux log then has to show that the whole buffer was
# unread at each overflow.
set -euo pipefail

[[ -n ${DVBSIM_LIB:-} ]] || { echo "DVBSIM_LIB not set"; exit 77; }
for tool in dvbv5-zap ffprobe; do
  command -v "$tool" >/dev/null || { echo "missing $tool"; exit 77; }
done

run=$VANTIRO_SOURCE_DIR/tools/dvbsim/dvbsim-run
band_dir=$(dirname "$("$VANTIRO_SOURCE_DIR/tools/dvbsim/make-band" "$VANTIRO_BUILD_DIR/dvbsim-band")")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

cat > "$work/band.conf" <<CONF
adapter 0 name="Silicon Labs Si2168"
mux freq=474000000 delsys=16 ts=$band_dir/mux-474.ts lock_ms=100 bitrate=160000000
CONF
cp "$VANTIRO_SOURCE_DIR/tools/dvbsim/dvbv5-channels.conf" "$work/channels.conf"

LANG=C DVBSIM_DEMUX_LOG="$work/demux.log" "$run" --band "$work/band.conf" dvbv5-zap -c "$work/channels.conf" -P -r -o "$work/all.ts" -t 3 "Alpha TV" \
  > "$work/zap.log" 2>&1 || { cat "$work/zap.log"; fail "dvbv5-zap failed"; }
grep -q "Lock" "$work/zap.log" || { cat "$work/zap.log"; fail "no lock reported"; }
ring=$((10 * 188 * 1024))  # the kernel's default DVR buffer; zap asks for more
if grep -qi "overrun" "$work/zap.log"; then
  grep -i "overrun" "$work/zap.log"
  grep -q " overflow " "$work/demux.log" || fail "dvbv5-zap saw an overrun the simulator did not log"
  while read -r _ _ held _ capacity _; do
    (( capacity >= ring )) || fail "the DVR buffer is $capacity bytes, less than the kernel's $ring"
    (( held * 4 >= capacity * 3 )) || fail "overflow with only $held of $capacity bytes unread"
  done < <(grep " overflow " "$work/demux.log")
  echo "dvbv5-zap fell a whole buffer behind (a loaded machine); each overflow was genuine"
fi
size=$(stat -c %s "$work/all.ts")
echo "recorded $size bytes"
(( size > 0 && size % 188 == 0 )) || fail "recording of $size bytes is not whole packets"
programs=$(ffprobe -v quiet -show_entries program=program_num -of default=nw=1:nk=1 "$work/all.ts" | sort -n | tr '\n' ' ')
[[ $programs == "1025 1026 1027 " ]] || fail "recording holds programs '$programs'"
echo PASS
