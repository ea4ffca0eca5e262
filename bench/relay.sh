#!/usr/bin/env bash
# The TS relay on the simulated adapter against dvbv5-zap recording the whole
# transport stream from dvr0 (a plain DVR reader) on the same band:
#  - CPU seconds per second of a 40 Mbit/s multiplex (process total, the
#    simulator's pacing threads included on both sides);
#  - the highest multiplex bitrate each sustains for a few seconds without a
#    DVR overflow (relay: its pipe ends early; zap: "buffer overrun").
set -uo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:?usage: bench/relay.sh BUILD_DIR}")
tool=$build/tools/server_bench/server_bench
lib=$build/tools/dvbsim/libdvbsim.so
for need in "$tool" "$lib"; do [[ -e $need ]] || { echo "relay: $need not built" >&2; exit 1; }; done
command -v dvbv5-zap >/dev/null || { echo "relay: dvbv5-zap missing" >&2; exit 1; }
band=$(tools/dvbsim/make-band "$build/dvbsim-band") || exit 1
mux=$(dirname "$band")/mux-474.ts
work=$(mktemp -d); trap 'rm -rf "$work"' EXIT
seconds=4

cat > "$work/channels.conf" <<'CONF'
[Alpha TV]
	SERVICE_ID = 1025
	VIDEO_PID = 256
	AUDIO_PID = 257
	DELIVERY_SYSTEM = DVBT2
	FREQUENCY = 474000000
	BANDWIDTH_HZ = 8000000
CONF

band_at() {  # band_at BITRATE: a band file with the 474 MHz multiplex at that rate
  printf 'adapter 0 name="Silicon Labs Si2168"\nmux freq=474000000 delsys=16 ts=%s bitrate=%s lock_ms=300\n' \
    "$mux" "$1" > "$work/band-$1.conf"
  echo "$work/band-$1.conf"
}

# relay_run BITRATE: "cpu_per_second overflow(0/1) megabits_delivered"
relay_run() {
  local b; b=$(band_at "$1")
  local line
  line=$(tools/dvbsim/dvbsim-run --lib "$lib" --band "$b" \
         /usr/bin/time -f 'cputime=%U+%S' "$tool" relay 0 474000000 16 $seconds 0 0x1000 0x100 0x101 0x100 2>&1)
  local cpu overflow bytes
  cpu=$(sed -n 's/.*cputime=\([0-9.]*\)+\([0-9.]*\).*/\1 \2/p' <<<"$line" | awk '{print $1 + $2}')
  overflow=$(sed -n 's/.*overflow=\([01]\).*/\1/p' <<<"$line")
  bytes=$(sed -n 's/.*bytes=\([0-9]*\).*/\1/p' <<<"$line")
  awk -v c="$cpu" -v s=$seconds -v o="${overflow:-1}" -v b="${bytes:-0}" 'BEGIN { printf "%.4f %d %.1f\n", c / s, o, b * 8 / s / 1e6 }'
}

# zap_run BITRATE: the same for dvbv5-zap -P -r -o FILE
zap_run() {
  local b; b=$(band_at "$1")
  local out
  out=$(cd "$work" && "$OLDPWD/tools/dvbsim/dvbsim-run" --lib "$lib" --band "$b" \
        /usr/bin/time -f 'cputime=%U+%S' dvbv5-zap -c "$work/channels.conf" -P -r -t $((seconds + 1)) \
        -o "$work/zap.ts" "Alpha TV" 2>&1)
  local cpu overflow bytes
  cpu=$(sed -n 's/.*cputime=\([0-9.]*\)+\([0-9.]*\).*/\1 \2/p' <<<"$out" | awk '{print $1 + $2}')
  overflow=0; grep -q "buffer overrun" <<<"$out" && overflow=1
  bytes=$(stat -c %s "$work/zap.ts" 2>/dev/null || echo 0)
  rm -f "$work/zap.ts"
  awk -v c="$cpu" -v s=$((seconds + 1)) -v o=$overflow -v b="$bytes" 'BEGIN { printf "%.4f %d %.1f\n", c / s, o, b * 8 / s / 1e6 }'
}

read -r relay_cpu relay_over _ <<<"$(relay_run 40000000)"
read -r zap_cpu zap_over _ <<<"$(zap_run 40000000)"
echo "relay: 40 Mbit/s relay cpu/s=$relay_cpu overflow=$relay_over; zap cpu/s=$zap_cpu overflow=$zap_over" >&2
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'; }
echo "RESULT|relay CPU s per s of a 40 Mbit/s multiplex (one service relayed)|$relay_cpu|$zap_cpu (dvbv5-zap -P -r, whole TS to a file)|$(ratio "$zap_cpu" "$relay_cpu")|zap / relay; both include the simulated adapter's own threads"

best_relay=0; best_zap=0
for rate in 40 50 60 70 80 100 120 160; do
  read -r _ over _ <<<"$(relay_run $((rate * 1000000)))"
  [[ $over == 0 ]] && best_relay=$rate
  read -r _ over _ <<<"$(zap_run $((rate * 1000000)))"
  [[ $over == 0 ]] && best_zap=$rate
  echo "relay: $rate Mbit/s: relay best=$best_relay zap best=$best_zap" >&2
done
echo "RESULT|highest multiplex bitrate relayed ${seconds} s without DVR overflow, Mbit/s (tried 40..160)|$best_relay|$best_zap (dvbv5-zap -P -r)|$(ratio "$best_relay" "$best_zap")|relay / zap, higher is better; the ceiling of both is the simulated DVR buffer (1 MiB) against scheduling delays"
