#!/usr/bin/env bash
# The windowed player against mpv in the same run, each under its own private X
# server (software GL, llvmpipe); mpv gets the options of ours that matter (the
# transport-stream demuxer without stream analysis, hwdec probing, null audio
# fallback, one 1280x720 window kept open across zaps; see tools/player_bench):
#  - zap within a multiplex and across multiplexes on the simulated adapter: from
#    the switch to the first picture (libmpv's "playback-restart" event on both
#    sides, ours read by a second client of our player, with the window's loop at
#    its own pace), our tuner and relay on both sides, zaps within the multiplex at
#    ten phases spread over the GOP. The
#    relay's zap cache hands both players the service's packets from its last key
#    frame; a third run of ours without it (VANTIRO_ZAP_CACHE=0) shows what the
#    cache is worth;
#  - start-up to the first picture (ours from the window set-up, mpv from the tune,
#    a fresh process each);
#  - frame cost: CPU of the whole process per video frame shown while playing the
#    same 1280x720 H.264 file at 1280x720, ours with the overlay shown, against
#    mpv's own window (frames shown: played less dropped, from libmpv's counters);
#  - CPU share of the idle loop (nothing playing) when vsync is refused, as under
#    Xvfb: the loop (capped at 60 fps, drawing only when the picture or the overlay
#    changed) against frames drawn back to back.
set -uo pipefail
cd "$(dirname "$0")/.."
source bench/lib/stats.sh
build=$(realpath "${1:?usage: bench/player.sh BUILD_DIR}")
tool=$build/tools/player_bench/player_bench
for need in "$tool" "$build/tools/dvbsim/libdvbsim.so"; do
    [[ -e $need ]] || { echo "player: $need not built" >&2; exit 1; }
done
for cmd in mpv xvfb-run ffmpeg; do command -v $cmd >/dev/null || { echo "player: $cmd missing" >&2; exit 1; }; done
export VANTIRO_BUILD_DIR=$build
work=$(mktemp -d); trap 'rm -rf "$work"' EXIT
export DVBSIM_TUNE_LOG=$work/tunes.log
zaps=10

under_x() { timeout 300 xvfb-run -a -s "-screen 0 1920x1080x24" "$@" 2>>"$work/stderr"; }
values() { sed -n "s/^$1=//p" <<<"$2" | tail -1; }

# The frame-cost clip: 1280x720 H.264 at 25 fps with AAC sound, as a broadcaster sends.
clip=$build/bench-media/clip-720p.ts
if [[ ! -s $clip ]]; then
    mkdir -p "$(dirname "$clip")"
    ffmpeg -nostdin -hide_banner -loglevel error -y \
        -f lavfi -i "testsrc2=size=1280x720:rate=25:duration=20" -f lavfi -i "sine=frequency=440:duration=20" \
        -c:v libx264 -preset veryfast -profile:v high -pix_fmt yuv420p -g 25 -b:v 3M -maxrate 3M -bufsize 6M \
        -c:a aac -b:a 128k -f mpegts "$clip.part" && mv "$clip.part" "$clip"
fi

echo "player: zaps ($zaps rounds each side)" >&2
ours=$(under_x tools/dvbsim/dvbsim-run "$tool" zap $zaps)
peer=$(under_x tools/dvbsim/dvbsim-run "$tool" peer-zap $zaps "$work/zap.sock")
uncached=$(VANTIRO_ZAP_CACHE=0 under_x tools/dvbsim/dvbsim-run "$tool" zap $zaps)
echo "player: ours [$ours] mpv [$peer] ours without the zap cache [$uncached]" >&2

start_ours=(); start_peer=(); frames_ours=(); frames_peer=(); loop_fps=(); peer_fps=(); idle_loop=(); idle_free=()
for run in $(seq 1 "$BENCH_RUNS"); do
    echo "player: run $run of start-up, frame cost and idle" >&2
    start_ours+=("$(values startup_first_picture "$(under_x tools/dvbsim/dvbsim-run "$tool" startup)")")
    start_peer+=("$(values peer_startup_first_picture \
        "$(under_x tools/dvbsim/dvbsim-run "$tool" peer-startup "$work/start$run.sock")")")
    line=$(under_x "$tool" frames "$clip" 6)
    frames_ours+=("$(values frames_cpu_ms_per_frame "$line")"); loop_fps+=("$(values frames_shown_fps "$line")")
    line=$(under_x "$tool" peer-frames "$clip" 6 "$work/frames$run.sock")
    frames_peer+=("$(values peer_frames_cpu_ms_per_frame "$line")"); peer_fps+=("$(values peer_frames_shown_fps "$line")")
    line=$(under_x "$tool" idle)
    idle_loop+=("$(values idle_cpu_loop "$line")"); idle_free+=("$(values idle_cpu_uncapped "$line")")
done
echo "player: start-up ours [${start_ours[*]}] mpv [${start_peer[*]}]" >&2
echo "player: frame cost ours [${frames_ours[*]}] ms (shown fps ${loop_fps[*]}) mpv [${frames_peer[*]}] ms (shown fps ${peer_fps[*]})" >&2

bench_row name="zap within a multiplex, switch to first picture, s" unit=s \
    ours="$(values zap_same_mux "$ours")" peer="$(values peer_zap_same_mux "$peer")" \
    peer_label="mpv, same relay and probing" \
    note="$zaps zaps each at GOP phases 0.0-0.9 s, both fed from the relay's zap cache and both handed the new stream without a stop first (loadfile replace); both timed at libmpv's playback-restart event as it arrives (ours read by a second client of our player, mpv through its IPC)"
bench_row name="zap within a multiplex with the zap cache, switch to first picture, s" unit=s \
    ours="$(values zap_same_mux "$ours")" peer="$(values zap_same_mux "$uncached")" \
    peer_label="the same window without it (VANTIRO_ZAP_CACHE=0)" \
    note="$zaps zaps each at GOP phases 0.0-0.9 s; without the cache a zap waits for the service's next key frame on air"
bench_row name="zap across multiplexes, tune to first picture, s" unit=s \
    ours="$(values zap_other_mux "$ours")" peer="$(values peer_zap_other_mux "$peer")" \
    peer_label="mpv, same tuner, relay and probing" \
    note="$((2 * zaps)) zaps each (474 <-> 522 MHz, locks after 300 / 200 ms); both include the same lock, and both have the service opened while the tuner locks"
bench_row name="start-up to the first picture, s" unit=s ours="${start_ours[*]}" peer="${start_peer[*]}" \
    peer_label="mpv started fresh, same probing" \
    note="ours from the window set-up, mpv from the tune (process and window start included on both sides)"
bench_row name="frame cost 1280x720 while playing, CPU ms per video frame shown" format=%.1f unit=ms \
    ours="${frames_ours[*]}" peer="${frames_peer[*]}" peer_label="mpv's own window (--vo=gpu --gpu-sw)" \
    note="CPU of the whole process (decoding included) over 6 s / frames shown (played less dropped, libmpv's counters on both); same 720p25 H.264 file, software GL (llvmpipe), ours with the overlay shown; frames shown per s: ours $(bench_median "${loop_fps[@]}"), mpv $(bench_median "${peer_fps[@]}")"
bench_row name="idle loop CPU without vsync, share of one core" format=%.3f \
    ours="${idle_loop[*]}" peer="${idle_free[*]}" peer_label="frames drawn back to back" \
    note="nothing playing; the loop draws only when the picture or the overlay changed and caps itself at 60 fps when vsync is refused (Xvfb)"
exit 0
