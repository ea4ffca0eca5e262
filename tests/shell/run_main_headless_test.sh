#!/usr/bin/env bash
# The main job without a display on a machine without a DVB adapter: the script
# scans the simulated band first, so the headless server it starts streams a
# picture that ffprobe can read, as a new user's `curl .../stream.ts | mpv -`.
set -uo pipefail
fail() { echo "FAIL: $*"; exit 1; }
skip() { echo "SKIP: $*"; exit 77; }
[[ -e /dev/dvb/adapter0 ]] && skip "a real DVB adapter is present"
for tool in curl ffprobe; do command -v "$tool" >/dev/null || skip "missing $tool"; done
src=${VANTIRO_SOURCE_DIR:?} build=${VANTIRO_BUILD_DIR:?}
lib=${DVBSIM_LIB:-$build/tools/dvbsim/libdvbsim.so}
[[ -f $lib ]] || skip "no simulator library"

work=$(mktemp -d)
pid=""
cleanup() {
  [[ -n $pid ]] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# A build directory of its own (the script keeps the simulated channel list in
# it) holding the real program, simulator and band.
mkdir -p "$work/build/tools/dvbsim"
ln -s "${VANTIRO_BIN:?}" "$work/build/vantiro"
ln -s "$lib" "$work/build/tools/dvbsim/libdvbsim.so"
band=$("$src/tools/dvbsim/make-band" "$build/dvbsim-band") || fail "no band"
ln -s "$(dirname "$band")" "$work/build/dvbsim-band"

env -u DISPLAY -u WAYLAND_DISPLAY -u DVBSIM_BAND -u XDG_CONFIG_HOME HOME="$work" \
  "$src/scripts/run-main" "$work/build" --port 0 > "$work/out.txt" 2> "$work/err.txt" &
pid=$!
port=""
for _ in $(seq 1 1200); do
  port=$(grep -o 'http://0.0.0.0:[0-9]*' "$work/out.txt" | head -1 | cut -d: -f3)
  [[ -n $port ]] && break
  kill -0 "$pid" 2>/dev/null || fail "ended early: $(cat "$work/err.txt")"
  sleep 0.1
done
[[ -n $port ]] || fail "the server did not start: $(cat "$work/err.txt")"
grep -q "run: scanning the simulated band once" "$work/err.txt" || fail "no scan: $(cat "$work/err.txt")"
[[ -s $work/build/dvbsim-config/vantiro/channels.tsv ]] || fail "no channel list saved"

status=$(curl -s --max-time 10 "http://127.0.0.1:$port/status.txt")
[[ $status == $'current=0\nname=Alpha TV\nchannels=5\nmode=tuner' ]] || fail "status: $status"
curl -s --max-time 60 "http://127.0.0.1:$port/stream.ts" | head -c 150000 > "$work/stream.ts"
probe=$(ffprobe -v quiet -select_streams v -show_entries stream=codec_name,width,height \
  -of csv=p=0 "$work/stream.ts")
grep -qx "h264,320,240" <<<"$probe" || fail "no picture in the stream: '$probe'"
echo PASS
