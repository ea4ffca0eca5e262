#!/usr/bin/env bash
# The scan from the window over the simulated adapter: the progress panel, and
# Escape cancelling it with the old list kept.
source "$(dirname "$0")/../support/window_test_lib.sh"
source "$(dirname "$0")/../support/ui_window_lib.sh"
ui_start_on_standard_band
ui_write_standard_channels
list="$XDG_CONFIG_HOME/vantiro/channels.tsv"
cp "$list" "$WT_DIR/list-before"

echo "-- --scan-on-start shows the progress panel and the Scan button as active"
ui_shot scanning "$band" 3 --scan-on-start
ui_progress_bar_shown scanning || wt_fail "no progress bar"
(( $(ui_count scanning 300 600 1000 720 249 115 22 10) > 20 )) || wt_fail "no active toolbar button"

echo "-- Escape cancels the scan, keeps the program running and the old list"
ui_start "$band" --scan-on-start --screenshot "$WT_DIR/cancelled.ppm" --screenshot-after 5
wt_focus_window >/dev/null || wt_fail "no window"
sleep 1.5
xdotool key Escape
sleep 1.5
kill -0 "$UI_APP" 2>/dev/null || wt_fail "Escape during the scan quit the program"
ui_finish cancelled
ui_progress_bar_shown cancelled && wt_fail "the scan still runs after Escape"
cmp -s "$list" "$WT_DIR/list-before" || wt_fail "the channel list file changed"
echo "PASS"
