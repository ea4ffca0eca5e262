#!/usr/bin/env bash
# The channel list that `vantiro scan` saves survives a power cut: the new file's
# data reach the disk before the rename, and the directory holding the renamed
# entry is synced after it. Read from the real program's system calls (strace).
set -u
bin=${VANTIRO_BIN:?}
src=${VANTIRO_SOURCE_DIR:?}
build=${VANTIRO_BUILD_DIR:?}
[[ -n ${DVBSIM_LIB:-} && -f ${DVBSIM_LIB:-} ]] || { echo "no simulated adapter (DVBSIM_LIB)"; exit 77; }
command -v strace >/dev/null || { echo "strace is not installed"; exit 77; }
tmp=$(mktemp -d); trap 'rm -rf "$tmp"' EXIT
fail() {
    echo "FAIL: $*"
    grep -v '^openat /\(usr\|lib\|etc\|proc\|sys\|dev\)' "$tmp/calls" 2>/dev/null | tail -30
    exit 1
}

band=$("$src/tools/dvbsim/make-band" "$build/dvbsim-band") || fail "cannot make the band"
export XDG_CONFIG_HOME="$tmp/cfg" HOME=/nonexistent
list="$tmp/cfg/vantiro/channels.tsv"
# The leak checker cannot run under a tracer; the rest of the sanitizers can.
ASAN_OPTIONS="detect_leaks=0${ASAN_OPTIONS:+:$ASAN_OPTIONS}" \
    strace -f -qq -o "$tmp/trace" -e trace=openat,fsync,close,rename,renameat,renameat2 \
    "$src/tools/dvbsim/dvbsim-run" --band "$band" "$bin" scan 474 474 >"$tmp/out" 2>"$tmp/err" ||
    { cat "$tmp/err"; fail "the scan failed"; }
[[ -s $list ]] || fail "no channel list saved"

# The calls of the process that renamed the list, in order, as
# "openat PATH = FD", "fsync FD", "close FD", "rename FROM TO".
python3 - "$tmp/trace" "$list" >"$tmp/calls" <<'PY' || fail "no rename of the list"
import re, sys
trace, target = sys.argv[1], sys.argv[2]
lines = [l.rstrip('\n') for l in open(trace)]
pid = None
for l in lines:
    if re.search(r'rename(at2?)?\(.*"%s"' % re.escape(target), l):
        pid = l.split()[0]
if pid is None:
    sys.exit(1)
for l in lines:
    fields = l.split(None, 1)
    if len(fields) < 2 or fields[0] != pid:
        continue
    call = fields[1]
    m = re.match(r'openat\([^"]*"([^"]*)", ([^)]*)\)\s*= (-?\d+)', call)
    if m:
        print('openat', m.group(1), m.group(2).split(',')[0], '=', m.group(3))
        continue
    m = re.match(r'(fsync|close)\((\d+)\)\s*= 0', call)
    if m:
        print(m.group(1), m.group(2))
        continue
    m = re.match(r'rename(?:at2?)?\((?:[^"]*)"([^"]*)",(?:[^"]*)"([^"]*)"', call)
    if m:
        print('rename', m.group(1), m.group(2))
PY

dir=$(dirname "$list")
# The temporary beside the list: written, synced, closed, then renamed over it.
rename_line=$(grep -n "^rename $dir/channels.tsv.* $list\$" "$tmp/calls" | tail -1) || fail "no rename onto the list"
at=${rename_line%%:*}
temporary=$(awk '{print $2}' <<<"${rename_line#*:}")
temp_fd=$(head -n "$at" "$tmp/calls" | grep "^openat $temporary " | tail -1 | awk '{print $NF}')
[[ -n $temp_fd ]] || fail "the temporary $temporary was not opened"
head -n "$at" "$tmp/calls" | sed -n "/^openat $(sed 's/[\/&.]/\\&/g' <<<"$temporary") /,\$p" | grep -qx "fsync $temp_fd" ||
    fail "the temporary was not synced before the rename"

# After the rename: the directory opened, synced, closed.
after=$(tail -n +"$((at + 1))" "$tmp/calls")
dir_fd=$(grep "^openat $dir O_RDONLY" <<<"$after" | head -1 | awk '{print $NF}')
[[ -n $dir_fd && $dir_fd != -* ]] || fail "the directory was not opened after the rename"
sed -n "/^openat $(sed 's/[\/&.]/\\&/g' <<<"$dir") /,\$p" <<<"$after" | grep -qx "fsync $dir_fd" ||
    fail "the directory was not synced after the rename"
echo PASS
