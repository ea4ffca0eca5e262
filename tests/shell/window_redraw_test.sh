#!/usr/bin/env bash
# The window is drawn only when its picture or its overlay changed. With nothing
# playing (no tuner, no channels) every change comes from the overlay alone: the
# channel list opened and closed by keys must still reach the screen. Judged from
# grabs of the window, not from the program's own screenshot, which always draws.
source "$(dirname "$0")/../support/window_test_lib.sh"
source "$(dirname "$0")/../support/ui_window_lib.sh"
wt_require python3 xdotool import
[[ -x "${VANTIRO_BIN:-}" ]] || wt_fail "VANTIRO_BIN is not set"
wt_start_xvfb
export XDG_CONFIG_HOME="$WT_DIR/config"
VANTIRO_PLAYLIST_URL=$(ui_refused_url tv.m3u8)
VANTIRO_RADIO_URL=$(ui_refused_url radio.m3u8)
export VANTIRO_PLAYLIST_URL VANTIRO_RADIO_URL
unset VANTIRO_IPTV DVBSIM_LIB
cd "$WT_DIR" || wt_fail "no work directory"

ui_start none
window=$(wt_focus_window) || wt_fail "no window"
grab() { import -window "$window" -depth 8 "ppm:$WT_DIR/grab.ppm" 2>/dev/null; }
# The list's blue title bar at the top right.
header_pixels() { python3 "$UI_PROBE" count "$WT_DIR/grab.ppm" 705 20 1260 68 41 74 122 12; }
toolbar_shown() { grab && (( $(ui_count grab 300 600 1000 720 229 231 235 10) > 20 )); }
list_shown() { grab && (( $(header_pixels) > 20000 )); }
list_hidden() { grab && (( $(header_pixels) == 0 )); }

echo "-- the idle window shows its toolbar"
wt_wait_for toolbar_shown || wt_fail "no toolbar on the idle window"
list_hidden || wt_fail "a list before L"

echo "-- L opens the list and Escape closes it, on screen"
wt_xdotool key l
wt_wait_for list_shown || wt_fail "the opened list never reached the window"
wt_xdotool key Escape
wt_wait_for list_hidden || wt_fail "the closed list stayed on the window"

wt_xdotool key q
wait "$UI_APP"
rc=$?
[[ $rc -eq 0 ]] || { tail -20 "$WT_DIR/app.log" >&2; wt_fail "quit with exit $rc"; }
echo "PASS"
