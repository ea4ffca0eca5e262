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

# Alpha TV playing: its picture letterboxed around the now-playing panel at (24, 24).
playing_shown() {
    local p
    # The letterboxed picture leaves black around the panel's corner.
    p=$(ui_pixel "$1" 23 100); UI_WHY="left of the panel: $p"; ui_near "$p" 0 0 0 2 || return 1
    p=$(ui_pixel "$1" 100 23); UI_WHY="above the panel: $p"; ui_near "$p" 0 0 0 2 || return 1
    p=$(ui_pixel "$1" 24 100); UI_WHY="panel edge: $p"; ui_near "$p" 9 9 9 3 || return 1
    p=$(ui_pixel "$1" 100 24); UI_WHY="panel top: $p"; ui_near "$p" 9 9 9 3 || return 1
    # Line 2 in the live-TV green, line 4 (offline) in orange.
    UI_WHY="no live-TV line"; (($(ui_count "$1" 24 24 400 200 153 242 178 10) > 20)) || return 1
    UI_WHY="no OFFLINE line"; (($(ui_count "$1" 24 24 400 200 242 166 76 10) > 20))
}
list_shown() {
    local row
    for row in 0 1 3 4; do
        UI_WHY="tuner row $row missing"; row_has "$1" $row 178 242 191 || return 1
    done
    UI_WHY="radio row missing"; row_has "$1" 2 242 204 102 || return 1
    UI_WHY="a sixth row"; ! row_has "$1" 5 178 242 191
}
# The radio visualiser alone: the panels and the toolbar have gone idle.
radio_idle() {
    ui_visualiser_shown "$1" || return 1
    UI_WHY="now-playing still shown when idle"; (($(ui_count "$1" 24 24 400 200 242 204 102 10) == 0)) || return 1
    UI_WHY="toolbar still shown when idle"; (($(ui_count "$1" 300 600 1000 720 229 231 235 10) == 0))
}
panels_back() {
    UI_WHY="now-playing did not come back"; (($(ui_count "$1" 24 24 400 200 242 204 102 10) > 20)) || return 1
    UI_WHY="toolbar did not come back"; (($(ui_count "$1" 300 600 1000 720 229 231 235 10) > 20))
}

echo "-- a tuner channel shows the now-playing panel from (24, 24)"
printf 'Alpha TV\t\n' >"$last"
ui_shot playing playing_shown "$band"

echo "-- L opens the channel list with every channel"
ui_launch "$band"
wt_xdotool key l
ui_expect list list_shown
ui_close list

echo "-- a click on a row switches to it"
printf 'Alpha TV\t\n' >"$last"
ui_launch "$band" --list-open
ui_expect listed list_shown
wt_xdotool mousemove --window "$UI_WINDOW" 982 $(( $(row_top 3) + 32 )) click 1
wt_wait_for grep -q '^Delta TV' "$last" || wt_fail "the click did not switch: $(cat "$last")"
ui_close clicked

echo "-- a radio service gets the visualiser; after 10 s without input the panels and the toolbar are gone"
printf 'Radio Gamma\t\n' >"$last"
UI_STILL=1 ui_shot radio radio_idle "$band"

echo "-- a key brings them back"
ui_launch "$band"
UI_STILL=1 ui_expect idle radio_idle
wt_xdotool key a
UI_STILL=1 ui_expect woken panels_back
ui_close woken
echo "PASS"
