#!/usr/bin/env bash
# `vantiro serve` on the simulated band: the playlist and the per-channel
# streams, judged by clients no one here wrote. /channels.m3u lists every
# channel with the guide's channel ids; mpv and VLC open it and play its second
# entry (their own track lists and recordings show Beta TV's streams); a viewer
# of another multiplex retunes and ends the old viewers; refusals are text with
# an HTTP error status; an online channel answers with a redirect.
set -uo pipefail
source "$(dirname "$0")/serve_lib.sh"
serve_on_standard_band ffprobe mpv cvlc setpriv
list=$work/cfg/vantiro/channels.tsv
export DVBSIM_TUNE_LOG=$work/tunes.log

# "type codec" of every stream of a capture, sorted.
codecs_of() {
  ffprobe -v error -show_entries stream=codec_type,codec_name -of csv=p=0 "$1" 2>/dev/null | grep -v '^$' | sort -u | tr '\n' ' '
}
programs_of() {
  ffprobe -v error -show_entries program=program_num -of csv=p=0 "$1" 2>/dev/null | tr -d , | grep -v '^$' | tr '\n' ' '
}
tunes() { wc -l < "$DVBSIM_TUNE_LOG"; }

start_stream_host
printf '#EXTM3U\n#EXTINF:-1,Web "One"\nhttp://127.0.0.1:%s/one.m3u8\n' "$HOST_PORT" > "$work/web.m3u8"
band_channels > "$list"
VANTIRO_IPTV=$work/web.m3u8 start_server "$run" --band "$band" -- || fail "server ended: $(cat "$work/err.txt")"
base=http://127.0.0.1:$PORT

echo "--- the playlist, with the guide's channel ids"
expect_eq "playlist" "$(get /channels.m3u)" "#EXTM3U url-tvg=\"$base/epg.xml\"
#EXTINF:-1 tvg-id=\"474.1025.vantiro\" tvg-name=\"Alpha TV\" group-title=\"TV\",Alpha TV
$base/watch/0.ts
#EXTINF:-1 tvg-id=\"474.1026.vantiro\" tvg-name=\"Beta TV\" group-title=\"TV\",Beta TV
$base/watch/1.ts
#EXTINF:-1 tvg-id=\"474.1027.vantiro\" tvg-name=\"Radio Gamma\" group-title=\"Radio\" radio=\"true\",Radio Gamma
$base/watch/2.ts
#EXTINF:-1 tvg-id=\"522.2049.vantiro\" tvg-name=\"Delta TV\" group-title=\"TV\",Delta TV
$base/watch/3.ts
#EXTINF:-1 tvg-id=\"\" tvg-name=\"Web 'One'\" group-title=\"Online\",Web 'One'
$base/watch/4.ts"
epg_channels() { epg_ids=$(get /epg.xml | grep -o '<channel id="[^"]*"' | cut -d'"' -f2 | tr '\n' ' '); [[ -n $epg_ids ]]; }
wait_for "the guide read nothing on the multiplex" epg_channels
m3u_ids=$(get /channels.m3u | grep -o 'tvg-id="[^"]\+"' | cut -d'"' -f2 | tr '\n' ' ')
# The guide names only channels it has programmes for; every one must be in the playlist.
for id in $epg_ids; do [[ " $m3u_ids " == *" $id "* ]] || fail "epg.xml channel $id is not in the playlist"; done
curl -s --max-time 10 -H 'Host: tv.example:8090' "$base/channels.m3u" | grep -qx 'http://tv.example:8090/watch/1.ts' ||
  fail "the playlist does not follow the Host header"
curl -s --max-time 10 -0 -H 'Host:' "$base/channels.m3u" | grep -qx "$base/watch/1.ts" ||
  fail "without a Host header the playlist does not name the address connected to"
expect_eq "help unchanged" "$(get /)" $'Vantiro\n\nGET  /channels.txt   channel list\nPOST /play?index=N   switch channel\nGET  /stream.ts      live MPEG-TS\nGET  /status.txt     current channel'

echo "--- refusals and the online channel"
expect_eq "no such channel" "$(curl -s --max-time 10 -w ' %{http_code}' "$base/watch/9.ts")" "error: bad channel index
 404"
expect_eq "not a channel URL" "$(curl -s --max-time 10 -w ' %{http_code}' "$base/watch/one.ts")" "error: bad channel index
 404"
expect_eq "online channel" "$(curl -s --max-time 10 -o /dev/null -w '%{http_code} %{redirect_url}' "$base/watch/4.ts")" \
  "302 http://127.0.0.1:$HOST_PORT/one.m3u8"

echo "--- two viewers of one multiplex join without a retune, each gets its service"
before=$(tunes)
curl -s --max-time 10 -I "$base/watch/3.ts" | grep -q '^Content-Type: video/mp2t' || fail "HEAD of a channel URL"
curl -s --max-time 30 "$base/watch/0.ts" -o "$work/alpha.ts" & alpha=$!
curl -s --max-time 30 "$base/watch/2.ts" -o "$work/radio.ts" & radio=$!
wait_for "no stream for the first viewer" grown "$work/alpha.ts" 300000
wait_for "no stream for the radio viewer" grown "$work/radio.ts" 40000
expect_eq "retunes" "$(tunes)" "$before"
expect_eq "programs of the first" "$(programs_of "$work/alpha.ts")" "1025 "
expect_eq "codecs of the first" "$(codecs_of "$work/alpha.ts")" "aac,audio h264,video "
expect_eq "programs of the radio" "$(programs_of "$work/radio.ts")" "1027 "
expect_eq "codecs of the radio" "$(codecs_of "$work/radio.ts")" "mp2,audio "
expect_eq "status still on the channel of /play" "$(get /status.txt)" $'current=0\nname=Alpha TV\nchannels=5\nmode=tuner'

echo "--- a /play on the same multiplex leaves the viewers streaming"
expect_eq "play" "$(post '/play?index=1')" "ok"
size=$(stat -c %s "$work/alpha.ts")
wait_for "the viewer stopped at a /play on its multiplex" grown "$work/alpha.ts" $((size + 100000))
kill -0 $radio || fail "the radio viewer was ended"

echo "--- a viewer of another multiplex retunes and ends the old ones"
curl -s --max-time 30 "$base/watch/3.ts" -o "$work/delta.ts" & delta=$!
# Both end when the tuner leaves their multiplex (curl's time limit would say 28).
wait "$alpha" || fail "the first viewer did not end at the retune"
wait "$radio" || fail "the radio viewer did not end at the retune"
wait_for "no stream after the retune" grown "$work/delta.ts" 200000
kill $delta; wait $delta 2>/dev/null
expect_eq "programs of the new multiplex" "$(programs_of "$work/delta.ts")" "2049 "
grep -qx "playing Delta TV (522 MHz)" "$work/out.txt" || fail "no playing line for the retune"
expect_eq "status follows the retune" "$(get /status.txt)" $'current=3\nname=Delta TV\nchannels=5\nmode=tuner'

echo "--- mpv opens the playlist and plays its second entry"
cat > "$work/one-entry.lua" <<'LUA'
-- end after the first entry played, instead of going on down the playlist (the
-- playlist file itself ends first, by redirecting to its entries)
mp.register_event("end-file", function(event)
  if event.reason ~= "redirect" then mp.command("quit") end
end)
LUA
mpv --no-config --vo=null --ao=null --playlist-start=1 --frames=50 --script="$work/one-entry.lua" \
    --stream-record="$work/mpv.ts" "$base/channels.m3u" > "$work/mpv.log" 2>&1 || fail "mpv failed: $(tail -5 "$work/mpv.log")"
grep -q "Playing: $base/watch/1.ts" "$work/mpv.log" || fail "mpv did not play entry 2: $(cat "$work/mpv.log")"
grep -q "Video --vid=1 .*h264" "$work/mpv.log" || fail "mpv found no video: $(cat "$work/mpv.log")"
grep -q "Audio --aid=1 .*mp2" "$work/mpv.log" || fail "mpv found no MPEG audio: $(cat "$work/mpv.log")"
grep -q "aac" "$work/mpv.log" && fail "mpv saw another service's audio: $(cat "$work/mpv.log")"
# mpv's recorder multiplexes the streams it played anew (program 1, PIDs of its own).
expect_eq "codecs in mpv's recording" "$(codecs_of "$work/mpv.ts")" "h264,video mp2,audio "

echo "--- VLC opens the playlist and plays its second entry"
# VLC refuses to run as root; it runs as nobody then, in a directory of its own.
mkdir -m 777 "$work/vlc"
as_user=()
if [[ $(id -u) == 0 ]]; then
  as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
  chmod 711 "$work"
fi
python3 - "$base/channels.m3u" "$work/vlc" "${as_user[@]}" <<'PY' || fail "VLC: $(tail -20 "$work/vlc/log")"
import os, subprocess, sys, time
url, home, runner = sys.argv[1], sys.argv[2], sys.argv[3:]
out = os.path.join(home, "beta.ts")
log = open(os.path.join(home, "log"), "w")
vlc = subprocess.Popen(runner + ["env", "HOME=" + home, "XDG_CONFIG_HOME=" + home, "XDG_DATA_HOME=" + home,
                                  "XDG_CACHE_HOME=" + home, "cvlc", "-I", "rc", "--rc-fake-tty",
                       "--sout", "#std{access=file,mux=ts,dst=%s}" % out, url],
                       stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=log, cwd=home)
os.set_blocking(vlc.stdout.fileno(), False)
said = ""
def send(command):
    vlc.stdin.write((command + "\n").encode()); vlc.stdin.flush()
def answer():
    try:
        return os.read(vlc.stdout.fileno(), 65536).decode(errors="replace")
    except BlockingIOError:
        return ""
def ask(wanted):
    """Asks for VLC's status until it names `wanted` (at most ~30 s)."""
    global said
    said = ""
    for _ in range(300):
        send("status")
        time.sleep(0.1)
        said += answer()
        if wanted in said:
            return
    sys.exit("VLC's status never named %r: %r" % (wanted, said[-500:]))
ask("watch/0.ts")     # the playlist was read and its first entry started
send("next")          # the second entry
ask("watch/1.ts")
size = 0
for _ in range(300):
    size = os.path.getsize(out) if os.path.exists(out) else 0
    if size > 300000:
        break
    time.sleep(0.1)
ask("watch/1.ts")     # still on it when the recording is taken
send("quit")
vlc.wait(timeout=30)
sys.exit(0 if size > 300000 else "VLC recorded %d bytes" % size)
PY
# VLC's own multiplexer writes the streams it played under PIDs of its own choice.
expect_eq "codecs in VLC's recording" "$(codecs_of "$work/vlc/beta.ts")" "h264,video mp2,audio "
stop_server
grep -v -e '^dvr overflow' -e '^viewer of .* fell behind' "$work/err.txt" | grep -q . && fail "stderr: $(cat "$work/err.txt")"

echo "--- a viewer the tuner cannot serve gets a text refusal"
channel_list $'Nowhere\t498000000\t16\t1\t256\t512\t650\t512' > "$list"
start_server "$run" --band "$band" -- || fail "server ended: $(cat "$work/err.txt")"
expect_eq "no signal" "$(curl -s --max-time 20 -w ' %{http_code}' "http://127.0.0.1:$PORT/watch/0.ts")" "error: no signal on 498 MHz
 503"
stop_server

echo PASS
