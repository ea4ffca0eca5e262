#!/usr/bin/env bash
# The programme guide in the window on the simulated band: the now-playing panel
# and the channel list exactly as before without guide data for the channel (a
# band without EIT; cached data of other channels only), the current and next
# programme (times, title, progress bar) and each row's title once the band's
# EIT is read while watching, and the info panel that I opens and Escape closes
# before anything else.
source "$(dirname "$0")/../support/window_test_lib.sh"
source "$(dirname "$0")/../support/ui_window_lib.sh"
ui_start_on_standard_band
ui_write_standard_channels
export XDG_CACHE_HOME="$WT_DIR/cache"
cache="$XDG_CACHE_HOME/vantiro"
mkdir -p "$cache"
printf 'Alpha TV\t\n' >"$XDG_CONFIG_HOME/vantiro/last-channel"

# write_guide FILE SERVICE...: a cache file in the program's format with, per
# service, a programme that started 20 minutes ago and one that follows it.
write_guide() {
    python3 - "$@" <<'PY'
import sys, time
path, services = sys.argv[1], sys.argv[2:]
now = int(time.time())
lines = ["vantiro-guide-1"]
for sid in services:
    s = int(sid)
    lines.append(f"{s}\t{s % 1000}\t{now - 1200}\t3600\ttha\tTHA\t12\t21\t\u0e02\u0e48\u0e32\u0e27 News {s}\tHeadlines\tLong text")
    lines.append(f"{s}\t{s % 1000 + 1}\t{now + 2400}\t1800\teng\t\t0\t\tFilm {s}\t\t")
open(path, "w").write("\n".join(lines) + "\n")
PY
}

# The lowest row of the now-playing panel's background over the black letterbox
# left of the picture (x = 60).
panel_bottom() {
    python3 - "$WT_DIR/$1.ppm" <<'PY'
import sys
data = open(sys.argv[1], 'rb').read()
_, size, _, pixels = data.split(b'\n', 3)
width, height = map(int, size.split())
bottom = 0
for y in range(24, height):
    i = (y * width + 60) * 3
    if all(6 <= c <= 14 for c in pixels[i:i + 3]):
        bottom = y
print(bottom)
PY
}
# Pixels of the dark style's progress bar fill (230, 179, 0) in the panel, left of the picture.
progress_pixels() { ui_count "$1" 30 100 158 400 230 179 0 12; }
# Dim text (the style's disabled text, 128 grey) under the name of list row $2.
row_title_pixels() {
    local top=$((16 + 54 + 12 + 70 * $2))
    ui_count "$1" $((1264 - 563 + 52)) $((top + 34)) 1260 $((top + 64)) 128 128 128 8
}

# The standard band broadcasts guide data (eit=1); the parts that set what the
# window knows through the cache alone watch the same band without it.
quiet="$WT_DIR/quiet-band.conf"
sed -e 's/eit=1/eit=0/' -e "s|ts=|ts=$(dirname "$band")/|" "$band" >"$quiet"

# The panel found over the picture's letterbox, no progress bar: no guide data shown.
plain_shown() {
    plain_bottom=$(panel_bottom "$1")
    UI_WHY="no now-playing panel found ($plain_bottom)"; ((plain_bottom > 100)) || return 1
    UI_WHY="a progress bar without guide data"; (($(progress_pixels "$1") == 0))
}
others_shown() {
    local bottom
    bottom=$(panel_bottom "$1")
    UI_WHY="panel height changed: $bottom vs $plain_bottom"; [[ $bottom == "$plain_bottom" ]] || return 1
    UI_WHY="a progress bar for another channel's data"; (($(progress_pixels "$1") == 0)) || return 1
    UI_WHY="Beta TV got a title line"; (($(row_title_pixels "$1" 1) == 0)) || return 1
    UI_WHY="Delta TV shows no programme in the list"; (($(row_title_pixels "$1" 3) > 20))
}
guide_shown() {
    local bottom
    bottom=$(panel_bottom "$1")
    UI_WHY="no programme lines: $bottom vs $plain_bottom"; ((bottom > plain_bottom + 40)) || return 1
    UI_WHY="no progress bar"; (($(progress_pixels "$1") > 200))
}
guide_listed() {
    guide_shown "$1" || return 1
    UI_WHY="Beta TV shows no programme in the list"; (($(row_title_pixels "$1" 1) > 20)) || return 1
    UI_WHY="Delta TV (not tuned, nothing cached) has a title line"; (($(row_title_pixels "$1" 3) == 0))
}
# A dark panel over the bright test picture in the middle of the window.
dark_middle() { ui_count "$1" 440 260 840 420 20 20 20 20; }
info_shown() { UI_WHY="no info panel: $(dark_middle "$1")"; (($(dark_middle "$1") > 30000)); }
info_closed() { UI_WHY="Escape left the info panel open"; (($(dark_middle "$1") < 30000)); }

echo "-- without guide data the panel and the list are as they always were"
ui_shot plain plain_shown "$quiet" --list-open

echo "-- guide data of other channels only changes nothing for this one"
write_guide "$cache/guide-522000000.tsv" 2049
ui_shot others others_shown "$quiet" --list-open

echo "-- the band's EIT read while watching: now and next in the panel, titles in the list"
rm -f "$cache"/*
ui_shot guide guide_listed "$band" --list-open
[[ -s "$cache/guide-474000000.tsv" ]] || wt_fail "the window kept no cache of what it read"

echo "-- I opens the info panel, Escape closes it without quitting"
ui_launch "$band"
ui_expect read guide_shown
wt_xdotool key i
ui_expect info info_shown
wt_xdotool key Escape
ui_expect closed info_closed
ui_close closed
echo "window guide: ok"
