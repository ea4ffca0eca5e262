#!/usr/bin/env bash
# R in the window on the simulated adapter: the playing channel is recorded to
# the default place, zapping within the multiplex keeps the recording growing,
# a zap to another multiplex is refused until R stops it, and the file is a
# single-program stream of whole packets (ffprobe).
source "$(dirname "$0")/../support/window_test_lib.sh"
source "$(dirname "$0")/../support/ui_window_lib.sh"
wt_require ffprobe python3 xdotool
[[ -x "${VANTIRO_BIN:-}" ]] || wt_fail "VANTIRO_BIN is not set"
[[ -n "${DVBSIM_LIB:-}" && -f "$DVBSIM_LIB" ]] || wt_skip "the simulated adapter is not built"

export XDG_CONFIG_HOME="$WT_DIR/config" XDG_CACHE_HOME="$WT_DIR/cache" XDG_VIDEOS_DIR="$WT_DIR/videos"
export VANTIRO_PLAYLIST_URL="http://127.0.0.1:1/tv.m3u8"  # nothing listens: tuner channels only
export VANTIRO_RADIO_URL="$VANTIRO_PLAYLIST_URL"
unset VANTIRO_IPTV
cd "$WT_DIR"
mkdir -p "$XDG_CONFIG_HOME/vantiro"
last="$XDG_CONFIG_HOME/vantiro/last-channel"
{
    printf 'vantiro-1\n'
    printf 'Alpha TV\t474000000\t16\t1025\t4096\t256\t257\t256\n'
    printf 'Beta TV\t474000000\t16\t1026\t4097\t258\t259\t258\n'
    printf 'Delta TV\t522000000\t3\t2049\t4096\t256\t257\t256\n'
} >"$XDG_CONFIG_HOME/vantiro/channels.tsv"
printf 'Alpha TV\t\n' >"$last"

size_of() { stat -c %s "$1" 2>/dev/null || echo 0; }
recorded() { file=$(ls "$XDG_VIDEOS_DIR/Vantiro/"Alpha\ TV\ *.ts 2>/dev/null | head -1); [[ -n $file ]]; }
grown() { [[ $(size_of "$file") -gt $1 ]]; }
# The last-channel file is rewritten in place: a read in between finds it empty,
# so a zap away from Beta shows only once another channel's name is in it.
not_beta() { grep -Eq '^(Alpha|Delta) TV' "$last"; }

wt_start_xvfb
band=$(ui_standard_band) || wt_fail "no simulated band"
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
