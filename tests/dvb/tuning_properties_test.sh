#!/usr/bin/env bash
# What the real binary sends to the frontend, read from the simulator's tune
# log: every tune of `vantiro scan` and of the server's /play carries an 8 MHz
# bandwidth, the AUTO values the demodulator detects itself, and the delivery
# system of the multiplex it tunes; the demodulator refuses none of them.
set -uo pipefail
source "$(dirname "$0")/../server/serve_lib.sh"
[[ -n ${DVBSIM_LIB:-} ]] || { echo "DVBSIM_LIB not set"; exit 77; }
[[ -x ${VANTIRO_BIN:-} ]] || { echo "VANTIRO_BIN not set"; exit 77; }

run=$VANTIRO_SOURCE_DIR/tools/dvbsim/dvbsim-run
band=$("$VANTIRO_SOURCE_DIR/tools/dvbsim/make-band" "$VANTIRO_BUILD_DIR/dvbsim-band") || fail "no band"

# check_tunes LOG: every line has the fixed parameters and no refusal.
check_tunes() {
  local line n=0
  while IFS= read -r line; do
    n=$((n + 1))
    for want in BANDWIDTH_HZ=8000000 MODULATION=QAM_AUTO CODE_RATE_HP=AUTO CODE_RATE_LP=AUTO \
                GUARD_INTERVAL=AUTO TRANSMISSION_MODE=AUTO; do
      [[ " $line " == *" $want "* ]] || fail "tune without $want: $line"
    done
    [[ $line == *" HIERARCHY=NONE "* || $line == *" HIERARCHY=AUTO "* ]] || fail "hierarchy: $line"
    [[ $line != *refused* ]] || fail "the demodulator refused: $line"
    # The system named in the second field is the one the property set.
    case $(cut -d' ' -f2 <<<"$line") in
      16) [[ $line == *" DELIVERY_SYSTEM=DVBT2 "* ]] || fail "system: $line" ;;
      3) [[ $line == *" DELIVERY_SYSTEM=DVBT "* ]] || fail "system: $line" ;;
      *) fail "unexpected delivery system: $line" ;;
    esac
  done < "$1"
  (( n > 0 )) || fail "no tune logged in $1"
}

echo "--- vantiro scan 474 522"
DVBSIM_TUNE_LOG=$work/scan-tunes.log "$run" --band "$band" "$VANTIRO_BIN" scan 474 522 > "$work/scan.txt" 2>&1 \
  || { cat "$work/scan.txt"; fail "scan failed"; }
cat "$work/scan-tunes.log"
check_tunes "$work/scan-tunes.log"
grep -q "^474000000 16 " "$work/scan-tunes.log" || fail "474 MHz never tuned as DVB-T2"
grep -q "^522000000 3 " "$work/scan-tunes.log" || fail "522 MHz never tuned as DVB-T"
grep -q "^    Alpha TV" "$work/scan.txt" && grep -q "^    Delta TV" "$work/scan.txt" || { cat "$work/scan.txt"; fail "scan found too little"; }

echo "--- /play on each multiplex"
band_channels > "$work/cfg/vantiro/channels.tsv"
export DVBSIM_TUNE_LOG=$work/play-tunes.log
start_server "$run" --band "$band" -- || fail "server ended: $(cat "$work/err.txt")"
expect_eq "play Delta TV" "$(post '/play?index=3')" "ok"
expect_eq "play Beta TV" "$(post '/play?index=1')" "ok"
stop_server
unset DVBSIM_TUNE_LOG
cat "$work/play-tunes.log"
check_tunes "$work/play-tunes.log"
# Start-up on Alpha TV, then Delta TV (522 MHz, DVB-T), then back to 474 MHz.
expect_eq "tunes" "$(cut -d' ' -f1,2 "$work/play-tunes.log" | tr '\n' ',')" "474000000 16,522000000 3,474000000 16,"
echo PASS
