# Shared by the serve-mode end-to-end tests (sourced, not run).
# Each test gets a scratch directory with its own configuration home and runs
# `vantiro serve --port 0`; the server prints the port it got.

fail() { echo "FAIL: $*"; exit 1; }

for tool in curl python3; do
  command -v "$tool" >/dev/null || { echo "missing $tool"; exit 77; }
done

work=$(mktemp -d)
mkdir -p "$work/cfg/vantiro"
export XDG_CONFIG_HOME=$work/cfg
export XDG_CACHE_HOME=$work/cache  # the server's guide cache stays in the test's directory
export XDG_CACHE_HOME=$work/cache   # the guide cache stays in the scratch directory
export VANTIRO_IPTV=$work/no-playlist.m3u8
cd "$work"   # no local playlist in the working directory either
server_pid=""
host_pid=""
cleanup() {
  [[ -n $server_pid ]] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null
  [[ -n $host_pid ]] && kill "$host_pid" 2>/dev/null && wait "$host_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# serve_on_standard_band TOOL...: skips the test without the simulated adapter
# or one of the tools; sets run (the simulator's runner), band and band_dir.
serve_on_standard_band() {
  [[ -n ${DVBSIM_LIB:-} ]] || { echo "DVBSIM_LIB not set"; exit 77; }
  local tool
  for tool in "$@"; do command -v "$tool" >/dev/null || { echo "missing $tool"; exit 77; }; done
  run=$VANTIRO_SOURCE_DIR/tools/dvbsim/dvbsim-run
  band=$("$VANTIRO_SOURCE_DIR/tools/dvbsim/make-band" "$VANTIRO_BUILD_DIR/dvbsim-band") || fail "no band"
  band_dir=$(dirname "$band")
}

bytes() { stat -c %s "$1" 2>/dev/null || echo 0; }
grown() { [[ $(bytes "$1") -gt $2 ]]; }  # grown FILE SIZE: the file holds more than SIZE bytes

# wait_for WHAT COMMAND...: retries COMMAND until it succeeds; after 3 minutes
# (a bound on a failure only) fails with WHAT and, when the test defines it,
# what wait_context prints.
wait_for() {
  local what=$1 deadline=$((SECONDS + 180))
  shift
  until "$@"; do
    ((SECONDS < deadline)) || fail "$what$(declare -F wait_context >/dev/null && wait_context)"
    sleep 0.1
  done
}

channel_list() { printf 'vantiro-1\n'; printf '%s\n' "$@"; }

# The standard simulated band's services as a scan saves them.
band_channels() {
  channel_list $'Alpha TV\t474000000\t16\t1025\t4096\t256\t257\t256' \
               $'Beta TV\t474000000\t16\t1026\t4097\t258\t259\t258' \
               $'Radio Gamma\t474000000\t16\t1027\t4098\t0\t260\t260' \
               $'Delta TV\t522000000\t3\t2049\t4096\t256\t257\t256'
}

# start_server [runner...] -- [serve options...]: starts the server in the
# background and waits until it listens (PORT set) or exits (returns 1).
start_server() {
  local runner=()
  while [[ $# -gt 0 && $1 != -- ]]; do runner+=("$1"); shift; done
  [[ ${1:-} == -- ]] && shift
  : > "$work/out.txt"; : > "$work/err.txt"
  "${runner[@]}" "$VANTIRO_BIN" serve --port 0 "$@" > "$work/out.txt" 2> "$work/err.txt" &
  server_pid=$!
  for _ in $(seq 1 300); do
    PORT=$(grep -o 'http://0.0.0.0:[0-9]*' "$work/out.txt" | head -1 | cut -d: -f3)
    [[ -n $PORT ]] && return 0
    kill -0 "$server_pid" 2>/dev/null || { wait "$server_pid"; status=$?; server_pid=""; return 1; }
    sleep 0.1
  done
  fail "server did not start: $(cat "$work/err.txt")"
}

stop_server() {
  [[ -n $server_pid ]] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null
  server_pid=""
  if grep -q "Sanitizer" "$work/err.txt"; then fail "sanitizer report: $(cat "$work/err.txt")"; fi
}

# run_to_exit [runner...] -- [serve options...]: runs the server expecting it to
# end by itself; sets status.
run_to_exit() {
  local runner=()
  while [[ $# -gt 0 && $1 != -- ]]; do runner+=("$1"); shift; done
  [[ ${1:-} == -- ]] && shift
  status=0
  timeout 30 "${runner[@]}" "$VANTIRO_BIN" serve --port 0 "$@" > "$work/out.txt" 2> "$work/err.txt" || status=$?
}

# The time limit only bounds a failure: a /play that tunes can take seconds on a
# loaded machine under a sanitizer.
get() { curl -s --max-time 60 "http://127.0.0.1:$PORT$1"; }
post() { curl -s --max-time 60 -X POST "http://127.0.0.1:$PORT$1"; }

expect_eq() {  # expect_eq WHAT ACTUAL EXPECTED
  [[ "$2" == "$3" ]] || fail "$1: got $(printf '%q' "$2"), want $(printf '%q' "$3")"
}

expect_file() {  # expect_file WHAT FILE EXPECTED-CONTENT
  expect_eq "$1" "$(cat "$2"; echo x)" "$3x"
}

# A TCP listener on 127.0.0.1 that holds connections: a reachable stream host.
start_stream_host() {
  python3 -c '
import socket, sys, time
s = socket.socket(); s.bind(("127.0.0.1", 0)); s.listen(16)
print(s.getsockname()[1], flush=True)
held = []
while True:
    c, _ = s.accept(); held.append(c)
' > "$work/host-port.txt" &
  host_pid=$!
  for _ in $(seq 1 50); do
    HOST_PORT=$(cat "$work/host-port.txt")
    [[ -n $HOST_PORT ]] && return 0
    sleep 0.1
  done
  fail "stream host did not start"
}
