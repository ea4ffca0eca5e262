#!/usr/bin/env bash
# Audio tracks and subtitles in the window, end to end under Xvfb on a clip
# with two audio languages (tha first, eng second) and DVB subtitles (eng,
# a white bar at the top right of the picture). VANTIRO_TRACK_LOG makes the
# program print on stderr each selection libmpv reports ("tracks: ...") and
# each track toast ("track toast: ..."); the subtitle picture is read from
# captures of the window.
source "$(dirname "$0")/../support/window_test_lib.sh"
source "$(dirname "$0")/../support/ui_window_lib.sh"
source "$(dirname "$0")/../support/track_window_lib.sh"
wt_require ffmpeg python3 xdotool import
[[ -x "${VANTIRO_BIN:-}" ]] || wt_fail "VANTIRO_BIN is not set"

wt_start_xvfb
media="$WT_DIR/media"
mkdir -p "$media"
python3 "$TW_CLIP" "$media/tracks.ts" 120 ||
    wt_fail "could not make the two-language clip"
wt_make_clip "$media/single.ts" blue 30

export XDG_CONFIG_HOME="$WT_DIR/config"
VANTIRO_PLAYLIST_URL=$(ui_refused_url tv.m3u8)
VANTIRO_RADIO_URL=$(ui_refused_url radio.m3u8)
export VANTIRO_PLAYLIST_URL VANTIRO_RADIO_URL
unset VANTIRO_IPTV
mkdir -p "$XDG_CONFIG_HOME/vantiro"
cd "$WT_DIR" || wt_fail "no work directory"

# The clip through a FIFO at its own pace, as the relay delivers a live service.
# (From a plain file libmpv reads far ahead into its cache; once a track switch
# has made it re-read an earlier part, libmpv 0.35 hands a track selected later
# only the packets beyond what it has read ahead, which for a file is a minute on.)
feed_live() {
    rm -f "$WT_DIR/live.ts"
    mkfifo "$WT_DIR/live.ts"
    ffmpeg -nostdin -hide_banner -loglevel error -re -i "$media/tracks.ts" -map 0 -c copy -f mpegts pipe:1 \
        >"$WT_DIR/live.ts" 2>/dev/null &
    WT_PIDS+=($!)
}

echo "-- without a preference libmpv starts on the first audio track, subtitles off"
feed_live
start none --file "$WT_DIR/live.ts"
expect_start "tracks: Audio: tha (1/2), Subtitles off"

echo "-- A switches the audio language libmpv plays, with a toast naming it"
wt_xdotool key a
expect_line "track toast: Audio: eng (2/2)"
expect_line "tracks: Audio: eng (2/2), Subtitles off"

echo "-- V turns the DVB subtitles on: libmpv selects them and draws them"
wt_wait_for subtitle_hidden || wt_fail "a subtitle is drawn before V ($(bar_pixels) pixels)"
wt_xdotool key v
expect_line "track toast: Subtitles: eng"
expect_line "tracks: Audio: eng (2/2), Subtitles: eng"
wt_wait_for subtitle_shown || wt_fail "no subtitle picture after V ($(bar_pixels) pixels)"

echo "-- V again turns them off; A wraps round to the first language"
wt_xdotool key v
expect_line "track toast: Subtitles off"
expect_line "tracks: Audio: eng (2/2), Subtitles off"
wt_wait_for subtitle_hidden || wt_fail "the subtitle stays after turning it off ($(bar_pixels) pixels)"
wt_xdotool key a
expect_line "track toast: Audio: tha (1/2)"
expect_line "tracks: Audio: tha (1/2), Subtitles off"
quit

echo "-- the panel names the audio language only when there are several"
# Just below the panel's second line (the file path) over the blue picture:
# the audio line lengthens the panel there only for the two-language clip.
# Judged once libmpv has reported the clip's tracks and the picture is up.
picture_up() {
    local pixel
    pixel=$(wt_pixel "$WT_DIR/$1.ppm" 960 400)
    UI_WHY="no blue picture: $pixel"
    wt_is_colour "$pixel" blue
}
audio_line_shown() {
    local r g b
    picture_up "$1" || return 1
    read -r r g b <<<"$(ui_pixel "$1" 200 135)"
    UI_WHY="no audio line in the panel with two languages: $r $g $b"
    ((b < 150))
}
no_audio_line() {
    local r g b
    picture_up "$1" || return 1
    read -r r g b <<<"$(ui_pixel "$1" 200 135)"
    UI_WHY="an audio line in the panel with one language: $r $g $b"
    ((b > 200))
}
# panel_judged NAME CHECK CLIP: a run of CLIP judged by CHECK once its tracks are known.
panel_judged() {
    : >"$log"
    ui_launch none --file "$3"
    wait_long grep -q '^tracks: ' "$log" || { cat "$log" >&2; wt_fail "$1: no tracks reported"; }
    ui_expect "$1" "$2"
    ui_close "$1"
}
panel_judged two audio_line_shown "$media/tracks.ts"
panel_judged one no_audio_line "$media/single.ts"

echo "-- VANTIRO_AUDIO_LANG picks eng at start"
VANTIRO_AUDIO_LANG=fra,eng start none --file "$media/tracks.ts"
expect_start "tracks: Audio: eng (2/2), Subtitles off"
quit

echo "-- the settings file picks the audio and the subtitle language"
printf '# languages\naudio-language=eng\nsubtitle-language=eng\n' >"$XDG_CONFIG_HOME/vantiro/settings"
start none --file "$media/tracks.ts"
expect_start "tracks: Audio: eng (2/2), Subtitles: eng"
wt_wait_for subtitle_shown || wt_fail "no subtitle picture with subtitle-language=eng"
quit
rm "$XDG_CONFIG_HOME/vantiro/settings"

echo "-- every channel start applies the preference again, after a choice by key"
wt_serve_dir "$media"
base="http://127.0.0.1:$WT_HTTP_PORT"
printf '#EXTM3U\n#EXTINF:-1,First\n%s/tracks.ts\n#EXTINF:-1,Second\n%s/tracks.ts?second\n' \
    "$base" "$base" >"$media/tv.m3u8"
VANTIRO_PLAYLIST_URL="$base/tv.m3u8" VANTIRO_RADIO_URL="$base/tv.m3u8" VANTIRO_AUDIO_LANG=eng start none
expect_start "tracks: Audio: eng (2/2), Subtitles off"
wt_xdotool key a
expect_line "tracks: Audio: tha (1/2), Subtitles off"
wt_xdotool key Down
wait_long logged_times "tracks: Audio: eng (2/2), Subtitles off" 2 ||
    { cat "$log" >&2; wt_fail "the second channel did not start on eng"; }
grep -q '^Second' "$XDG_CONFIG_HOME/vantiro/last-channel" || wt_fail "Down did not switch"
quit
echo "PASS"
