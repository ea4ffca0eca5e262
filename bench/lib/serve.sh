# Starting `vantiro serve` and reading the drivers' key=value output, shared by
# the server-side benchmarks (sourced by bench/*.sh after stats.sh).

# bench_serve_setup WHO BUILD TOOL [COMMAND...]: the common start of a server
# benchmark. Checks that BUILD has TOOL (a path below it), the simulator and
# vantiro, and that each COMMAND is installed, else WHO says what is missing and
# the script ends; makes the standard band. Sets build, tool, lib, vantiro, band,
# run (the simulator's runner) and work (a scratch directory with a
# configuration home, removed at exit after the processes in `pids` are killed).
bench_serve_setup() {
    local who=$1 need
    build=$(realpath "$2")
    tool=$build/$3
    shift 3
    lib=$build/tools/dvbsim/libdvbsim.so
    vantiro=$build/vantiro
    for need in "$tool" "$lib" "$vantiro"; do [[ -e $need ]] || { echo "$who: $need not built" >&2; exit 1; }; done
    for need in "$@"; do command -v "$need" >/dev/null || { echo "$who: $need missing" >&2; exit 1; }; done
    band=$(tools/dvbsim/make-band "$build/dvbsim-band") || exit 1
    run=(tools/dvbsim/dvbsim-run --lib "$lib" --band "$band")
    work=$(mktemp -d)
    pids=()
    trap bench_serve_cleanup EXIT
    mkdir -p "$work/cfg/vantiro"
}

bench_serve_cleanup() {
    local p
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
    wait 2>/dev/null
    rm -rf "$work"
}

# bench_value KEY TEXT: the value of KEY=... in TEXT, commas turned into spaces.
bench_value() { sed -n "s/.*$1=\([0-9.,]*\).*/\1/p" <<<"$2" | tr ',' ' '; }

# bench_serve OUT [runner...] -- [serve options]: starts `vantiro serve --port 0`
# behind the runner (env assignments, dvbsim-run...), output to OUT; waits until
# it listens and sets port and server_pid.
bench_serve() {
    local out=$1; shift
    local runner=()
    while [[ $1 != -- ]]; do runner+=("$1"); shift; done; shift
    "${runner[@]}" "$vantiro" serve --port 0 "$@" > "$out" 2>&1 &
    server_pid=$!
    pids+=($server_pid)
    for _ in $(seq 1 100); do
        port=$(grep -o 'http://0.0.0.0:[0-9]*' "$out" | head -1 | cut -d: -f3)
        [[ -n $port ]] && return 0
        sleep 0.1
    done
    echo "bench: vantiro serve did not start: $(cat "$out")" >&2
    return 1
}
