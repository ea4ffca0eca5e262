#!/usr/bin/env bash
# The local playlist search around the executable, with a copy of a small
# program placed in an installed-style tree:  T/prefix/bin/local_playlist_probe.
# Each step adds a file at a place that comes earlier in the search order.
set -euo pipefail
tool="${VANTIRO_BUILD_DIR:?}/tools/local_playlist_probe/local_playlist_probe"
[[ -x "$tool" ]] || { echo "no $tool"; exit 77; }
t=$(mktemp -d); trap 'rm -rf "$t"' EXIT
mkdir -p "$t/prefix/bin" "$t/prefix/share/vantiro" "$t/work"
cp "$tool" "$t/prefix/bin/"
bin="$t/prefix/bin"
unset VANTIRO_IPTV

fail=0
expect() {  # expect PATH: the search must find PATH
    local got
    got=$(cd "$t/work" && "$bin/local_playlist_probe" --no-probe | sed -n 's/^path=//p')
    if [[ "$got" == "$1" ]]; then echo "ok   $1"; else echo "FAIL expected '$1', got '$got'"; fail=1; fi
}
playlist() { printf '#EXTM3U\n#EXTINF:-1,%s\nhttp://127.0.0.1:9/x\n' "$1" > "$2"; }

expect ""
mkdir "$t/work/vorudiv.m3u8"   # a directory of that name holds no playlist
expect ""
rmdir "$t/work/vorudiv.m3u8"
playlist share "$t/prefix/share/vantiro/vorudiv.m3u8";  expect "$bin/../share/vantiro/vorudiv.m3u8"
playlist top "$t/vorudiv.m3u8";                          expect "$bin/../../vorudiv.m3u8"
playlist prefix "$t/prefix/vorudiv.m3u8";                expect "$bin/../vorudiv.m3u8"
playlist bin "$bin/vorudiv.m3u8";                        expect "$bin/vorudiv.m3u8"
playlist cwd "$t/work/vorudiv.m3u8";                     expect "vorudiv.m3u8"
# Every place of the first built-in name comes before any of the second.
playlist share "$t/prefix/share/vantiro/online-channels.m3u8"
expect "$bin/../share/vantiro/online-channels.m3u8"
export VANTIRO_IPTV="$t/missing.m3u";                   expect "$bin/../share/vantiro/online-channels.m3u8"
export VANTIRO_IPTV="";                                  expect "$bin/../share/vantiro/online-channels.m3u8"
playlist mine "$t/mine.m3u"
export VANTIRO_IPTV="../mine.m3u";                       expect "../mine.m3u"

counts=$(cd "$t/work" && "$bin/local_playlist_probe" --no-probe | sed -n 's/^channels=//p')
[[ "$counts" == 1 ]] || { echo "FAIL channels=$counts"; fail=1; }
exit $fail
