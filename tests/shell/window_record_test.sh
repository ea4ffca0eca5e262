#!/usr/bin/env bash
# R in the window on the simulated adapter: the playing channel is recorded to
# the default place, zapping within the multiplex keeps the recording growing,
# a zap to another multiplex is refused until R stops it, and the file is a
# single-program stream of whole packets (ffprobe).
source "$(dirname "$0")/../support/window_test_lib.sh"
source "$(dirname "$0")/../support/ui_window_lib.sh"
wt_require ffprobe
ui_start_on_standard_band
export XDG_CACHE_HOME="$WT_DIR/cache" XDG_VIDEOS_DIR="$WT_DIR/videos"
ui_write_two_multiplex_channels
printf 'Alpha TV\t\n' >"$last"

size_of() { stat -c %s "$1" 2>/dev/null || echo 0; }
recorded() { file=$(ls "$XDG_VIDEOS_DIR/Vantiro/"Alpha\ TV\ *.ts 2>/dev/null | head -1); [[ -n $file ]]; }
grown() { [[ $(size_of "$file") -gt $1 ]]; }
# A zap away from Beta TV: another channel's name is in the last-channel file.
not_beta() { grep -Eq '^(Alpha|Delta) TV' "$last"; }

ui_launch "$band"
app=$UI_APP
wt_wait_for grep -q '^Alpha TV' "$last" || wt_fail "Alpha TV did not start"

echo "-- R records Alpha TV; Down to Beta TV (same multiplex) keeps it going"
wt_xdotool key r
wt_wait_for recorded || wt_fail "no recording in $XDG_VIDEOS_DIR/Vantiro"
wt_wait_for grown 200000 || wt_fail "the recording did not grow"
wt_xdotool key Down
wt_wait_for grep -q '^Beta TV' "$last" || wt_fail "Down: $(cat "$last")"
at_zap=$(size_of "$file")
wt_wait_for grown $((at_zap + 200000)) || wt_fail "the recording stopped growing after a zap within the multiplex"

echo "-- Down to Delta TV (other multiplex) is refused while recording; R stops, then Down zaps"
# Keys are handled in order: refused, the recording stops, then the zap goes to
# Delta TV. Had the first Down zapped, the last one would have wrapped to Alpha TV.
wt_xdotool key Down r Down
wt_wait_for not_beta || wt_fail "no zap after R stopped the recording"
grep -q '^Delta TV' "$last" || wt_fail "the zap to another multiplex was not refused: $(cat "$last")"
size=$(size_of "$file")
(( size % 188 == 0 )) || wt_fail "not whole packets: $size"
programs=$(ffprobe -v error -show_entries program=program_num -of csv=p=0 "$file" | tr -d , | grep -v '^$' | tr '\n' ' ')
[[ $programs == "1025 " ]] || wt_fail "programs: $programs"
wt_xdotool key q
for i in $(seq 100); do kill -0 $app 2>/dev/null || break; sleep 0.1; done
wait $app
rc=$?
[[ $rc -eq 0 ]] || wt_fail "quit with exit $rc"
grep -q Sanitizer "$WT_DIR/app.log" && wt_fail "sanitizer report: $(cat "$WT_DIR/app.log")"
echo PASS
