# Helpers for the screen UI's window tests; source after window_test_lib.sh.
# Screenshots are the program's own (--screenshot, binary PPM). Set
# UI_KEEP_SHOTS=DIR to keep a PNG of each one for a look by eye.

UI_PROBE="$VANTIRO_SOURCE_DIR/tests/support/screen_probe.py"
UI_SIM_RUN="$VANTIRO_SOURCE_DIR/tools/dvbsim/dvbsim-run"

ui_require_sim() {
    [[ -n "${DVBSIM_LIB:-}" && -f "$DVBSIM_LIB" ]] || wt_skip "no simulated adapter (DVBSIM_LIB)"
}

# The standard simulated band (474 MHz DVB-T2, 522 MHz DVB-T), built once per build directory.
ui_standard_band() {
    "$VANTIRO_SOURCE_DIR/tools/dvbsim/make-band" "$VANTIRO_BUILD_DIR/dvbsim-band"
}

# The channel list of the standard band, as "vantiro scan 474 530" saves it.
ui_write_standard_channels() {
    mkdir -p "$XDG_CONFIG_HOME/vantiro"
    printf 'vantiro-1\n%s\n%s\n%s\n%s\n%s\n' \
        $'Alpha TV\t474000000\t16\t1025\t4096\t256\t257\t256' \
        $'Beta TV\t474000000\t16\t1026\t4097\t258\t259\t258' \
        $'Radio Gamma\t474000000\t16\t1027\t4098\t0\t260\t260' \
        $'Delta TV\t522000000\t3\t2049\t4096\t256\t257\t256' \
        $'Caf\xc3\xa9 TV\t522000000\t3\t2050\t4097\t258\t259\t258' \
        >"$XDG_CONFIG_HOME/vantiro/channels.tsv"
}

# ui_start BAND ARGS...: starts the program in the background (with the simulated
# adapter when BAND is not "none"; on UI_PATH instead of PATH, when that is set);
# sets UI_APP to its pid.
ui_start() {
    local band=$1
    shift
    if [[ "$band" == none ]]; then
        PATH="${UI_PATH:-$PATH}" "$VANTIRO_BIN" "$@" 2>>"$WT_DIR/app.log" &
    else
        "$UI_SIM_RUN" --band "$band" --lib "$DVBSIM_LIB" "$VANTIRO_BIN" "$@" 2>>"$WT_DIR/app.log" &
    fi
    UI_APP=$!
    WT_PIDS+=($UI_APP)
}

# ui_finish NAME: waits for the program (it quits after its screenshot) and checks
# that it exited 0 and left NAME.ppm.
ui_finish() {
    local name=$1 rc
    wait "$UI_APP"
    rc=$?
    [[ $rc -eq 0 ]] || { tail -20 "$WT_DIR/app.log" >&2; wt_fail "$name: exit $rc"; }
    [[ -s "$WT_DIR/$name.ppm" ]] || wt_fail "$name: no screenshot"
    if [[ -n "${UI_KEEP_SHOTS:-}" ]] && command -v convert >/dev/null; then
        mkdir -p "$UI_KEEP_SHOTS"
        convert "$WT_DIR/$name.ppm" "$UI_KEEP_SHOTS/$name.png"
    fi
}

# ui_shot NAME BAND SECONDS ARGS...: one run that takes its screenshot after SECONDS.
ui_shot() {
    local name=$1 band=$2 seconds=$3
    shift 3
    ui_start "$band" --screenshot "$WT_DIR/$name.ppm" --screenshot-after "$seconds" "$@"
    ui_finish "$name"
}

ui_pixel() { python3 "$UI_PROBE" pixel "$WT_DIR/$1.ppm" "$2" "$3"; }
# ui_count NAME X0 Y0 X1 Y1 R G B TOLERANCE
ui_count() { python3 "$UI_PROBE" count "$WT_DIR/$1.ppm" "${@:2}"; }
ui_buttons() { python3 "$UI_PROBE" buttons "$WT_DIR/$1.ppm"; }

# ui_near "R G B" R G B TOLERANCE: every channel within TOLERANCE.
ui_near() {
    local r g b
    read -r r g b <<<"$1"
    (( ${r} - $2 <= $5 && $2 - ${r} <= $5 && ${g} - $3 <= $5 && $3 - ${g} <= $5 && ${b} - $4 <= $5 && $4 - ${b} <= $5 ))
}

# An http URL on 127.0.0.1 where nothing listens (a port that was free a moment ago).
ui_refused_url() {
    local port
    port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
    echo "http://127.0.0.1:$port/$1"
}

# Common start of a window test on the simulated band: an X server, the
# standard band in $band, a private configuration and online playlists that
# refuse, so only tuner channels appear. Works in $WT_DIR.
ui_start_on_standard_band() {
    wt_require python3 xdotool
    [[ -x "${VANTIRO_BIN:-}" ]] || wt_fail "VANTIRO_BIN is not set"
    ui_require_sim
    wt_start_xvfb
    band=$(ui_standard_band) || wt_fail "no simulated band"
    export XDG_CONFIG_HOME="$WT_DIR/config"
    VANTIRO_PLAYLIST_URL=$(ui_refused_url tv.m3u8)
    VANTIRO_RADIO_URL=$(ui_refused_url radio.m3u8)
    export VANTIRO_PLAYLIST_URL VANTIRO_RADIO_URL
    unset VANTIRO_IPTV
    cd "$WT_DIR" || wt_fail "no work directory"
}

# Alpha TV and Beta TV (474 MHz) and Delta TV (522 MHz) of the standard band as
# the channel list, for zaps within and across multiplexes; sets $last to the
# last-channel file.
ui_write_two_multiplex_channels() {
    mkdir -p "$XDG_CONFIG_HOME/vantiro"
    last="$XDG_CONFIG_HOME/vantiro/last-channel"
    printf 'vantiro-1\n%s\n%s\n%s\n' \
        $'Alpha TV\t474000000\t16\t1025\t4096\t256\t257\t256' \
        $'Beta TV\t474000000\t16\t1026\t4097\t258\t259\t258' \
        $'Delta TV\t522000000\t3\t2049\t4096\t256\t257\t256' \
        >"$XDG_CONFIG_HOME/vantiro/channels.tsv"
}

# The audio visualiser over the whole window: its gradient background and the
# first (amber) and last (blue) bars.
ui_visualiser_shown() {
    local p r g b
    p=$(ui_pixel "$1" 2 2); UI_WHY="gradient top: $p"; ui_near "$p" 10 15 26 3 || return 1
    p=$(ui_pixel "$1" 2 717); UI_WHY="gradient bottom: $p"; ui_near "$p" 17 27 45 3 || return 1
    read -r r g b <<<"$(ui_pixel "$1" 250 446)"
    UI_WHY="first bar is not amber: $r $g $b"; ((r > 150 && r > b + 60)) || return 1
    read -r r g b <<<"$(ui_pixel "$1" 1029 446)"
    UI_WHY="last bar is not blue: $r $g $b"; ((b > 150 && b > r + 40))
}

# The progress bar's fill (the UI library's dark style) in the middle of the window.
ui_progress_bar_shown() { (( $(ui_count "$1" 300 250 980 470 230 179 0 12) > 50 )); }

# Waiting for what the window shows. A check judges captures of the window
# (ImageMagick's import) taken until it holds, so a picture or an animation that
# comes late on a loaded machine makes the test slower, never failed. Checks set
# UI_WHY to what they found wrong; UI_AWAIT_SECONDS only bounds a failure.
UI_AWAIT_SECONDS=${UI_AWAIT_SECONDS:-150}
UI_WHY=""

# ui_launch BAND ARGS...: ui_start, then waits for the window and gives it the
# keyboard; sets UI_WINDOW. A start that the X server turned away (the program
# says there is no display) is made again.
ui_launch() {
    wt_require import
    local attempt logged
    for attempt in 1 2 3 4 5; do
        logged=$(stat -c %s "$WT_DIR/app.log" 2>/dev/null || echo 0)
        ui_start "$@"
        wt_wait_for ui_window_or_end
        if ui_running && UI_WINDOW=$(wt_focus_window); then return 0; fi
        wait "$UI_APP" 2>/dev/null
        tail -c +$((logged + 1)) "$WT_DIR/app.log" | grep -qx 'SDL: no display to open the window on' || break
    done
    tail -20 "$WT_DIR/app.log" >&2
    wt_fail "no window$(wt_xvfb_ended)"
}
ui_window_or_end() { wt_find_window || ! ui_running; }

# ui_capture NAME: the window as it is drawn now, in $WT_DIR/NAME.ppm.
ui_capture() { import -window "$UI_WINDOW" -depth 8 "ppm:$WT_DIR/$1.ppm" 2>/dev/null; }

# ui_await NAME CHECK...: captures the window as NAME until CHECK... NAME holds.
# The pointer moves a pixel before each capture, as a viewer's hand would, so
# that the panels stay awake while the test waits; UI_STILL=1 leaves it still,
# for a check that the panels went idle.
ui_await() {
    local name=$1 deadline=$((SECONDS + UI_AWAIT_SECONDS)) turn=0
    shift
    UI_WHY="no capture of the window"
    while true; do
        if [[ -z ${UI_STILL:-} ]]; then
            turn=$((1 - turn))
            xdotool mousemove --window "$UI_WINDOW" 640 $((360 + turn)) 2>/dev/null
        fi
        if ui_capture "$name" && "$@" "$name"; then
            ui_keep "$name"
            return 0
        fi
        ui_running || { UI_WHY+=" (the program has ended)"; return 1; }
        ((SECONDS < deadline)) || return 1
        sleep 0.2
    done
}

# ui_expect NAME CHECK...: ui_await, failing the test with what was wrong last.
ui_expect() { ui_await "$@" || { ui_keep "$1"; wt_fail "$1: $UI_WHY"; }; }

# ui_running: the program has not ended (an ended one not yet waited for is a zombie).
ui_running() {
    local state
    state=$(ps -o stat= -p "$UI_APP" 2>/dev/null) || return 1
    [[ $state != Z* ]]
}

# ui_wait_exit NAME: waits for the program to end by itself and checks it exited 0.
ui_wait_exit() {
    local rc
    wt_wait_for eval '! ui_running' || wt_fail "$1: the program is still running"
    wait "$UI_APP"
    rc=$?
    [[ $rc -eq 0 ]] || { tail -20 "$WT_DIR/app.log" >&2; wt_fail "$1: exit $rc"; }
}

# ui_close NAME: ends the program as a desktop session does (SDL turns SIGTERM
# into a quit) and checks that it exited 0.
ui_close() {
    kill -TERM "$UI_APP" 2>/dev/null
    ui_wait_exit "$1"
}

# ui_keep NAME: a PNG of NAME.ppm in UI_KEEP_SHOTS, when that is set.
ui_keep() {
    if [[ -n "${UI_KEEP_SHOTS:-}" && -s "$WT_DIR/$1.ppm" ]] && command -v convert >/dev/null; then
        mkdir -p "$UI_KEEP_SHOTS"
        convert "$WT_DIR/$1.ppm" "$UI_KEEP_SHOTS/$1.png"
    fi
}

# ui_shot NAME CHECK BAND ARGS...: one run of the program, judged by CHECK on
# captures of its window until it holds, then closed.
ui_shot() {
    local name=$1 check=$2 band=$3
    shift 3
    ui_launch "$band" "$@"
    ui_expect "$name" "$check"
    ui_close "$name"
}

