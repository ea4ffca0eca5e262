#!/usr/bin/env bash
# The overlay without a tuner: an online radio stream gets the visualiser, the
# tuner-missing panel, the browser launch from key W and the Web button with a
# stand-in xdg-open, and the scan that can only refresh the online channels.
source "$(dirname "$0")/../support/window_test_lib.sh"
source "$(dirname "$0")/../support/ui_window_lib.sh"
wt_require ffmpeg python3 xdotool
[[ -x "${VANTIRO_BIN:-}" ]] || wt_fail "VANTIRO_BIN is not set"

wt_start_xvfb
media="$WT_DIR/media"
mkdir -p "$media"
wt_make_clip "$media/green.ts" green
ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi -i sine=f=440 -t 30 -c:a mp2 -f mpegts \
    "$media/radio.ts" || wt_fail "ffmpeg could not make the radio clip"
wt_serve_dir "$media"
base="http://127.0.0.1:$WT_HTTP_PORT"
printf '#EXTM3U\n#EXTINF:-1,Green TV\n%s/green.ts\n' "$base" >"$media/tv.m3u8"
printf '#EXTM3U\n#EXTINF:-1,Radio One\n%s/radio.ts\n' "$base" >"$media/radio.m3u8"

export XDG_CONFIG_HOME="$WT_DIR/config"
unset VANTIRO_IPTV
cd "$WT_DIR"
last="$XDG_CONFIG_HOME/vantiro/last-channel"
mkdir -p "$XDG_CONFIG_HOME/vantiro"
online() {
    export VANTIRO_PLAYLIST_URL="$base/tv.m3u8"
    export VANTIRO_RADIO_URL="$base/radio.m3u8"
}
offline() {
    export VANTIRO_PLAYLIST_URL=$(ui_refused_url tv.m3u8)
    export VANTIRO_RADIO_URL=$(ui_refused_url radio.m3u8)
}

# A stand-in xdg-open, first on PATH: records its arguments, then behaves as STUB_MODE says.
stub="$WT_DIR/stub-bin"
mkdir -p "$stub" "$WT_DIR/empty-bin"
cat >"$stub/xdg-open" <<'SH'
#!/bin/sh
printf '%s\n' "$@" >>"$STUB_CALLS"
case "$STUB_MODE" in
    fail) exit 1 ;;
    slow) sleep 6 ;;
esac
exit 0
SH
chmod 755 "$stub/xdg-open"
export STUB_CALLS="$WT_DIR/xdg-calls"
system_path=$PATH  # the stand-in is put on the program's PATH only

echo "-- an online radio stream gets the visualiser"
online
printf 'Radio One\t%s/radio.ts\n' "$base" >"$last"
ui_shot radio none 12
ui_near "$(ui_pixel radio 2 2)" 10 15 26 3 || wt_fail "gradient top: $(ui_pixel radio 2 2)"
ui_near "$(ui_pixel radio 2 717)" 17 27 45 3 || wt_fail "gradient bottom: $(ui_pixel radio 2 717)"
read -r r g b <<<"$(ui_pixel radio 250 446)"
(( r > 150 && r > b + 60 )) || wt_fail "first bar is not amber: $r $g $b"
read -r r g b <<<"$(ui_pixel radio 1029 446)"
(( b > 150 && b > r + 40 )) || wt_fail "last bar is not blue: $r $g $b"

echo "-- with no adapter and no channels the tuner-missing panel is shown"
offline
rm -f "$last"
ui_shot nodevice none 3
# Its light text on the dark panel, in the middle of the window.
(( $(ui_count nodevice 340 260 940 460 255 255 255 20) > 200 )) || wt_fail "no tuner-missing panel"
read -r -a buttons <<<"$(ui_buttons nodevice)"
[[ ${#buttons[@]} -eq 7 ]] || wt_fail "toolbar buttons not found: ${buttons[*]}"
web_x=${buttons[3]}
button_y=${buttons[6]}

echo "-- offline, W only shows a toast and starts no process"
PATH="$stub:$system_path" ui_start none --screenshot "$WT_DIR/offline-w.ppm" --screenshot-after 4
wt_focus_window >/dev/null || wt_fail "no window"
sleep 1.5
xdotool key w
ui_finish offline-w
[[ -e "$STUB_CALLS" ]] && wt_fail "xdg-open ran while offline"

echo "-- W opens the service's page with xdg-open"
online
printf 'Green TV\t%s/green.ts\n' "$base" >"$last"
export STUB_MODE=ok
PATH="$stub:$system_path" ui_start none --screenshot "$WT_DIR/web-key.ppm" --screenshot-after 3.5
wt_focus_window >/dev/null || wt_fail "no window"
sleep 1.5
xdotool key w
wt_wait_for test -s "$STUB_CALLS" || wt_fail "W did not start xdg-open"
ui_finish web-key
grep -qx 'https://[^/]*/play/' "$STUB_CALLS" || wt_fail "xdg-open got: $(cat "$STUB_CALLS")"

echo "-- the Web button does the same; a failing xdg-open leaves the program running"
rm -f "$STUB_CALLS"
export STUB_MODE=fail
PATH="$stub:$system_path" ui_start none --screenshot "$WT_DIR/web-button.ppm" --screenshot-after 5
window=$(wt_focus_window) || wt_fail "no window"
sleep 1.5
xdotool mousemove --window "$window" "$web_x" "$button_y"
sleep 0.3
xdotool click 1
wt_wait_for test -s "$STUB_CALLS" || wt_fail "the Web button did not start xdg-open"
ui_finish web-button

echo "-- a missing xdg-open and one still running after 3 s"
rm -f "$STUB_CALLS"
PATH="$WT_DIR/empty-bin" ui_start none --screenshot "$WT_DIR/web-missing.ppm" --screenshot-after 5
wt_focus_window >/dev/null || wt_fail "no window"
sleep 1.5
xdotool key w
ui_finish web-missing
export STUB_MODE=slow
PATH="$stub:$system_path" ui_start none --screenshot "$WT_DIR/web-slow.ppm" --screenshot-after 12
wt_focus_window >/dev/null || wt_fail "no window"
sleep 1.5
xdotool key w
wt_wait_for test -s "$STUB_CALLS" || wt_fail "xdg-open did not start"
sleep 8  # the stand-in ends 6 s after it started
zombies=$(ps --ppid "$UI_APP" -o stat= | grep -c '^Z')
[[ $zombies -eq 0 ]] || wt_fail "an ended xdg-open stays a zombie"
ui_finish web-slow

echo "-- the List and Mute buttons; Quit ends the program"
click_button() { # WINDOW X
    xdotool mousemove --window "$1" "$2" "$button_y"
    sleep 0.3
    xdotool click 1
    sleep 0.3
}
ui_start none --screenshot "$WT_DIR/buttons.ppm" --screenshot-after 4
window=$(wt_focus_window) || wt_fail "no window"
sleep 1
click_button "$window" "${buttons[0]}"
click_button "$window" "${buttons[4]}"
xdotool mousemove --window "$window" 640 300
ui_finish buttons
(( $(ui_count buttons 753 82 1264 146 140 204 242 12) > 20 )) || wt_fail "the List button did not open the list"
for i in 0 4; do
    (( $(ui_count buttons $((buttons[i] - 41)) 620 $((buttons[i] + 41)) 715 249 115 22 10) > 40 )) ||
        wt_fail "button $i is not drawn active"
done
ui_start none --screenshot "$WT_DIR/quit.ppm" --screenshot-after 30
window=$(wt_focus_window) || wt_fail "no window"
sleep 1
click_button "$window" "${buttons[5]}"
wt_wait_for bash -c "! kill -0 $UI_APP 2>/dev/null" || wt_fail "Quit did not end the program"
wait "$UI_APP" || wt_fail "Quit: exit $?"
[[ -e "$WT_DIR/quit.ppm" ]] && wt_fail "screenshot taken although Quit came first"

echo "-- without a tuner the scan only refreshes the online channels"
online
printf 'vantiro-1\nOld Tuner\t474000000\t16\t1025\t4096\t256\t257\t256\n' >"$XDG_CONFIG_HOME/vantiro/channels.tsv"
rm -f "$last"
ui_shot online-scan none 4 --scan-on-start
grep -q 'Old Tuner' "$XDG_CONFIG_HOME/vantiro/channels.tsv" || wt_fail "the scan without a tuner erased the saved tuner channel"
# The list is open with the two online rows: a TV globe and a radio.
(( $(ui_count online-scan 753 82 1264 146 140 204 242 12) > 20 )) || wt_fail "no online TV row"
(( $(ui_count online-scan 753 152 1264 216 242 204 102 12) > 20 )) || wt_fail "no radio row"
echo "PASS"
