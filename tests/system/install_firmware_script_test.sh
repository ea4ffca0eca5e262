#!/usr/bin/env bash
# tools/install-firmware.sh hands the given file to pkexec and reports the outcome.
set -u
script="${VANTIRO_SOURCE_DIR:?}/tools/install-firmware.sh"
tmp=$(mktemp -d); trap 'rm -rf "$tmp"' EXIT
mkdir "$tmp/bin"
cat > "$tmp/bin/pkexec" <<'FAKE'
#!/bin/sh
# Stand-in for pkexec: keeps the file it was given ($5: sh -c SCRIPT sh FILE).
printf '%s\n' "$@" > "$FAKE_DIR/args"
cp "$5" "$FAKE_DIR/handed-over"
exit "$FAKE_EXIT"
FAKE
chmod +x "$tmp/bin/pkexec"
export PATH="$tmp/bin:$PATH" FAKE_DIR="$tmp"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

head -c 10829 /dev/urandom > "$tmp/it's a \"firmware\".fw"
FAKE_EXIT=126 "$script" "$tmp/it's a \"firmware\".fw" 2>"$tmp/err"
[[ $? -eq 1 ]] || fail "cancelled authorisation must exit 1"
grep -q "cancelled or failed" "$tmp/err" || fail "cancelled message missing"
cmp -s "$tmp/handed-over" "$tmp/it's a \"firmware\".fw" || fail "a path with quotes reached pkexec changed"
grep -q 'modprobe dvb_usb_dvbsky' "$tmp/args" || fail "the driver is not reloaded"

"$script" "$tmp/missing.fw" 2>"$tmp/err"
[[ $? -eq 1 ]] && grep -q "cannot read" "$tmp/err" || fail "a missing file must be reported"
"$script" 2>/dev/null
[[ $? -eq 2 ]] || fail "no argument must print the usage and exit 2"

echo "$failures failed"
[[ $failures -eq 0 ]]
