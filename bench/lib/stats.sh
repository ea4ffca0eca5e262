# Statistics shared by every benchmark row (sourced by bench/*.sh).
#
# A row is printed only through `bench_row`, which takes the values of every
# run on both sides, prints medians with their spread (min-max) and the ratio of
# the medians, refuses rows with fewer than $BENCH_MIN_RUNS runs, and fails a
# row whose ratio is beyond what is physically possible. See bench/README.md.

BENCH_MIN_RUNS=5
BENCH_RUNS=${BENCH_RUNS:-5}
(( BENCH_RUNS >= BENCH_MIN_RUNS )) || BENCH_RUNS=$BENCH_MIN_RUNS

# bench_summary VALUE...: prints "median min max count" of the numeric values
# (blank ones are skipped); "- - - 0" when there are none.
bench_summary() {
    printf '%s\n' "$@" | awk 'NF && $1 + 0 == $1 { print $1 }' | sort -g | awk '
        { v[NR] = $1 }
        END {
            if (NR == 0) { print "- - - 0"; exit }
            m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
            printf "%.9g %.9g %.9g %d\n", m, v[1], v[NR], NR
        }'
}

# bench_median VALUE...: the median alone (empty when there are no values).
bench_median() {
    local m
    read -r m _ <<<"$(bench_summary "$@")"
    [[ $m == - ]] || echo "$m"
}

# bench_fail NAME REASON: the row is not printed; scripts/bench fails the run.
bench_fail() {
    echo "FAIL|$1|$2"
    echo "bench: FAILED: $1: $2" >&2
}

# bench_row name=... ours="v1 v2 ..." peer="v1 v2 ..." [options], options:
#   peer_label=TEXT   what the peer is (shown after its figure)
#   unit=TEXT         appended to both figures ("s", "ms", ...)
#   format=FMT        printf format of the figures (default %.3f)
#   better=lower      lower is better (times, CPU): ratio = peer / ours
#   better=higher     higher is better (rates): ratio = ours / peer
#   fixed_peer=1      the peer is one fixed value (a floor, a budget), not runs
#   limit=R           the highest ratio physics allows (a floor or ceiling on
#                     our side); a ratio above it fails the row
#   limit_reason=TEXT why that limit holds, for the failure message
#   note=TEXT         how the figures were taken
# Every printed ratio reads the same way: above 1 is better for Vantiro.
bench_row() {
    local name="" ours="" peer="" peer_label="" unit="" format="%.3f" better=lower fixed_peer=0
    local limit="" limit_reason="" note=""
    local "$@"
    local om olo ohi on pm plo phi pn
    # shellcheck disable=SC2086
    read -r om olo ohi on <<<"$(bench_summary $ours)"
    # shellcheck disable=SC2086
    read -r pm plo phi pn <<<"$(bench_summary $peer)"
    if (( on < BENCH_MIN_RUNS )); then
        bench_fail "$name" "only $on of $BENCH_MIN_RUNS runs of ours gave a figure"
        return 1
    fi
    if (( fixed_peer == 0 && pn < BENCH_MIN_RUNS )); then
        bench_fail "$name" "only $pn of $BENCH_MIN_RUNS runs of the peer gave a figure"
        return 1
    fi
    if (( fixed_peer == 1 && pn < 1 )); then
        bench_fail "$name" "no baseline figure"
        return 1
    fi
    awk -v name="$name" -v om="$om" -v olo="$olo" -v ohi="$ohi" -v on="$on" \
        -v pm="$pm" -v plo="$plo" -v phi="$phi" -v pn="$pn" -v fixed="$fixed_peer" \
        -v label="$peer_label" -v unit="$unit" -v fmt="$format" -v better="$better" \
        -v limit="$limit" -v why="$limit_reason" -v note="$note" '
    function fig(m, lo, hi, n) {
        s = sprintf(fmt, m) (unit == "" ? "" : " " unit)
        if (n > 1) s = s " (" sprintf(fmt, lo) "-" sprintf(fmt, hi) ")"
        return s
    }
    BEGIN {
        if (om <= 0 || pm <= 0) {
            printf "FAIL|%s|a median is not positive (ours %s, peer %s)\n", name, om, pm
            printf "bench: FAILED: %s: a median is not positive (ours %s, peer %s)\n", name, om, pm > "/dev/stderr"
            exit 1
        }
        ratio = (better == "higher") ? om / pm : pm / om
        if (limit != "" && ratio > limit + 0) {
            msg = sprintf("ratio %.3f beats the physical limit %s (%s); the measurement is wrong, not the program", ratio, limit, why)
            printf "FAIL|%s|%s\n", name, msg
            printf "bench: FAILED: %s: %s\n", name, msg > "/dev/stderr"
            exit 1
        }
        how = fixed ? "" : sprintf("; medians of %d and %d runs (min-max)", on, pn)
        if (fixed) how = sprintf("; median of %d runs (min-max)", on)
        printf "RESULT|%s|%s|%s%s|%.3g|%s%s\n", name, fig(om, olo, ohi, on),
            fig(pm, plo, phi, fixed ? 1 : pn), (label == "" ? "" : " " label), ratio, note, how
    }'
}

# bench_now: wall-clock seconds with nanoseconds (the clock of the simulator's tune log).
bench_now() { date +%s.%N; }

# bench_tune_to_end LIB BAND OUT COMMAND...: runs COMMAND on the simulated adapter
# (library LIB, band file BAND, output to OUT) and prints the seconds from its first
# DTV_TUNE, as the simulator's tune log stamps it, to its end; "-" when it never tuned.
bench_tune_to_end() {
    local lib=$1 band=$2 out=$3; shift 3
    local log; log=$(mktemp)
    DVBSIM_TUNE_LOG=$log tools/dvbsim/dvbsim-run --band "$band" --lib "$lib" "$@" > "$out" 2>&1
    local end; end=$(bench_now)
    awk -v end="$end" 'NR == 1 && match($0, / AT=[0-9.]+/) { printf "%.3f", end - substr($0, RSTART + 4, RLENGTH - 4); found = 1 }
        END { if (!found) print "-" }' "$log"
    rm -f "$log"
}

# bench_cpu_seconds PID: CPU seconds of a running process so far, summed over its
# live threads from the scheduler's nanosecond counters (/proc/PID/task/*/schedstat;
# the clock ticks of /proc/PID/stat are too coarse for a few seconds of a light load).
bench_cpu_seconds() {
    [[ -d /proc/$1/task ]] || return 1
    cat /proc/"$1"/task/*/schedstat 2>/dev/null | awk '{ ns += $1 } END { if (NR == 0) exit 1; printf "%.6f", ns / 1e9 }'
}

# bench_cpu_per_second PID SECONDS: CPU seconds per second of PID over the next
# SECONDS (a steady window, start-up left out); nothing when PID ended meanwhile.
bench_cpu_per_second() {
    local before after
    before=$(bench_cpu_seconds "$1" 2>/dev/null) || return
    sleep "$2"
    after=$(bench_cpu_seconds "$1" 2>/dev/null) || return
    awk -v a="$before" -v b="$after" -v s="$2" 'BEGIN { printf "%.4f", (b - a) / s }'
}

# bench_tune_times LOG: the wall-clock time of every tune in a simulator tune log, one a line.
bench_tune_times() {
    awk 'match($0, / AT=[0-9.]+/) { print substr($0, RSTART + 4, RLENGTH - 4) }' "$1"
}
