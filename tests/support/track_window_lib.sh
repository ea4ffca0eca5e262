# Helpers for the window tests of audio tracks and subtitles; source after
# window_test_lib.sh and ui_window_lib.sh. The program runs with
# VANTIRO_TRACK_LOG set, so its stderr ($log) names each selection libmpv
# reports ("tracks: ...") and each track toast ("track toast: ...").

export VANTIRO_TRACK_LOG=1
unset VANTIRO_AUDIO_LANG VANTIRO_SUB_LANG
TW_CLIP="$VANTIRO_SOURCE_DIR/tests/support/track_clip.py"
log="$WT_DIR/app.log"

logged() { grep -qxF "$1" "$log"; }
# logged_times LINE N: LINE was logged at least N times.
logged_times() { (( $(grep -cxF "$1" "$log") >= $2 )); }
expect_line() { wt_wait_for logged "$1" || { cat "$log" >&2; wt_fail "never logged: $1"; }; }
# wait_long COMMAND...: for a channel start; wt_wait_for's bound is long enough
# for one under the sanitizers on a loaded machine.
wait_long() { wt_wait_for "$@"; }
# Like expect_line, for the first selection of a start.
expect_start() { wait_long logged "$1" || { cat "$log" >&2; wt_fail "never logged: $1"; }; }

# The video (320x240) fills x 160-1119 of the 1280x720 window, three times
# enlarged; the subtitle bar covers x 760-1059, y 60-179 there.
capture() { import -window "$window" -depth 8 "$WT_DIR/now.ppm" 2>/dev/null; }
bar_pixels() { python3 "$UI_PROBE" count "$WT_DIR/now.ppm" 780 80 1040 160 235 235 235 20; }
subtitle_shown() { capture && (( $(bar_pixels) > 15000 )); }
subtitle_hidden() { capture && (( $(bar_pixels) == 0 )); }

# start BAND ARGS...: the program in the background (on the simulated band BAND
# unless it is "none"), its stderr in $log, its window focused.
start() {
    : >"$log"
    ui_launch "$@"
    window=$UI_WINDOW
}
quit() {
    wt_xdotool key q
    wait "$UI_APP"
    local rc=$?
    [[ $rc -eq 0 ]] || { cat "$log" >&2; wt_fail "quit with exit $rc"; }
}

