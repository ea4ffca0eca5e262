#!/usr/bin/env bash
# The overlay over tuner channels of the simulated adapter: the now-playing
# panel, the channel list opened with L and switched by a click, the radio
# visualiser, and the panels going idle and waking up again.
source "$(dirname "$0")/../support/window_test_lib.sh"
source "$(dirname "$0")/../support/ui_window_lib.sh"
ui_start_on_standard_band
ui_write_standard_channels
last="$XDG_CONFIG_HOME/vantiro/last-channel"

# Panel geometry of a 1280 x 720 window: the list is 0.44 W wide at the right
# edge (16 px margin); its rows are 64 px with 6 px between them, below a title
# bar of the 30 px font.
list_left=$((1264 - 563))
row_top() { echo $((16 + 54 + 12 + 70 * $1)); }
row_has() { # NAME ROW R G B: the row's name is drawn in that colour
    local top
    top=$(row_top "$2")
    (( $(ui_count "$1" $((list_left + 52)) "$top" 1260 $((top + 64)) "$3" "$4" "$5" 12) > 20 ))
}

echo "-- a tuner channel shows the now-playing panel from (24, 24)"
printf 'Alpha TV\t\n' >"$last"
ui_shot playing "$band" 4
# The letterboxed picture leaves black around the panel's corner.
ui_near "$(ui_pixel playing 23 100)" 0 0 0 2 || wt_fail "left of the panel: $(ui_pixel playing 23 100)"
ui_near "$(ui_pixel playing 100 23)" 0 0 0 2 || wt_fail "above the panel: $(ui_pixel playing 100 23)"
ui_near "$(ui_pixel playing 24 100)" 9 9 9 3 || wt_fail "panel edge: $(ui_pixel playing 24 100)"
ui_near "$(ui_pixel playing 100 24)" 9 9 9 3 || wt_fail "panel top: $(ui_pixel playing 100 24)"
# Line 2 in the live-TV green, line 4 (offline) in orange.
(( $(ui_count playing 24 24 400 200 153 242 178 10) > 20 )) || wt_fail "no live-TV line"
(( $(ui_count playing 24 24 400 200 242 166 76 10) > 20 )) || wt_fail "no OFFLINE line"

echo "-- L opens the channel list with every channel"
ui_start "$band" --screenshot "$WT_DIR/list.ppm" --screenshot-after 5
wt_focus_window >/dev/null || wt_fail "no window"
sleep 1
xdotool key l
ui_finish list
for row in 0 1 3 4; do row_has list $row 178 242 191 || wt_fail "tuner row $row missing"; done
row_has list 2 242 204 102 || wt_fail "radio row missing"
row_has list 5 178 242 191 && wt_fail "a sixth row"

echo "-- a click on a row switches to it"
printf 'Alpha TV\t\n' >"$last"
ui_start "$band" --list-open --screenshot "$WT_DIR/clicked.ppm" --screenshot-after 7
window=$(wt_focus_window) || wt_fail "no window"
sleep 2
xdotool mousemove --window "$window" 982 $(( $(row_top 3) + 32 ))
sleep 0.3
xdotool click 1
wt_wait_for grep -q '^Delta TV' "$last" || wt_fail "the click did not switch: $(cat "$last")"
ui_finish clicked

echo "-- a radio service gets the visualiser"
printf 'Radio Gamma\t\n' >"$last"
ui_shot radio "$band" 12
# Idle by now: only the visualiser is left.
ui_near "$(ui_pixel radio 2 2)" 10 15 26 3 || wt_fail "gradient top: $(ui_pixel radio 2 2)"
ui_near "$(ui_pixel radio 2 717)" 17 27 45 3 || wt_fail "gradient bottom: $(ui_pixel radio 2 717)"
read -r r g b <<<"$(ui_pixel radio 250 446)"
(( r > 150 && r > b + 60 )) || wt_fail "first bar is not amber: $r $g $b"
read -r r g b <<<"$(ui_pixel radio 1029 446)"
(( b > 150 && b > r + 40 )) || wt_fail "last bar is not blue: $r $g $b"

echo "-- after 10 s without input the panels and the toolbar are gone; a key brings them back"
(( $(ui_count radio 24 24 400 200 242 204 102 10) == 0 )) || wt_fail "now-playing still shown when idle"
(( $(ui_count radio 300 600 1000 720 229 231 235 10) == 0 )) || wt_fail "toolbar still shown when idle"
ui_start "$band" --screenshot "$WT_DIR/woken.ppm" --screenshot-after 14
wt_focus_window >/dev/null || wt_fail "no window"
sleep 12.5
xdotool key a
ui_finish woken
(( $(ui_count woken 24 24 400 200 242 204 102 10) > 20 )) || wt_fail "now-playing did not come back"
(( $(ui_count woken 300 600 1000 720 229 231 235 10) > 20 )) || wt_fail "toolbar did not come back"
echo "PASS"
