#!/usr/bin/env bash
# The window on the simulated adapter: a tuner channel's picture in the
# screenshot, zapping across multiplexes with the keys, --install-firmware alone.
source "$(dirname "$0")/../support/window_test_lib.sh"
source "$(dirname "$0")/../support/ui_window_lib.sh"
wt_require ffmpeg
ui_start_on_standard_band
ui_write_two_multiplex_channels

echo "-- --install-firmware with --file only installs, through pkexec, then reloads the driver"
firmware="$VANTIRO_SYSTEM_ROOT/lib/firmware/dvb-demod-si2168-d60-01.fw"
env -u DISPLAY PRIVILEGED_EXIT=126 "$VANTIRO_BIN" --install-firmware --file "$WT_DIR/none.ts" \
    >"$WT_DIR/out.log" 2>"$WT_DIR/err.log"
rc=$?
calls=$(private_system_take_calls)
if grep -q "this build carries no firmware image" "$WT_DIR/err.log"; then
    [[ $rc -eq 1 && -z $calls ]] || wt_fail "no image: exit $rc, calls: $calls"
else
    # The user dismisses the dialog.
    [[ $rc -eq 1 ]] || wt_fail "a dismissed install exited $rc"
    [[ $(tail -1 "$WT_DIR/err.log") == "firmware install failed: firmware installation was cancelled or failed" ]] ||
        wt_fail "unexpected output: $(cat "$WT_DIR/err.log")"
    [[ $calls == "pkexec sh -c install -Dm644 \"/tmp/vantiro-si2168-"*".fw\" $firmware; modprobe"* ]] ||
        wt_fail "pkexec was not asked to install into the private root: $calls"
    [[ ! -e $firmware ]] || wt_fail "dismissed, yet installed"
    # The user authorises: the image lands in the firmware directory and the driver is reloaded.
    env -u DISPLAY PRIVILEGED_RUN=yes PRIVILEGED_EXIT=0 "$VANTIRO_BIN" --install-firmware \
        >"$WT_DIR/out.log" 2>"$WT_DIR/err.log"
    rc=$?
    calls=$(private_system_take_calls)
    [[ $rc -eq 0 ]] || wt_fail "an authorised install exited $rc: $(cat "$WT_DIR/err.log")"
    [[ $(cat "$WT_DIR/out.log") == "Si2168 firmware installed in /lib/firmware" ]] || wt_fail "out: $(cat "$WT_DIR/out.log")"
    [[ $(stat -c %s "$firmware") -eq 10829 ]] || wt_fail "the image was not installed"
    [[ $(sed -n 2,3p <<<"$calls") == $'modprobe -r dvb_usb_dvbsky\nmodprobe dvb_usb_dvbsky' ]] ||
        wt_fail "the driver was not reloaded: $calls"
    rm -f "$firmware"
fi
grep -q "SDL\|window" "$WT_DIR/err.log" && wt_fail "--install-firmware opened the window"

# The 4:3 picture sits in the middle 960 columns; seven bars of 960/7 pixels.
bars_shown() {
    local r g b
    bar() { wt_pixel "$WT_DIR/$1.ppm" $((160 + 960 * (2 * $2 + 1) / 14)) 300; }
    read -r r g b <<<"$(bar "$1" 1)"; UI_WHY="bar 2 is not yellow: $r $g $b"; ((r > 150 && g > 150 && b < 90)) || return 1
    read -r r g b <<<"$(bar "$1" 3)"; UI_WHY="bar 4 is not green: $r $g $b"; ((g > 150 && r < 90 && b < 90)) || return 1
    read -r r g b <<<"$(bar "$1" 5)"; UI_WHY="bar 6 is not red: $r $g $b"; ((r > 150 && g < 90 && b < 90)) || return 1
    read -r r g b <<<"$(bar "$1" 6)"; UI_WHY="bar 7 is not blue: $r $g $b"; ((b > 150 && r < 90 && g < 90)) || return 1
    read -r r g b <<<"$(wt_pixel "$WT_DIR/$1.ppm" 80 400)"
    UI_WHY="no dark border: $r $g $b"; ((r < 40 && g < 40 && b < 40))
}

echo "-- the window shows the colour bars of Beta TV (the last channel)"
printf 'Beta TV\t\n' >"$last"
# With the machine's own audio outputs probed: no ALSA noise reaches the terminal.
VANTIRO_AUDIO_OUTPUT= ui_shot beta bars_shown "$band"
grep -q "^ALSA lib" "$WT_DIR/app.log" && wt_fail "ALSA noise on stderr: $(grep -m2 '^ALSA lib' "$WT_DIR/app.log")"

echo "-- Down zaps to the other multiplex and Up comes back"
ui_launch "$band"
wt_xdotool key Down
wt_wait_for grep -q '^Delta TV' "$last" || wt_fail "Down: $(cat "$last")"
wt_xdotool key Up
wt_wait_for grep -q '^Beta TV' "$last" || wt_fail "Up: $(cat "$last")"
wt_xdotool key q
ui_wait_exit "quit"
echo PASS
