#!/usr/bin/env bash
# Starting a tuner channel from the list while a scan runs: the window keeps
# drawing (the main thread never waits for the tuner the sweep holds), nothing
# is started, and an Escape afterwards cancels the scan instead of quitting.
source "$(dirname "$0")/../support/window_test_lib.sh"
source "$(dirname "$0")/../support/ui_window_lib.sh"
wt_require import
ui_start_on_standard_band
ui_write_standard_channels
last="$XDG_CONFIG_HOME/vantiro/last-channel"
printf 'Alpha TV\t\n' >"$last"
cp "$last" "$WT_DIR/last-before"

ui_start "$band" --scan-on-start --list-open
id=$(wt_focus_window) || wt_fail "no window"
sleep 1
xdotool key Return  # the list's selection: Alpha TV, a tuner channel

# Window captures of the progress panel until one differs from the first: a
# main thread stuck on the tuner would draw nothing new for the whole sweep.
panel() {  # panel FILE: the panel's pixels of a capture of the window
    python3 - "$1" <<'PY'
import sys
data = open(sys.argv[1], 'rb').read()
magic, size, maxval, pixels = data.split(b'\n', 3)
width, height = map(int, size.split())
rows = [pixels[(y * width + 300) * 3:(y * width + 980) * 3] for y in range(250, 470)]
sys.stdout.buffer.write(b''.join(rows))
PY
}
import -depth 8 -window "$id" "$WT_DIR/first.ppm" || wt_fail "cannot capture the window"
panel "$WT_DIR/first.ppm" >"$WT_DIR/first.panel"
changed=""
for i in $(seq 20); do
    sleep 0.5
    import -depth 8 -window "$id" "$WT_DIR/later.ppm" || wt_fail "cannot capture the window"
    panel "$WT_DIR/later.ppm" >"$WT_DIR/later.panel"
    cmp -s "$WT_DIR/first.panel" "$WT_DIR/later.panel" || { changed=yes; break; }
done
[[ -n $changed ]] || wt_fail "the window stopped drawing after the list start"
cmp -s "$last" "$WT_DIR/last-before" || wt_fail "a tuner channel was started during the scan: $(cat "$last")"

xdotool key Escape  # cancels the scan
sleep 1
kill -0 "$UI_APP" 2>/dev/null || wt_fail "Escape after the list start quit the program"
echo PASS
