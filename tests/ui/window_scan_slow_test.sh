#!/usr/bin/env bash
# A whole window scan of the band (about 95 s) over the simulated adapter: the
# list opens with every service marked new, and the file is saved.
source "$(dirname "$0")/../support/window_test_lib.sh"
source "$(dirname "$0")/../support/ui_window_lib.sh"
ui_start_on_standard_band
list="$XDG_CONFIG_HOME/vantiro/channels.tsv"

echo "-- a full scan opens the list with NEW marks and saves the file"
ui_start "$band" --scan-on-start --screenshot "$WT_DIR/scanned.ppm" --screenshot-after 130
wt_focus_window >/dev/null || wt_fail "no window"
# A key the program does not bind keeps the panels awake until the screenshot.
while kill -0 "$UI_APP" 2>/dev/null; do
    xdotool key a 2>/dev/null
    sleep 4
done
ui_finish scanned
ui_progress_bar_shown scanned && wt_fail "still scanning after 130 s"
[[ $(grep -c $'^[^\t]*\t474000000\t16\t' "$list") -eq 3 ]] || wt_fail "474 MHz services: $(cat "$list")"
[[ $(grep -c $'^[^\t]*\t522000000\t3\t' "$list") -eq 2 ]] || wt_fail "522 MHz services: $(cat "$list")"
grep -q $'^Delta TV\t522000000\t3\t2049\t' "$list" || wt_fail "Delta TV not saved: $(cat "$list")"
# New tuner channels carry the star in the new colour: four TV rows (the radio row is audio).
top=82
new_rows=0
for row in 0 1 2 3 4; do
    y=$((top + 70 * row))
    (( $(ui_count scanned 701 "$y" 1264 $((y + 64)) 115 255 140 12) > 20 )) && new_rows=$((new_rows + 1))
done
[[ $new_rows -eq 4 ]] || wt_fail "$new_rows rows marked new"
echo "PASS"
