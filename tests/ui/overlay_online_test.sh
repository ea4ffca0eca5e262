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
printf '%s\n' "$$" >>"$STUB_CALLS.pids"
case "$STUB_MODE" in
    fail) exit 1 ;;
    slow) sleep 6 ;;
esac
exit 0
SH
chmod 755 "$stub/xdg-open"
export STUB_CALLS="$WT_DIR/xdg-calls"
system_path=$PATH  # the stand-in is put on the program's PATH only

toolbar_shown() {
    local found
    read -r -a found <<<"$(ui_buttons "$1")"
    UI_WHY="toolbar buttons not found: ${found[*]}"
    [[ ${#found[@]} -eq 7 ]]
}
# Its light text on the dark panel, in the middle of the window, and the toolbar.
nodevice_shown() {
    UI_WHY="no tuner-missing panel"; (($(ui_count "$1" 340 260 940 460 255 255 255 20) > 200)) || return 1
    toolbar_shown "$1"
}
# The list that L opens after W: once it is drawn, W has been handled.
list_opened() {
    UI_WHY="the list did not open"
    (($(python3 "$UI_PROBE" changed "$WT_DIR/$1.ppm" "$WT_DIR/before.ppm" 701 16 1264 250 30) > 2000))
}
# buttons_active INDEX... NAME: the list is open and the toolbar buttons INDEX... are drawn active.
buttons_active() {
    local name=${*: -1} i
    UI_WHY="the List button did not open the list"
    (($(ui_count "$name" 753 82 1264 146 140 204 242 12) > 20)) || return 1
    for i in "${@:1:$#-1}"; do
        UI_WHY="button $i is not drawn active"
        (($(ui_count "$name" $((buttons[i] - 41)) 620 $((buttons[i] + 41)) 715 249 115 22 10) > 40)) || return 1
    done
}
# The list open with the two online rows: a TV globe and a radio.
online_rows_shown() {
    UI_WHY="no online TV row"; (($(ui_count "$1" 753 82 1264 146 140 204 242 12) > 20)) || return 1
    UI_WHY="no radio row"; (($(ui_count "$1" 753 152 1264 216 242 204 102 12) > 20))
}
# click_button X: a click on the toolbar button at X.
click_button() { wt_xdotool mousemove --window "$UI_WINDOW" "$1" "$button_y" click 1; }
# reaped PID: the process has ended and its parent has collected it.
reaped() { ! ps -o stat= -p "$1" >/dev/null 2>&1; }

echo "-- an online radio stream gets the visualiser"
online
printf 'Radio One\t%s/radio.ts\n' "$base" >"$last"
ui_shot radio ui_visualiser_shown none

echo "-- with no adapter and no channels the tuner-missing panel is shown"
offline
rm -f "$last"
ui_shot nodevice nodevice_shown none
read -r -a buttons <<<"$(ui_buttons nodevice)"
web_x=${buttons[3]}
button_y=${buttons[6]}

echo "-- offline, W starts no process"
UI_PATH="$stub:$system_path" ui_launch none
ui_expect before toolbar_shown
wt_xdotool key w l
ui_expect offline-w list_opened
ui_close offline-w
[[ -e "$STUB_CALLS" ]] && wt_fail "xdg-open ran while offline"

echo "-- W opens the service's page with xdg-open"
online
printf 'Green TV\t%s/green.ts\n' "$base" >"$last"
export STUB_MODE=ok
UI_PATH="$stub:$system_path" ui_launch none
wt_xdotool key w
wt_wait_for test -s "$STUB_CALLS" || wt_fail "W did not start xdg-open"
ui_close web-key
grep -qx 'https://[^/]*/play/' "$STUB_CALLS" || wt_fail "xdg-open got: $(cat "$STUB_CALLS")"

echo "-- the Web button does the same; a failing xdg-open leaves the program running"
rm -f "$STUB_CALLS"
export STUB_MODE=fail
UI_PATH="$stub:$system_path" ui_launch none
ui_expect toolbar toolbar_shown
click_button "$web_x"
wt_wait_for test -s "$STUB_CALLS" || wt_fail "the Web button did not start xdg-open"
ui_close web-button

echo "-- a missing xdg-open and one still running after 3 s"
rm -f "$STUB_CALLS"
UI_PATH="$WT_DIR/empty-bin" ui_launch none
ui_expect before toolbar_shown
wt_xdotool key w l
ui_expect web-missing list_opened
ui_close web-missing
export STUB_MODE=slow
rm -f "$STUB_CALLS.pids"
UI_PATH="$stub:$system_path" ui_launch none
wt_xdotool key w
wt_wait_for test -s "$STUB_CALLS.pids" || wt_fail "xdg-open did not start"
# The stand-in ends 6 s after it started; the program must collect it.
wt_wait_for reaped "$(head -1 "$STUB_CALLS.pids")" || wt_fail "an ended xdg-open stays a zombie"
ui_close web-slow

echo "-- the List and Mute buttons; Quit ends the program"
ui_launch none
ui_expect toolbar toolbar_shown
click_button "${buttons[0]}"
ui_expect list buttons_active 0
click_button "${buttons[4]}"
wt_xdotool mousemove --window "$UI_WINDOW" 640 300
ui_expect buttons buttons_active 0 4
ui_close buttons
# The screenshot is due long after the click: only Quit may end this run.
ui_launch none --screenshot "$WT_DIR/quit.ppm" --screenshot-after 600
ui_expect toolbar toolbar_shown
click_button "${buttons[5]}"
ui_wait_exit "Quit"
[[ -e "$WT_DIR/quit.ppm" ]] && wt_fail "screenshot taken although Quit came first"

echo "-- without a tuner the scan only refreshes the online channels"
online
printf 'vantiro-1\nOld Tuner\t474000000\t16\t1025\t4096\t256\t257\t256\n' >"$XDG_CONFIG_HOME/vantiro/channels.tsv"
rm -f "$last"
ui_shot online-scan online_rows_shown none --scan-on-start
grep -q 'Old Tuner' "$XDG_CONFIG_HOME/vantiro/channels.tsv" || wt_fail "the scan without a tuner erased the saved tuner channel"
echo "PASS"
