# Starting `vantiro serve` and reading the drivers' key=value output, shared by
# the server-side benchmarks (sourced by bench/*.sh after stats.sh). The caller
# sets $vantiro and keeps the array `pids` that its exit trap kills.

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
