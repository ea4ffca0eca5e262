#!/usr/bin/env bash
# `vantiro record` on the simulated band, judged by ffprobe: a recording of
# 0.15 minutes is a single-program stream of about 9 s; Ctrl-C in the middle
# leaves a valid stream; a file size limit stops the recording with its reason
# and keeps whole packets; a file that cannot be made is refused; the default
# place follows XDG_VIDEOS_DIR.
set -uo pipefail
[[ -n ${DVBSIM_LIB:-} ]] || { echo "DVBSIM_LIB not set"; exit 77; }
command -v ffprobe >/dev/null || { echo "missing ffprobe"; exit 77; }

fail() { echo "FAIL: $*"; exit 1; }
work=$(mktemp -d)
pid=""
cleanup() { [[ -n $pid ]] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT
mkdir -p "$work/cfg/vantiro"
export XDG_CONFIG_HOME=$work/cfg XDG_CACHE_HOME=$work/cache XDG_VIDEOS_DIR=$work/videos
cd "$work"
run=$VANTIRO_SOURCE_DIR/tools/dvbsim/dvbsim-run
band=$("$VANTIRO_SOURCE_DIR/tools/dvbsim/make-band" "$VANTIRO_BUILD_DIR/dvbsim-band") || fail "no band"
printf 'vantiro-1\n%s\n%s\n' $'Alpha TV\t474000000\t16\t1025\t4096\t256\t257\t256' \
  $'Beta TV\t474000000\t16\t1026\t4097\t258\t259\t258' > "$work/cfg/vantiro/channels.tsv"

programs_of() { ffprobe -v error -show_entries program=program_num -of csv=p=0 "$1" 2>/dev/null | tr -d , | grep -v '^$' | tr '\n' ' '; }
duration_of() { ffprobe -v error -show_entries format=duration -of csv=p=0 "$1" 2>/dev/null; }
size_of() { stat -c %s "$1" 2>/dev/null || echo 0; }
whole_packets() { local s; s=$(size_of "$1"); [[ $s -gt 0 && $((s % 188)) -eq 0 ]]; }
no_sanitizer_report() { ! grep -q Sanitizer "$1" || fail "sanitizer report: $(cat "$1")"; }

echo "--- 0.15 minutes of channel 1 by its number"
"$run" --band "$band" -- "$VANTIRO_BIN" record 1 --minutes 0.15 --out "$work/a.ts" > out.txt 2> err.txt ||
  fail "record failed: $(cat err.txt)"
no_sanitizer_report err.txt
[[ $(programs_of a.ts) == "1025 " ]] || fail "programs: $(programs_of a.ts)"
whole_packets a.ts || fail "not whole packets: $(size_of a.ts)"
d=$(duration_of a.ts)
awk -v d="$d" 'BEGIN { exit !(d >= 7 && d <= 11) }' || fail "duration $d, want about 9 s"
grep -qx "saved $work/a.ts ([0-9.]* MB)" out.txt || fail "no saved line: $(cat out.txt)"
[[ ! -s err.txt ]] || fail "progress or noise on a non-terminal: $(cat err.txt)"

echo "--- SIGINT in the middle, by name, to the default place"
"$run" --band "$band" -- "$VANTIRO_BIN" record "Beta TV" > out.txt 2> err.txt & pid=$!
for _ in $(seq 1 300); do
  f=$(ls "$work/videos/Vantiro/"Beta\ TV\ *.ts 2>/dev/null | head -1)
  [[ -n $f && $(size_of "$f") -gt 300000 ]] && break
  sleep 0.1
done
[[ -n $f && $(size_of "$f") -gt 300000 ]] || fail "the recording did not grow: $(cat err.txt)"
kill -INT "$pid"; wait "$pid"; status=$?; pid=""
[[ $status -eq 0 ]] || fail "status $status after SIGINT: $(cat err.txt)"
no_sanitizer_report err.txt
[[ $(basename "$f") =~ ^Beta\ TV\ [0-9]{4}-[0-9]{2}-[0-9]{2}\ [0-9]{2}\.[0-9]{2}\.ts$ ]] || fail "default name $f"
whole_packets "$f" || fail "not whole packets after SIGINT: $(size_of "$f")"
[[ $(programs_of "$f") == "1026 " ]] || fail "programs after SIGINT: $(programs_of "$f")"

echo "--- a file size limit stops it with the reason and keeps whole packets"
( trap '' XFSZ; ulimit -f 300; exec "$run" --band "$band" -- "$VANTIRO_BIN" record 1 --minutes 5 --out "$work/c.ts" ) \
  > out.txt 2> err.txt
status=$?
[[ $status -eq 1 ]] || fail "status $status with a size limit: $(cat err.txt)"
grep -qx "recording stopped: cannot write $work/c.ts: File too large" err.txt || fail "message: $(cat err.txt)"
whole_packets c.ts || fail "not whole packets at the limit: $(size_of c.ts)"
[[ $(size_of c.ts) -gt 250000 && $(size_of c.ts) -le 307200 ]] || fail "kept $(size_of c.ts) bytes"
[[ $(programs_of c.ts) == "1025 " ]] || fail "programs at the limit: $(programs_of c.ts)"

echo "--- a file that cannot be made, an unknown channel, a bad duration"
: > "$work/plain"
"$run" --band "$band" -- "$VANTIRO_BIN" record 1 --minutes 1 --out "$work/plain/d.ts" > out.txt 2> err.txt &&
  fail "recorded under a plain file"
grep -q "^cannot create $work/plain/d.ts: Not a directory$" err.txt || fail "message: $(cat err.txt)"
"$VANTIRO_BIN" record 9 --minutes 1 > out.txt 2> err.txt && fail "recorded channel 9"
grep -qx "no tuner channel 9 (see vantiro list)" err.txt || fail "message: $(cat err.txt)"
"$VANTIRO_BIN" record 1 --minutes soon > out.txt 2> err.txt; [[ $? -eq 2 ]] || fail "accepted --minutes soon"
grep -qx "record: bad --minutes soon" err.txt || fail "message: $(cat err.txt)"
echo PASS
