#!/usr/bin/env bash
# `vantiro scan` against the simulated adapter: the console lines byte for byte, the
# saved list that `vantiro list` shows, exit codes 0/1/2, busy and missing adapters,
# and multiplexes with broken or unusual tables (no PAT, a missing PMT, an SDT in two
# sections, Thai and UTF-8 names).
set -u
bin=${VANTIRO_BIN:?}
src=${VANTIRO_SOURCE_DIR:?}
build=${VANTIRO_BUILD_DIR:?}
[[ -n ${DVBSIM_LIB:-} && -f ${DVBSIM_LIB:-} ]] || { echo "no simulated adapter (DVBSIM_LIB)"; exit 77; }
sim=$src/tools/dvbsim
tmp=$(mktemp -d); trap 'rm -rf "$tmp"' EXIT
failures=0
check() { # name expected actual
    if [[ "$2" != "$3" ]]; then
        echo "FAIL: $1"; diff <(printf '%s\n' "$2") <(printf '%s\n' "$3") | head -30
        failures=$((failures + 1))
    fi
}
# Runs vantiro under the simulator with BAND; captures out (stdout + rc line) and err.
scan() { # band args...
    local band=$1; shift
    out=$("$sim/dvbsim-run" --band "$band" "$bin" "$@" 2>"$tmp/err"; echo "rc=$?")
    err=$(cat "$tmp/err")
}

standard=$("$sim/make-band" "$build/dvbsim-band") || { echo "cannot make the band"; exit 1; }
std_dir=$(dirname "$standard")
export XDG_CONFIG_HOME="$tmp/cfg" HOME=/nonexistent
path="$tmp/cfg/vantiro/channels.tsv"

# --- The standard band: both multiplexes, DVB-T2 and the DVB-T fallback. -----------
# 470-530 MHz covers the channels centred at 474, 482, ..., 530.
scan "$standard" scan 470 530
check "standard band: console" "frontend: Silicon Labs Si2168
scanning 474-530 MHz...
scan finished: 2 muxes
474 MHz (DVB-T2):
    Alpha TV                                     sid=1025 vpid=256 apid=257
    Beta TV                                      sid=1026 vpid=258 apid=259
    Radio Gamma                                  sid=1027 vpid=0 apid=260
522 MHz (DVB-T):
    Delta TV                                     sid=2049 vpid=256 apid=257
    Café TV                                     sid=2050 vpid=258 apid=259
saving 5 channels...
5 channels saved to $path
rc=0" "$out"
check "standard band: nothing on stderr when it is no terminal" "" "$err"
tab=$'\t'
check "standard band: file" "vantiro-1
Alpha TV${tab}474000000${tab}16${tab}1025${tab}4096${tab}256${tab}257${tab}256
Beta TV${tab}474000000${tab}16${tab}1026${tab}4097${tab}258${tab}259${tab}258
Radio Gamma${tab}474000000${tab}16${tab}1027${tab}4098${tab}0${tab}260${tab}260
Delta TV${tab}522000000${tab}3${tab}2049${tab}4096${tab}256${tab}257${tab}256
Café TV${tab}522000000${tab}3${tab}2050${tab}4097${tab}258${tab}259${tab}258" "$(cat "$path")"
list=$("$bin" list; echo "rc=$?")
check "list shows the scanned services" "  1  Alpha TV                                    474 MHz  TV
  2  Beta TV                                     474 MHz  TV
  3  Radio Gamma                                 474 MHz  radio
  4  Delta TV                                    522 MHz  TV
  5  Café TV                                    522 MHz  TV
rc=0" "$list"

# --- On a terminal, a live progress line on stderr; stdout stays the same. --------
if command -v script >/dev/null; then
    script -qec "'$sim/dvbsim-run' --band '$standard' '$bin' scan 474 474 > '$tmp/tty.out'" "$tmp/tty.log" >/dev/null
    check "terminal: stdout unchanged" "frontend: Silicon Labs Si2168
scanning 474-474 MHz...
scan finished: 1 muxes
474 MHz (DVB-T2):
    Alpha TV                                     sid=1025 vpid=256 apid=257
    Beta TV                                      sid=1026 vpid=258 apid=259
    Radio Gamma                                  sid=1027 vpid=0 apid=260
saving 3 channels...
3 channels saved to $path" "$(cat "$tmp/tty.out")"
    grep -q "474 MHz  1/1  " "$tmp/tty.log" || { echo "FAIL: no live progress line"; failures=$((failures + 1)); }
    # After the last erase nothing is drawn again (script(1) adds its own trailer).
    log=$(cat "$tmp/tty.log")
    after=${log##*$'\r\e[K'}
    [[ "$log" == *$'\r\e[K'* && "$after" != *MHz* ]] || { echo "FAIL: progress line not erased"; failures=$((failures + 1)); }
fi

# --- Nothing received: the list is still rewritten, header only, exit 2. -----------
scan "$standard" scan 600 600
check "empty scan: console" "frontend: Silicon Labs Si2168
scanning 602-602 MHz...
scan finished: 0 muxes
saving 0 channels...
0 channels saved to $path
rc=2" "$out"
check "empty scan: file" "vantiro-1" "$(cat "$path")"

# --- End below start: nothing tried, same outcome. ---------------------------------
scan "$standard" scan 600 500
check "end below start" "frontend: Silicon Labs Si2168
scanning 600-500 MHz...
scan finished: 0 muxes
saving 0 channels...
0 channels saved to $path
rc=2" "$out"

# --- The list cannot be saved: exit 1 with the reason. -----------------------------
printf 'not a directory' > "$tmp/file"
XDG_CONFIG_HOME="$tmp/file" scan "$standard" scan 600 600
check "save fails: code and stdout" "frontend: Silicon Labs Si2168
scanning 602-602 MHz...
scan finished: 0 muxes
saving 0 channels...
rc=1" "$out"
check "save fails: message" "cannot save channels: cannot write $tmp/file/vantiro/channels.tsv" "$err"

# --- Busy and missing adapters: only adapter 0 is tried. --------------------------
cat > "$tmp/busy.conf" <<BAND
adapter 0 name="Busy stick" open=ebusy
adapter 1 name="Free stick"
mux freq=474000000 delsys=16 ts=$std_dir/mux-474.ts
BAND
scan "$tmp/busy.conf" scan 474 474
check "busy adapter: code" "rc=1" "$out"
check "busy adapter: message" "cannot open tuner: cannot open /dev/dvb/adapter0/frontend0: Device or resource busy" "$err"

cat > "$tmp/missing.conf" <<BAND
adapter 1 name="Second stick"
mux freq=474000000 delsys=16 ts=$std_dir/mux-474.ts
BAND
scan "$tmp/missing.conf" scan 474 474
check "missing adapter: code" "rc=1" "$out"
check "missing adapter: message" "cannot open tuner: cannot open /dev/dvb/adapter0/frontend0: No such file or directory" "$err"

# --- Broken and unusual tables. ----------------------------------------------------
# 490: tables only, made here: a Thai name (0x07), a UTF-8 name (0x15), a service the
#      SDT does not name, PMT stream types beyond the common ones, SDT in two sections.
# 498: the PAT never comes, so the multiplex adds nothing.
# 506: the PMT of 1026 never comes (PIDs 0, still listed); SDT split by the simulator.
cat > "$tmp/thai.json" <<'JSON'
{"tsid": 7, "sdt_sections": 2, "services": [
 {"sid": 3001, "pmt": 4352, "pcr": 512, "streams": [[6, 514], [27, 512], [3, 513], [129, 515]],
  "name_hex": "07a1b2"},
 {"sid": 3002, "pmt": 4353, "pcr": 520, "streams": [[17, 520]], "name_hex": "15e0b881e0b8a3"},
 {"sid": 3003, "pmt": 4354, "pcr": 530, "streams": [[36, 530], [135, 531]]}]}
JSON
python3 "$src/tests/dvb/psi_mux.py" "$tmp/thai.ts" "$tmp/thai.json"
cat > "$tmp/faults.conf" <<BAND
adapter 0 name="Silicon Labs Si2168"
mux freq=490000000 delsys=16 ts=$tmp/thai.ts bitrate=200000 sdt_ms=300
mux freq=498000000 delsys=16 ts=$std_dir/mux-474.ts faults=no-pat
mux freq=506000000 delsys=16 ts=$std_dir/mux-474.ts faults=no-pmt:1026,sdt-split sdt_ms=300
BAND
scan "$tmp/faults.conf" scan 490 506
check "faulty band: console" "frontend: Silicon Labs Si2168
scanning 490-506 MHz...
scan finished: 2 muxes
490 MHz (DVB-T2):
    $(printf '\xe0\xb8\x81\xe0\xb8\x92')                                       sid=3001 vpid=512 apid=513
    $(printf '\xe0\xb8\x81\xe0\xb8\xa3')                                       sid=3002 vpid=0 apid=520
    Service 3003                                 sid=3003 vpid=530 apid=531
506 MHz (DVB-T2):
    Alpha TV                                     sid=1025 vpid=256 apid=257
    Beta TV                                      sid=1026 vpid=0 apid=0
    Radio Gamma                                  sid=1027 vpid=0 apid=260
saving 6 channels...
6 channels saved to $path
rc=0" "$out"
check "faulty band: PCR of the service without PMT stays 0" \
    "Beta TV${tab}506000000${tab}16${tab}1026${tab}4097${tab}0${tab}0${tab}0" "$(grep '^Beta TV' "$path")"

[[ $failures -eq 0 ]] || exit 1
