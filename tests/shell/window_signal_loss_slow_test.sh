#!/usr/bin/env bash
# The window through a 3 s fade of the air on the simulated adapter: the
# picture freezes, the overlay says "Signal lost on 474 MHz" while the tuner is
# retuned, and the picture moves again by itself with the signal line back,
# without a key pressed. Judged from grabs of the window, state by state.
# Slow: about 30 s on a quiet machine, minutes when the machine is loaded.
source "$(dirname "$0")/../support/window_test_lib.sh"
source "$(dirname "$0")/../support/ui_window_lib.sh"
wt_require import
ui_start_on_standard_band
ui_write_standard_channels
printf 'Alpha TV\t\n' >"$XDG_CONFIG_HOME/vantiro/last-channel"
# The air loses 474 MHz 6 s after its first lock, for 3 s.
sed "s|ts=mux-474.ts|ts=$(dirname "$band")/mux-474.ts faults=fade:6000:3000|;s|ts=mux-522.ts|ts=$(dirname "$band")/mux-522.ts|" \
    "$band" >"$WT_DIR/fade.conf"

ui_start "$WT_DIR/fade.conf"
window=$(wt_focus_window) || wt_fail "no window"

shot=0
grab() {
    shot=$((shot + 1))
    import -window "$window" -depth 8 "ppm:$WT_DIR/grab$shot.ppm" 2>/dev/null || wt_fail "cannot grab the window"
}
# The warning-coloured "Signal lost on 474 MHz" in the middle of the window.
lost_shown() { (( $(ui_count "grab$shot" 380 300 900 420 242 166 77 8) > 200 )); }
# The signal line ("signal 80%   quality 80%") in the now-playing panel.
signal_line_ok() { (( $(ui_count "grab$shot" 24 100 640 150 140 217 153 10) > 60 )); }
# Testsrc2 moves everywhere: two grabs in a row differ in the picture's middle.
picture_moves() {
    local before=$shot
    grab
    (( $(python3 "$UI_PROBE" changed "$WT_DIR/grab$before.ppm" "$WT_DIR/grab$shot.ppm" 700 240 1100 440 40) > 300 ))
}
# until TEST...: grabs until the test holds (240 grabs at most).
until_shown() {
    local tries
    for tries in $(seq 240); do
        grab
        "$@" && return 0
        kill -0 "$UI_APP" 2>/dev/null || return 1
    done
    return 1
}

echo "-- the fade is shown while it lasts"
until_shown lost_shown || { tail -5 "$WT_DIR/app.log" >&2; wt_fail "\"Signal lost\" never appeared"; }
signal_line_ok && wt_fail "the signal line still reads a signal while it is lost"
lost=$shot

echo "-- the picture comes back by itself"
back() { ! lost_shown && signal_line_ok && picture_moves; }
until_shown back || wt_fail "the picture did not come back after the fade"
(( shot > lost )) || wt_fail "grab order"

wt_xdotool key q
wait "$UI_APP"
rc=$?
[[ $rc -eq 0 ]] || { tail -20 "$WT_DIR/app.log" >&2; wt_fail "quit with exit $rc"; }
echo PASS
