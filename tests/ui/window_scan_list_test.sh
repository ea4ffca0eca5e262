#!/usr/bin/env bash
# Starting a tuner channel from the list while a scan runs: the window keeps
# drawing (the main thread never waits for the tuner the sweep holds), nothing
# is started, and an Escape afterwards cancels the scan instead of quitting.
source "$(dirname "$0")/../support/window_test_lib.sh"
source "$(dirname "$0")/../support/ui_window_lib.sh"
ui_start_on_standard_band
ui_write_standard_channels
last="$XDG_CONFIG_HOME/vantiro/last-channel"
printf 'Alpha TV\t\n' >"$last"
cp "$last" "$WT_DIR/last-before"

ui_launch "$band" --scan-on-start --list-open
ui_capture first || wt_fail "cannot capture the window"
wt_xdotool key Return  # the list's selection: Alpha TV, a tuner channel

# Captures until one shows the progress panel changed since the first while
# the scan still runs: a main thread stuck on the tuner would draw nothing new
# until the sweep had ended.
panel_changed() {
    UI_WHY="the window stopped drawing after the list start"
    ui_progress_bar_shown "$1" &&
        (($(python3 "$UI_PROBE" changed "$WT_DIR/$1.ppm" "$WT_DIR/first.ppm" 300 250 980 470 0) > 0))
}
ui_expect later panel_changed
cmp -s "$last" "$WT_DIR/last-before" || wt_fail "a tuner channel was started during the scan: $(cat "$last")"

# Cancelled, not finished: a finished scan opens the list of what it found.
scan_cancelled() {
    UI_WHY="the scan still runs after Escape"
    ! ui_progress_bar_shown "$1" || return 1
    UI_WHY="the scan finished instead of being cancelled: the list opened"
    (($(ui_count "$1" 701 82 1264 146 178 242 191 12) == 0))
}
wt_xdotool key Escape  # cancels the scan
ui_expect cancelled scan_cancelled
ui_running || wt_fail "Escape after the list start quit the program"
ui_close cancelled
echo PASS
