#!/usr/bin/env bash
# Audio tracks and subtitles of tuner channels on the standard simulated band,
# end to end: Echo TV (546 MHz) carries audio in Thai and English, Foxtrot TV
# on the same multiplex English DVB subtitles; both reach libmpv only through
# the tuner, the relay and its pipe. Judged by the selections libmpv reports
# (VANTIRO_TRACK_LOG, see track_window_lib.sh).
source "$(dirname "$0")/../support/window_test_lib.sh"
source "$(dirname "$0")/../support/ui_window_lib.sh"
source "$(dirname "$0")/../support/track_window_lib.sh"
wt_require import
ui_start_on_standard_band
mkdir -p "$XDG_CONFIG_HOME/vantiro"
printf 'vantiro-1\n%s\n%s\n' \
    $'Echo TV\t546000000\t16\t3073\t4096\t256\t257\t256' \
    $'Foxtrot TV\t546000000\t16\t3074\t4097\t259\t260\t259' \
    >"$XDG_CONFIG_HOME/vantiro/channels.tsv"

echo "-- Echo TV: both audio languages arrive through the relay; A switches between them"
start "$band"
expect_start "tracks: Audio: tha (1/2), No subtitles"
wt_xdotool key a
expect_line "track toast: Audio: eng (2/2)"
expect_line "tracks: Audio: eng (2/2), No subtitles"
wt_xdotool key v
expect_line "track toast: No subtitles"

echo "-- Foxtrot TV: V turns its DVB subtitles on and off"
wt_xdotool key Down
expect_start "tracks: Audio: eng (1/1), Subtitles off"
wt_xdotool key v
expect_line "track toast: Subtitles: eng"
expect_line "tracks: Audio: eng (1/1), Subtitles: eng"
wt_xdotool key v
expect_line "tracks: Audio: eng (1/1), Subtitles off"
quit

echo "-- the preferred languages apply to every tuner channel's start"
printf 'Echo TV\t\n' >"$XDG_CONFIG_HOME/vantiro/last-channel"
VANTIRO_AUDIO_LANG=eng VANTIRO_SUB_LANG=eng start "$band"
expect_start "tracks: Audio: eng (2/2), No subtitles"
wt_xdotool key Down
expect_start "tracks: Audio: eng (1/1), Subtitles: eng"
quit
echo "PASS"
