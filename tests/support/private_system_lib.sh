# Keeps a test's program away from the machine's privileged paths (sourced).
# private_system_setup DIR: the program gets a private root below DIR
# (VANTIRO_SYSTEM_ROOT: an empty sysfs, no /lib/firmware), and pkexec and
# modprobe on PATH are recording stand-ins, so the real ones are never reached.
# Each call is appended to $PRIVILEGED_LOG; the stand-in pkexec runs its command
# only when PRIVILEGED_RUN=yes, and both exit with PRIVILEGED_EXIT (default 126,
# what pkexec returns when the user dismisses the dialog).
private_system_setup() {
    local dir=$1 tool
    mkdir -p "$dir/root" "$dir/privileged-bin"
    export VANTIRO_SYSTEM_ROOT="$dir/root"
    export PRIVILEGED_LOG="$dir/privileged.log"
    for tool in pkexec modprobe; do
        cat >"$dir/privileged-bin/$tool" <<'SH'
#!/bin/sh
{ printf '%s' "${0##*/}"; printf ' %s' "$@"; printf '\n'; } >>"$PRIVILEGED_LOG"
if [ "${0##*/}" = pkexec ] && [ "${PRIVILEGED_RUN:-}" = yes ]; then "$@" || exit; fi
exit "${PRIVILEGED_EXIT:-126}"
SH
        chmod 755 "$dir/privileged-bin/$tool"
    done
    export PATH="$dir/privileged-bin:$PATH"
}

# The calls recorded so far (empty output when none), then forgets them.
private_system_take_calls() {
    [[ -f $PRIVILEGED_LOG ]] && cat "$PRIVILEGED_LOG"
    rm -f "$PRIVILEGED_LOG"
}
