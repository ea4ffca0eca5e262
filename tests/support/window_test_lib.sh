# Helpers for end-to-end tests of the window (sourced by tests/*/*_test.sh).
# Every helper process is started here and ended by its own pid in cleanup.

set -uo pipefail

WT_PIDS=()
WT_DIR=$(mktemp -d /tmp/vantiro-e2e-XXXXXX)
# The window keeps the programme guide it reads in the cache directory: the
# test's own, never the user's.
export XDG_CACHE_HOME="$WT_DIR/cache"

# The program never reaches pkexec, modprobe, /lib/firmware or /sys of the
# machine; a call of the stand-ins that the test did not take (and check) fails it.
source "$(dirname "${BASH_SOURCE[0]}")/private_system_lib.sh"
# No sound device is probed: a window test never depends on the machine's audio
# (probing ALSA on a machine without a card leaves threads that race the leak
# checker at exit). A test that wants the probing unsets this.
export VANTIRO_AUDIO_OUTPUT=null
private_system_setup "$WT_DIR/system"

wt_cleanup() {
    [[ -n "${WT_KEEP:-}" ]] && cp -r "$WT_DIR" "$WT_KEEP"
    local pid
    for pid in "${WT_PIDS[@]}"; do kill "$pid" 2>/dev/null; done
    for pid in "${WT_PIDS[@]}"; do wait "$pid" 2>/dev/null; done
    local unexpected
    unexpected=$(private_system_take_calls)
    rm -rf "$WT_DIR"
    if [[ -n $unexpected ]]; then
        echo "FAIL: the program called a privileged tool: $unexpected" >&2
        exit 1
    fi
}
trap wt_cleanup EXIT

# A failure shows the end of the program's standard error too, when the test
# keeps it in $WT_DIR/app.log: what a run on a loaded machine did is otherwise lost.
wt_fail() {
    echo "FAIL: $*" >&2
    if [[ -s ${WT_DIR:-}/app.log ]]; then
        echo "--- the end of the program's standard error:" >&2
        tail -15 "$WT_DIR/app.log" >&2
    fi
    exit 1
}
wt_skip() { echo "SKIP: $*" >&2; exit 77; }

wt_require() {
    local tool
    for tool in "$@"; do command -v "$tool" >/dev/null || wt_skip "$tool is not installed"; done
}

# A private X server; sets DISPLAY.
wt_start_xvfb() {
    wt_require Xvfb
    local fifo="$WT_DIR/displayfd"
    mkfifo "$fifo"
    Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp 3>"$fifo" 2>"$WT_DIR/xvfb.log" &
    WT_XVFB=$!
    WT_PIDS+=($WT_XVFB)
    local number
    read -r -t 120 number <"$fifo" || wt_fail "Xvfb did not start"
    export DISPLAY=":$number"
}

# For a failure message: says so when the X server is no longer there.
wt_xvfb_ended() {
    [[ -n ${WT_XVFB:-} ]] || return 0
    kill -0 "$WT_XVFB" 2>/dev/null || echo " (the X server has ended: $(tail -3 "$WT_DIR/xvfb.log" | tr '\n' ' '))"
}

# Serves directory $1 over HTTP on 127.0.0.1; sets WT_HTTP_PORT.
wt_serve_dir() {
    local log="$WT_DIR/http-$RANDOM.log"
    python3 -u -m http.server 0 --bind 127.0.0.1 --directory "$1" >"$log" 2>&1 &
    WT_PIDS+=($!)
    local i
    for i in $(seq 100); do
        WT_HTTP_PORT=$(grep -o 'port [0-9]*' "$log" | awk '{print $2}')
        [[ -n "$WT_HTTP_PORT" ]] && return 0
        sleep 0.1
    done
    wt_fail "the test HTTP server did not start"
}

# wt_make_clip PATH COLOUR [SECONDS]: a 320x240 MPEG-2/MP2 transport stream of one colour.
wt_make_clip() {
    ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi -i "color=c=$2:s=320x240:r=25" \
        -f lavfi -i sine=f=440 -t "${3:-30}" -c:v mpeg2video -g 12 -b:v 1M -c:a mp2 -f mpegts "$1" ||
        wt_fail "ffmpeg could not make $1"
}

# wt_pixel FILE X Y: "R G B" of one pixel of a binary PPM.
wt_pixel() {
    python3 - "$1" "$2" "$3" <<'PY'
import sys
data = open(sys.argv[1], 'rb').read()
parts = data.split(b'\n', 3)
width, height = map(int, parts[1].split())
pixels = parts[3]
x, y = int(sys.argv[2]), int(sys.argv[3])
i = (y * width + x) * 3
print(pixels[i], pixels[i + 1], pixels[i + 2])
PY
}

# wt_is_colour "R G B" red|green|blue: the pixel is clearly that colour.
wt_is_colour() {
    local r g b
    read -r r g b <<<"$1"
    case "$2" in
        red) ((r > 180 && g < 80 && b < 80)) ;;
        green) ((g > 100 && r < 80 && b < 80)) ;;
        blue) ((b > 180 && r < 80 && g < 80)) ;;
        *) return 1 ;;
    esac
}

# wt_xdotool ARGS...: xdotool, tried again while the X server turns the
# connection away (Xvfb does that to a new client now and then: a few in a
# hundred on this machine); any other outcome is xdotool's own.
wt_xdotool() {
    local deadline=$((SECONDS + ${WT_WAIT_SECONDS:-120})) rc
    while true; do
        xdotool "$@" 2>"$WT_DIR/xdotool.err"
        rc=$?
        grep -q "Can't open display" "$WT_DIR/xdotool.err" || { cat "$WT_DIR/xdotool.err" >&2; return $rc; }
        ((SECONDS < deadline)) || return $rc
        sleep 0.1
    done
}

# wt_run_window LOG COMMAND...: a window program run to its end, its stderr in
# LOG, run again when the X server turned it away; returns its exit status.
wt_run_window() {
    local log=$1 attempt rc
    shift
    for attempt in 1 2 3 4 5; do
        "$@" 2>"$log"
        rc=$?
        grep -qx 'SDL: no display to open the window on' "$log" || break
    done
    return $rc
}

# Waits until the program's window is on screen and has the keyboard; prints its id.
wt_focus_window() {
    wt_wait_for wt_find_window || return 1
    wt_wait_for wt_take_focus "$WT_WINDOW" || return 1
    echo "$WT_WINDOW"
}
# A search fails with an X error when a window it walks vanishes meanwhile: it
# is simply tried again.
wt_find_window() {
    WT_WINDOW=$(xdotool search --onlyvisible --name '^Vantiro$' 2>/dev/null | head -1)
    [[ -n $WT_WINDOW ]]
}
wt_take_focus() {
    xdotool windowfocus "$1" 2>/dev/null
    [[ $(xdotool getwindowfocus 2>/dev/null) == "$1" ]]
}

# wt_wait_for COMMAND...: retries until COMMAND succeeds. WT_WAIT_SECONDS only
# bounds a failure: a loaded machine makes a test slower, never failed.
wt_wait_for() {
    local deadline=$((SECONDS + ${WT_WAIT_SECONDS:-120}))
    while true; do
        "$@" && return 0
        ((SECONDS < deadline)) || return 1
        sleep 0.1
    done
}
