#!/usr/bin/env bash
# The windowed player on the simulated adapter, under a private X server
# (software GL), against mpv itself playing the same relay pipe in the same run:
#  - zap time within a multiplex and across multiplexes: from switchChannel to
#    the player's playing flag; mpv (already running, JSON IPC) from our tune and
#    relay start to its "file-loaded" event;
#  - start-up to the first video picture: ours from the start of the program's
#    work to the first frame whose centre shows the video; mpv from our tune to
#    its "playback-restart" (started fresh), both with its defaults and with the
#    demuxer setting the player uses for descriptors;
#  - CPU share of the idle loop (nothing playing) when vsync is refused, as
#    under Xvfb: the loop capped at 60 fps against frames drawn back to back;
#  - loop frame time at 1280x720 with the overlay shown (reported against the
#    16.7 ms budget of 60 Hz; software GL, not a gate).
set -uo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:?usage: bench/player.sh BUILD_DIR}")
tool=$build/tools/player_bench/player_bench
for need in "$tool" "$build/tools/dvbsim/libdvbsim.so"; do
    [[ -e $need ]] || { echo "player: $need not built" >&2; exit 1; }
done
for cmd in mpv xvfb-run; do command -v $cmd >/dev/null || { echo "player: $cmd missing" >&2; exit 1; }; done
export VANTIRO_BUILD_DIR=$build
work=$(mktemp -d); trap 'rm -rf "$work"' EXIT
rounds=5

under_x() { timeout 300 xvfb-run -a -s "-screen 0 1920x1080x24" "$@" 2>/dev/null; }
value() { sed -n "s/^$1=//p" <<<"$2" | tail -1; }

ours=$(under_x tools/dvbsim/dvbsim-run "$tool" zap $rounds)
cat > "$work/peer-zap.sh" <<SH
mpv --idle=yes --vo=gpu --gpu-sw=yes --really-quiet --demuxer-lavf-format=mpegts --input-ipc-server=$work/mpv.sock &
tools/dvbsim/dvbsim-run "$tool" peer-zap $rounds "$work/mpv.sock"
wait
SH
peer=$(under_x bash "$work/peer-zap.sh")
startup=$(under_x tools/dvbsim/dvbsim-run "$tool" startup)
peer_startup=$(under_x tools/dvbsim/dvbsim-run "$tool" peer-startup "$work/start.sock")
peer_startup_tuned=$(PLAYER_BENCH_MPV_OPTION=--demuxer-lavf-probe-info=nostreams \
    under_x tools/dvbsim/dvbsim-run "$tool" peer-startup "$work/start2.sock")
frames=$(under_x tools/dvbsim/dvbsim-run "$tool" frames 300)
idle=$(under_x "$tool" idle)

row() {  # row NAME OURS PEER NOTE: ratio peer/ours (higher is better for us)
    awk -v n="$1" -v o="$2" -v p="$3" -v note="$4" 'BEGIN {
        if (o <= 0 || p <= 0) { printf "RESULT|%s|%s|%s|0|%s (a run failed)\n", n, o, p, note; exit }
        printf "RESULT|%s|%.3f s|%.3f s|%.2f|%s\n", n, o, p, p / o, note }'
}
row "zap within a multiplex (switch to playing)" "$(value zap_same_mux "$ours")" "$(value peer_zap_same_mux "$peer")" \
    "mpv on the same relay pipe, median of $rounds"
row "zap across multiplexes (tune + switch to playing)" "$(value zap_other_mux "$ours")" \
    "$(value peer_zap_other_mux "$peer")" "mpv on the same relay pipe, median of $((2 * rounds))"
row "start-up to the first video picture" "$(value startup_first_frame "$startup")" \
    "$(value peer_startup_first_frame "$peer_startup")" "mpv started fresh on the relay pipe, defaults"
row "start-up to the first video picture, mpv without stream analysis" "$(value startup_first_frame "$startup")" \
    "$(value peer_startup_first_frame "$peer_startup_tuned")" "mpv --demuxer-lavf-probe-info=nostreams"
awk -v o="$(value idle_cpu_loop "$idle")" -v p="$(value idle_cpu_uncapped "$idle")" \
    -v fps="$(value idle_fps_uncapped "$idle")" 'BEGIN {
    if (o <= 0 || p <= 0) { print "RESULT|idle loop CPU without vsync|-|-|0|run failed"; exit }
    printf "RESULT|idle loop CPU without vsync (share of one core)|%.2f|%.2f uncapped (%d fps)|%.2f|capped at 60 fps\n", o, p, fps, p / o }'
awk -v f="$(value frame_ms "$frames")" 'BEGIN {
    if (f <= 0) { print "RESULT|loop frame time 1280x720 with overlay|-|16.7 ms|0|run failed"; exit }
    printf "RESULT|loop frame time 1280x720 with overlay|%.1f ms|16.7 ms (60 Hz)|%.2f|software GL (llvmpipe) while decoding; reported, not a gate\n", f, 16.7 / f }'
