#!/usr/bin/env bash
# The window end to end under Xvfb: online channels from a local HTTP server,
# the screenshot option and the keys.
source "$(dirname "$0")/../support/window_test_lib.sh"
source "$(dirname "$0")/../support/ui_window_lib.sh"
wt_require ffmpeg python3 xdotool
[[ -x "${VANTIRO_BIN:-}" ]] || wt_fail "VANTIRO_BIN is not set"

wt_start_xvfb
media="$WT_DIR/media"
mkdir -p "$media"
wt_make_clip "$media/red.ts" red
wt_make_clip "$media/green.ts" green
wt_make_clip "$media/blue.ts" blue
wt_serve_dir "$media"
base="http://127.0.0.1:$WT_HTTP_PORT"
printf '#EXTM3U\n#EXTINF:-1,Red\n%s/red.ts\n#EXTINF:-1,Green\n%s/green.ts\n#EXTINF:-1,Blue\n%s/blue.ts\n' \
    "$base" "$base" "$base" >"$media/tv.m3u8"

export XDG_CONFIG_HOME="$WT_DIR/config"
export VANTIRO_PLAYLIST_URL="$base/tv.m3u8"
export VANTIRO_RADIO_URL="$base/tv.m3u8"  # the same URL: no second download
unset VANTIRO_IPTV
cd "$WT_DIR"
last="$XDG_CONFIG_HOME/vantiro/last-channel"

# The channel's colour in the middle of the right half: clear of the overlay panels.
red_shown() { picture_is red "$1"; }
green_shown() { picture_is green "$1"; }
blue_shown() { picture_is blue "$1"; }
picture_is() {
    local pixel
    pixel=$(wt_pixel "$WT_DIR/$2.ppm" 960 300)
    UI_WHY="expected the $1 picture, pixel is $pixel"
    wt_is_colour "$pixel" "$1"
}
# The channel list's first row (Red, an online TV channel) is drawn.
list_shown() { UI_WHY="the list is not open"; (($(ui_count "$1" 753 82 1264 146 140 204 242 12) > 20)); }
list_closed() { UI_WHY="the list is still open"; (($(ui_count "$1" 753 82 1264 146 140 204 242 12) == 0)); }

echo "-- a screenshot has the exact size and the first channel is remembered"
wt_run_window "$WT_DIR/err.log" timeout 120 "$VANTIRO_BIN" --screenshot "$WT_DIR/shot.ppm"
rc=$?
[[ $rc -eq 0 ]] || { cat "$WT_DIR/err.log"; wt_fail "screenshot run exited $rc"; }
size=$(stat -c %s "$WT_DIR/shot.ppm")
[[ $size -eq $((16 + 1280 * 720 * 3)) ]] || wt_fail "screenshot is $size bytes"
[[ $(head -c 15 "$WT_DIR/shot.ppm") == $'P6\n1280 720\n255' ]] || wt_fail "bad PPM header"
[[ $(cat "$last") == $'Red\t'"$base/red.ts" ]] || wt_fail "last-channel: $(cat "$last")"

echo "-- the last channel is resumed"
printf 'Blue\t%s/blue.ts\n' "$base" >"$last"
ui_shot blue blue_shown none

echo "-- a demo file plays without touching the channels"
cp "$last" "$WT_DIR/last.before"
ui_shot demo green_shown none --file "$media/green.ts"
cmp -s "$last" "$WT_DIR/last.before" || wt_fail "the demo changed the last channel"

echo "-- an unwritable screenshot path still ends the program after that frame"
wt_run_window "$WT_DIR/err.log" timeout 120 "$VANTIRO_BIN" --screenshot /nonexistent-dir/shot.ppm --screenshot-after 0.5
rc=$?
[[ $rc -eq 0 ]] || wt_fail "unwritable screenshot path: exit $rc"

echo "-- keys: Down and Up switch, Escape closes the list, then quits; --screenshot without a value opens"
printf 'Red\t%s/red.ts\n' "$base" >"$last"
ui_launch none --screenshot
# A reader that goes away must not kill the program: SIGPIPE is ignored.
sigign=$(awk '/^SigIgn:/ {print $2}' "/proc/$UI_APP/status")
(( (0x$sigign >> 12) & 1 )) || wt_fail "SIGPIPE is not ignored (SigIgn $sigign)"
ui_expect first red_shown
wt_xdotool key Down
wt_wait_for grep -q '^Green' "$last" || wt_fail "Down did not switch: $(cat "$last")"
ui_expect down green_shown
wt_xdotool key Down
wt_wait_for grep -q '^Blue' "$last" || wt_fail "second Down did not switch: $(cat "$last")"
ui_expect second-down blue_shown
wt_xdotool key Up
wt_wait_for grep -q '^Green' "$last" || wt_fail "Up did not switch back: $(cat "$last")"
ui_expect up green_shown

echo "-- a held key acts once"
wt_xdotool keydown Down
sleep 1.5  # held for a while: the X server repeats it meanwhile
wt_xdotool keyup Down
# Tab opens the list: once it is drawn every key before it has been handled.
wt_xdotool key Tab
ui_expect held list_shown
grep -q '^Blue' "$last" || wt_fail "held Down: $(cat "$last")"

# The pointer keeps the panels awake while the test waits: only Escape may close the list.
wt_xdotool key Escape
ui_expect escaped list_closed
kill -0 "$UI_APP" 2>/dev/null || wt_fail "Escape with the list open quit the program"
wt_xdotool key Escape
ui_wait_exit "Escape did not quit"
echo "PASS"
