#!/usr/bin/env bash
# `vantiro serve` records on the simulated band: POST /record with minutes
# ends by itself with a single-program file of that length (ffprobe), a
# recording of another multiplex retunes and POST /record/stop ends it with
# whole packets, /recordings.txt lists both; refusals are one line of text and
# the help page is unchanged.
set -uo pipefail
source "$(dirname "$0")/serve_lib.sh"
serve_on_standard_band ffprobe
export XDG_VIDEOS_DIR=$work/videos
band_channels > "$work/cfg/vantiro/channels.tsv"
start_server "$run" --band "$band" -- || fail "server ended: $(cat "$work/err.txt")"

programs_of() { ffprobe -v error -show_entries program=program_num -of csv=p=0 "$1" 2>/dev/null | tr -d , | grep -v '^$' | tr '\n' ' '; }
duration_of() { ffprobe -v error -show_entries format=duration -of csv=p=0 "$1" 2>/dev/null; }
listed() { get /recordings.txt | grep -q "$1"; }

echo "--- refusals"
expect_eq "empty list" "$(get /recordings.txt)" ""
expect_eq "GET /record" "$(get '/record?index=1')" "error: use POST"
expect_eq "bad index" "$(post '/record?index=9')" "error: bad channel index"
expect_eq "bad minutes" "$(post '/record?index=1&minutes=-2')" "error: bad minutes"
expect_eq "stop without a recording" "$(post /record/stop)" "error: not recording"

echo "--- 0.1 minutes of Beta TV end by themselves"
answer=$(post '/record?index=1&minutes=0.1')
[[ $answer =~ ^ok\ $work/videos/Vantiro/Beta\ TV\ [0-9-]{10}\ [0-9.]{5}\.ts$ ]] || fail "answer: $answer"
beta=${answer#ok }
expect_eq "a second recording" "$(post '/record?index=0')" "error: already recording Beta TV (POST /record/stop first)"
wait_for "the recording did not end: $(get /recordings.txt)" listed "^done	Beta TV	"
expect_eq "programs" "$(programs_of "$beta")" "1026 "
d=$(duration_of "$beta")
awk -v d="$d" 'BEGIN { exit !(d >= 4 && d <= 8) }' || fail "duration $d, want about 6 s"
[[ $(( $(bytes "$beta") % 188 )) -eq 0 ]] || fail "not whole packets"

echo "--- Delta TV on the other multiplex until POST /record/stop"
answer=$(post '/record?index=3')
[[ $answer == ok\ * ]] || fail "answer: $answer"
delta=${answer#ok }
wait_for "the recording did not grow" grown "$delta" 200000
listed "^recording	Delta TV	[0-9]*	[0-9]*	$delta\$" || fail "running: $(get /recordings.txt)"
expect_eq "stop" "$(post /record/stop)" "ok"
expect_eq "current channel after the retune" "$(get /status.txt | head -1)" "current=3"
lines=$(get /recordings.txt)
[[ $(wc -l <<< "$lines") -eq 2 ]] || fail "list: $lines"
[[ $(sed -n 1p <<< "$lines") =~ ^done$'\t'Beta\ TV$'\t'[0-9]+$'\t'$(bytes "$beta")$'\t'"$beta"$ ]] || fail "first line: $lines"
[[ $(sed -n 2p <<< "$lines") =~ ^done$'\t'Delta\ TV$'\t'[0-9]+$'\t'$(bytes "$delta")$'\t'"$delta"$ ]] || fail "second line: $lines"
expect_eq "programs" "$(programs_of "$delta")" "2049 "
[[ $(( $(bytes "$delta") % 188 )) -eq 0 ]] || fail "not whole packets"
expect_eq "help unchanged" "$(get /)" $'Vantiro\n\nGET  /channels.txt   channel list\nPOST /play?index=N   switch channel\nGET  /stream.ts      live MPEG-TS\nGET  /status.txt     current channel'
stop_server
echo PASS
