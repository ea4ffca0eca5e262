#!/usr/bin/env bash
# The window end to end under Xvfb: online channels from a local HTTP server,
# the screenshot option and the keys.
source "$(dirname "$0")/../support/window_test_lib.sh"
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

echo "-- a screenshot shows the first channel's picture and has the exact size"
timeout 60 "$VANTIRO_BIN" --screenshot "$WT_DIR/shot.ppm" 2>"$WT_DIR/err.log"
rc=$?
[[ $rc -eq 0 ]] || { cat "$WT_DIR/err.log"; wt_fail "screenshot run exited $rc"; }
size=$(stat -c %s "$WT_DIR/shot.ppm")
[[ $size -eq $((16 + 1280 * 720 * 3)) ]] || wt_fail "screenshot is $size bytes"
[[ $(head -c 15 "$WT_DIR/shot.ppm") == $'P6\n1280 720\n255' ]] || wt_fail "bad PPM header"
# Middle of the right half: clear of the overlay panels.
pixel=$(wt_pixel "$WT_DIR/shot.ppm" 960 300)
wt_is_colour "$pixel" red || wt_fail "expected the red channel, pixel is $pixel"
[[ $(cat "$last") == $'Red\t'"$base/red.ts" ]] || wt_fail "last-channel: $(cat "$last")"

echo "-- the last channel is resumed"
printf 'Blue\t%s/blue.ts\n' "$base" >"$last"
timeout 60 "$VANTIRO_BIN" --screenshot "$WT_DIR/blue.ppm" 2>/dev/null || wt_fail "resume run failed"
pixel=$(wt_pixel "$WT_DIR/blue.ppm" 960 300)
wt_is_colour "$pixel" blue || wt_fail "expected the blue channel, pixel is $pixel"

echo "-- a demo file plays without touching the channels"
cp "$last" "$WT_DIR/last.before"
timeout 60 "$VANTIRO_BIN" --file "$media/green.ts" --screenshot "$WT_DIR/demo.ppm" 2>/dev/null || wt_fail "demo run failed"
pixel=$(wt_pixel "$WT_DIR/demo.ppm" 960 300)
wt_is_colour "$pixel" green || wt_fail "expected the green demo clip, pixel is $pixel"
cmp -s "$last" "$WT_DIR/last.before" || wt_fail "the demo changed the last channel"

echo "-- an unwritable screenshot path still ends the program after that frame"
timeout 60 "$VANTIRO_BIN" --screenshot /nonexistent-dir/shot.ppm --screenshot-after 0.5 2>/dev/null
rc=$?
[[ $rc -eq 0 ]] || wt_fail "unwritable screenshot path: exit $rc"

echo "-- keys: Down and Up switch, Escape closes the list, then quits; --screenshot without a value opens"
printf 'Red\t%s/red.ts\n' "$base" >"$last"
"$VANTIRO_BIN" --screenshot 2>/dev/null &
app=$!
WT_PIDS+=($app)
wt_focus_window >/dev/null || wt_fail "no window"
sleep 1
# A reader that goes away must not kill the program: SIGPIPE is ignored.
sigign=$(awk '/^SigIgn:/ {print $2}' "/proc/$app/status")
(( (0x$sigign >> 12) & 1 )) || wt_fail "SIGPIPE is not ignored (SigIgn $sigign)"
xdotool key Down
wt_wait_for grep -q '^Green' "$last" || wt_fail "Down did not switch: $(cat "$last")"
xdotool key Down
wt_wait_for grep -q '^Blue' "$last" || wt_fail "second Down did not switch: $(cat "$last")"
xdotool key Up
wt_wait_for grep -q '^Green' "$last" || wt_fail "Up did not switch back: $(cat "$last")"

echo "-- a held key acts once"
xdotool keydown Down
sleep 1.5
xdotool keyup Down
sleep 0.5
grep -q '^Blue' "$last" || wt_fail "held Down: $(cat "$last")"

xdotool key Tab
sleep 0.3
xdotool key Escape
sleep 0.5
kill -0 $app 2>/dev/null || wt_fail "Escape with the list open quit the program"
xdotool key Escape
for i in $(seq 100); do kill -0 $app 2>/dev/null || break; sleep 0.1; done
kill -0 $app 2>/dev/null && wt_fail "Escape did not quit"
wait $app
rc=$?
[[ $rc -eq 0 ]] || wt_fail "quit with exit $rc"
echo "PASS"
