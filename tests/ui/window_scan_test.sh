#!/usr/bin/env bash
# The scan from the window over the simulated adapter: the progress panel, and
# Escape cancelling it with the old list kept.
source "$(dirname "$0")/../support/window_test_lib.sh"
source "$(dirname "$0")/../support/ui_window_lib.sh"
ui_start_on_standard_band
ui_write_standard_channels
list="$XDG_CONFIG_HOME/vantiro/channels.tsv"
cp "$list" "$WT_DIR/list-before"
inode_before=$(stat -c %i "$list")

# The scan shown: the progress bar fills and the toolbar's Scan button is active.
scan_shown() {
    UI_WHY="no progress bar"
    ui_progress_bar_shown "$1" || return 1
    UI_WHY="no active toolbar button"
    (($(ui_count "$1" 300 600 1000 720 249 115 22 10) > 20))
}
# Cancelled, not finished: a finished scan opens the list of what it found.
scan_gone() {
    UI_WHY="the scan still runs after Escape"
    ! ui_progress_bar_shown "$1" || return 1
    UI_WHY="the scan finished instead of being cancelled: the list opened"
    (($(ui_count "$1" 701 82 1264 146 178 242 191 12) == 0))
}

echo "-- --scan-on-start shows the progress panel and the Scan button as active"
ui_shot scanning scan_shown "$band" --scan-on-start

echo "-- Escape cancels the scan, keeps the program running and the old list"
ui_launch "$band" --scan-on-start
ui_expect running scan_shown
wt_xdotool key Escape
ui_expect cancelled scan_gone
kill -0 "$UI_APP" 2>/dev/null || wt_fail "Escape during the scan quit the program"
ui_close cancelled
cmp -s "$list" "$WT_DIR/list-before" || wt_fail "the channel list file changed"
[[ $(stat -c %i "$list") == "$inode_before" ]] || wt_fail "the channel list was saved again"
echo "PASS"
