#!/usr/bin/env bash
# The programme guide on the simulated band, whose multiplexes carry EIT
# present/following and a multi-section schedule with English, Thai (selector
# 0x07) and UTF-8 titles. `vantiro guide` reads it and prints now/next; the
# server, tuned by itself, answers /epg.xml, which tv_validate_file (xmltv-util)
# accepts, and /epg.txt; a restart in demo mode (no tuner) still shows what was
# seen; a corrupt cache costs one warning and nothing else.
set -uo pipefail
source "$(dirname "$0")/../server/serve_lib.sh"
[[ -n ${DVBSIM_LIB:-} ]] || { echo "DVBSIM_LIB not set"; exit 77; }
command -v tv_validate_file >/dev/null || { echo "missing tv_validate_file (xmltv-util)"; exit 77; }

run=$VANTIRO_SOURCE_DIR/tools/dvbsim/dvbsim-run
band=$("$VANTIRO_SOURCE_DIR/tools/dvbsim/make-band" "$VANTIRO_BUILD_DIR/dvbsim-band") || fail "no band"
export XDG_CACHE_HOME=$work/cache TZ=UTC
cache=$XDG_CACHE_HOME/vantiro
band_channels > "$work/cfg/vantiro/channels.tsv"
printf '%s\n' $'Caf\xc3\xa9 TV\t522000000\t3\t2050\t4097\t258\t259\t258' >> "$work/cfg/vantiro/channels.tsv"
thai_news=$'\xe0\xb8\x82\xe0\xb9\x88\xe0\xb8\xb2\xe0\xb8\xa7\xe0\xb9\x80\xe0\xb8\x8a\xe0\xb9\x89\xe0\xb8\xb2'  # ข่าวเช้า

echo "--- vantiro guide: now and next on every channel of both multiplexes"
"$run" --band "$band" "$VANTIRO_BIN" guide > "$work/guide.txt" 2> "$work/guide.err"
status=$?
cat "$work/guide.txt"
expect_eq "guide exit" "$status" 0
grep -q "Sanitizer" "$work/guide.err" && fail "sanitizer report: $(cat "$work/guide.err")"
[[ -s "$work/guide.err" ]] && fail "guide wrote to stderr: $(cat "$work/guide.err")"
section() { awk -v name="$1" '$0 ~ "^"name"  " {on=1; print; next} /^[^ ]/ {on=0} on' "$work/guide.txt"; }
section "Alpha TV" | grep -q "^  now   [0-9:]*-[0-9:]*  Morning News$" || fail "Alpha TV: $(section "Alpha TV")"
section "Alpha TV" | grep -q "^  next  [0-9:]*-[0-9:]*  Weather$" || fail "Alpha TV next"
section "Beta TV" | grep -qF "  $thai_news" || fail "Beta TV's Thai title: $(section "Beta TV")"
section "Radio Gamma" | grep -qF $'Caf\xc3\xa9 Cr\xc3\xa8me' || fail "Radio Gamma's UTF-8 title"
section "Delta TV" | grep -q "Morning News" || fail "Delta TV (522 MHz)"
[[ -s $cache/guide-474000000.tsv && -s $cache/guide-522000000.tsv ]] || fail "no cache: $(ls "$cache")"
# The whole schedule, not only present/following: 16 events per service.
expect_eq "events cached for 474 MHz" "$(grep -c '^102[567]	' "$cache/guide-474000000.tsv")" 48

echo "--- serve: /epg.xml validates and holds the broadcast's titles"
rm -rf "$cache"
start_server "$run" --band "$band" -- || fail "server ended: $(cat "$work/err.txt")"
# The server reads the EIT of the multiplex it tuned (474 MHz) while it runs.
for _ in $(seq 1 150); do
  get /epg.xml > "$work/epg.xml"
  grep -q "474.1026.vantiro" "$work/epg.xml" && grep -q "474.1027.vantiro" "$work/epg.xml" && break
  sleep 0.2
done
grep -q '<channel id="474.1025.vantiro">' "$work/epg.xml" || fail "no Alpha TV channel: $(head -20 "$work/epg.xml")"
grep -qF "<title lang=\"th\">$thai_news</title>" "$work/epg.xml" || fail "no Thai title"
grep -q '<title lang="en">Morning News</title>' "$work/epg.xml" || fail "no English title"
grep -q '<category lang="en">News/Current affairs</category>' "$work/epg.xml" || fail "no genre"
grep -q '<rating system="THA">' "$work/epg.xml" || fail "no rating"
grep -Eq 'start="[0-9]{14} \+0000" stop="[0-9]{14} \+0000" channel="474.1027.vantiro"' "$work/epg.xml" ||
  fail "no programme times for Radio Gamma"
XMLTV_SUPPLEMENT=/usr/share/xmltv tv_validate_file "$work/epg.xml" > "$work/validate.txt" 2>&1 ||
  fail "tv_validate_file: $(cat "$work/validate.txt")"
cat "$work/validate.txt"
get /epg.txt > "$work/epg.txt"
grep -q "^Alpha TV  474 MHz$" "$work/epg.txt" || fail "/epg.txt: $(cat "$work/epg.txt")"
grep -q "^  now   .*Morning News$" "$work/epg.txt" || fail "/epg.txt has no now line"
# The routes that were there answer as before.
expect_eq "help route" "$(get /)" $'Vantiro\n\nGET  /channels.txt   channel list\nPOST /play?index=N   switch channel\nGET  /stream.ts      live MPEG-TS\nGET  /status.txt     current channel'
expect_eq "unknown route" "$(get /epg)" "not found"
stop_server

echo "--- a restart without the tuner shows what the guide command saw"
"$run" --band "$band" "$VANTIRO_BIN" guide "Delta TV" > /dev/null 2>&1 || fail "guide Delta TV"
ffmpeg -nostdin -loglevel error -f lavfi -i color=c=black:s=64x48:r=5 -t 1 -c:v mpeg2video -f mpegts "$work/demo.ts" ||
  fail "no demo clip"
printf 'vantiro-guide-1\n1\tnot a number\n' > "$cache/guide-530000000.tsv"
start_server -- --demo "$work/demo.ts" || fail "demo server ended: $(cat "$work/err.txt")"
get /epg.txt > "$work/epg-demo.txt"
grep -A1 "^Delta TV  522 MHz$" "$work/epg-demo.txt" | grep -q "^  now   .*Morning News$" ||
  fail "the cached guide is gone: $(cat "$work/epg-demo.txt")"
get /epg.xml > /dev/null
expect_eq "one warning for the corrupt cache" \
  "$(grep -c 'ignoring guide cache .*guide-530000000.tsv: corrupt' "$work/err.txt")" 1
stop_server
echo "guide on the simulated band: ok"
