#!/usr/bin/env bash
# Audio tracks and subtitles of a tuner channel, end to end: the two-language
# clip (tha, eng, DVB subtitles in eng) is the one service of a multiplex on
# the simulated adapter, so the picture, both languages and the subtitles
# reach libmpv only through the tuner, the relay and its pipe.
source "$(dirname "$0")/../support/window_test_lib.sh"
source "$(dirname "$0")/../support/ui_window_lib.sh"
source "$(dirname "$0")/../support/track_window_lib.sh"
wt_require ffmpeg python3 xdotool import
[[ -x "${VANTIRO_BIN:-}" ]] || wt_fail "VANTIRO_BIN is not set"
ui_require_sim

wt_start_xvfb
python3 "$TW_CLIP" "$WT_DIR/tracks.ts" 120 || wt_fail "could not make the two-language clip"
cat >"$WT_DIR/band.conf" <<'CONF'
adapter 0 name="Silicon Labs Si2168"
mux freq=474000000 delsys=16 ts=tracks.ts
CONF

export XDG_CONFIG_HOME="$WT_DIR/config"
VANTIRO_PLAYLIST_URL=$(ui_refused_url tv.m3u8)
VANTIRO_RADIO_URL=$(ui_refused_url radio.m3u8)
export VANTIRO_PLAYLIST_URL VANTIRO_RADIO_URL
unset VANTIRO_IPTV
mkdir -p "$XDG_CONFIG_HOME/vantiro"
# ffmpeg's muxer: service 1, PMT PID 0x1000, video 0x100, audio 0x101 and 0x102, subtitles 0x103.
printf 'vantiro-1\nTracks TV\t474000000\t16\t1\t4096\t256\t257\t256\n' >"$XDG_CONFIG_HOME/vantiro/channels.tsv"
cd "$WT_DIR" || wt_fail "no work directory"

echo "-- both audio languages and the subtitles arrive through the relay"
start "$WT_DIR/band.conf"
expect_line "tracks: Audio: tha (1/2), Subtitles off"

echo "-- A switches to eng; V shows the subtitles"
xdotool key a
expect_line "track toast: Audio: eng (2/2)"
expect_line "tracks: Audio: eng (2/2), Subtitles off"
wt_wait_for subtitle_hidden || wt_fail "a subtitle is drawn before V ($(bar_pixels) pixels)"
xdotool key v
expect_line "tracks: Audio: eng (2/2), Subtitles: eng"
wt_wait_for subtitle_shown || wt_fail "no subtitle picture after V ($(bar_pixels) pixels)"
quit

echo "-- the preferred language applies to a tuner channel's start"
VANTIRO_AUDIO_LANG=eng VANTIRO_SUB_LANG=eng start "$WT_DIR/band.conf"
expect_line "tracks: Audio: eng (2/2), Subtitles: eng"
quit
echo "PASS"
