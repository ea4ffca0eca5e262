#!/usr/bin/env bash
# Recovery from a 3 s fade of the air on the simulated adapter (the simulator's
# fade:N:M fault, on the air's clock, so that retuning cannot end it early):
# how long the service's bytes pause, the fade itself being the floor,
#  - ours: a client connected to `vantiro serve`'s /stream.ts before the fade
#    (the server's watchdog notices the loss and retunes with backoff);
#  - peer: dvbv5-zap recording the same service with the same PID set (-p:
#    PAT, PMT, video and audio) through the same fade, into a FIFO.
# Both are timed by the same reader from the bytes themselves: the longest
# pause between arrivals on its descriptor.
set -uo pipefail
cd "$(dirname "$0")/.."
source bench/lib/stats.sh
build=$(realpath "${1:?usage: bench/signal_loss.sh BUILD_DIR}")
bin=$build/vantiro
lib=$build/tools/dvbsim/libdvbsim.so
for need in "$bin" "$lib"; do [[ -e $need ]] || { echo "signal_loss: $need not built" >&2; exit 1; }; done
command -v dvbv5-zap >/dev/null || { echo "signal_loss: dvbv5-zap missing" >&2; exit 1; }
band=$(tools/dvbsim/make-band "$build/dvbsim-band") || exit 1
mux=$(dirname "$band")/mux-474.ts
work=$(mktemp -d)
server=""
cleanup() {
    [[ -n $server ]] && kill "$server" 2>/dev/null && wait "$server" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
fade_after=5000   # ms after the first lock: the client is connected by then
fade_ms=3000
listen=12         # seconds each reader listens from its first byte

printf 'adapter 0 name="Silicon Labs Si2168"\nmux freq=474000000 delsys=16 ts=%s lock_ms=300 faults=fade:%d:%d\n' \
    "$mux" "$fade_after" "$fade_ms" > "$work/fade.conf"
sim=(tools/dvbsim/dvbsim-run --lib "$lib" --band "$work/fade.conf")
cp tools/dvbsim/dvbv5-channels.conf "$work/channels.conf"
mkdir -p "$work/cfg/vantiro"
printf 'vantiro-1\nAlpha TV\t474000000\t16\t1025\t4096\t256\t257\t256\n' > "$work/cfg/vantiro/channels.tsv"

# pause_ms FIFO: reads FIFO for $listen s from its first byte; prints the
# longest pause between two arrivals in ms (nothing when the stream never
# paused half as long as the fade: it did not go through it).
cat > "$work/gap.py" <<'PY'
import sys, time
fifo, listen, fade_ms = sys.argv[1], float(sys.argv[2]), float(sys.argv[3])
f = open(fifo, 'rb', buffering=0)
first = last = None
longest = 0.0
while True:
    b = f.read(65536)
    now = time.monotonic()
    if not b:
        break
    if last is not None:
        longest = max(longest, now - last)
    first = first or now
    last = now
    if now - first > listen:
        break
if longest * 1000 >= fade_ms / 2:
    print("%.1f" % (longest * 1000))
PY
pause_ms() { python3 "$work/gap.py" "$1" "$listen" "$fade_ms"; }

ours_run() {
    rm -f "$work/ours.fifo"; mkfifo "$work/ours.fifo"
    XDG_CONFIG_HOME=$work/cfg XDG_CACHE_HOME=$work/cache VANTIRO_IPTV=$work/none.m3u8 "${sim[@]}" "$bin" serve --port 0 \
        > "$work/out.txt" 2> "$work/err.txt" &
    server=$!
    local port=""
    for _ in $(seq 1 100); do
        port=$(grep -o 'http://0.0.0.0:[0-9]*' "$work/out.txt" | cut -d: -f3)
        [[ -n $port ]] && break
        sleep 0.05
    done
    curl -s -N --max-time $((listen + 5)) "http://127.0.0.1:$port/stream.ts" > "$work/ours.fifo" &
    local client=$!
    pause_ms "$work/ours.fifo"
    kill "$client" 2>/dev/null; wait "$client" 2>/dev/null
    kill "$server"; wait "$server" 2>/dev/null
    server=""
}

zap_run() {
    rm -f "$work/zap.fifo"; mkfifo "$work/zap.fifo"
    (cd "$work" && "$OLDPWD/${sim[0]}" "${sim[@]:1}" dvbv5-zap -c "$work/channels.conf" -p -t $((listen + 2)) \
        -o "$work/zap.fifo" "Alpha TV" > /dev/null 2>&1) &
    local zap=$!
    pause_ms "$work/zap.fifo"
    kill "$zap" 2>/dev/null; wait "$zap" 2>/dev/null
}

ours=(); zap=()
for run in $(seq 1 "$BENCH_RUNS"); do
    ours+=("$(ours_run)")
    zap+=("$(zap_run)")
    echo "signal_loss: run $run: pause ours ${ours[-1]:-none} ms, dvbv5-zap ${zap[-1]:-none} ms" >&2
done
# No stream resumes before the air does: ours shorter than the fade is the benchmark's fault.
ceiling=$(awk -v z="$(bench_median "${zap[@]}")" -v f="$fade_ms" 'BEGIN { if (z > 0) printf "%.4f", z / f }')
bench_row name="pause of the stream through a ${fade_ms} ms fade of the air, ms" unit=ms format=%.0f \
    ours="${ours[*]}" peer="${zap[*]}" peer_label="(dvbv5-zap -p, same PIDs, same fade)" \
    limit="$ceiling" limit_reason="a pause shorter than the fade would mean bytes without a signal" \
    note="peer / ours; the longest pause between arrivals at one reader; the fade itself (${fade_ms} ms) is the floor of both; ours is a /stream.ts client that stayed connected while the server retuned with backoff, zap only waits for the lock"
exit 0
