#!/usr/bin/env bash
# The console commands help and list, byte for byte, with their exit codes.
set -u
bin=${VANTIRO_BIN:?}
tmp=$(mktemp -d); trap 'rm -rf "$tmp"' EXIT
failures=0
check() { # name expected actual
    if [[ "$2" != "$3" ]]; then
        echo "FAIL: $1"; diff <(printf '%s' "$2") <(printf '%s' "$3") | head -20
        failures=$((failures + 1))
    fi
}
run() { # captures out, err and code of one run
    out=$("$@" 2>"$tmp/err"; echo "rc=$?"); err=$(cat "$tmp/err")
}

export XDG_CONFIG_HOME="$tmp/cfg" HOME=/nonexistent
path="$tmp/cfg/vantiro/channels.tsv"
usage="Vantiro — native Linux TV for the MyGica T230C (Si2168/Si2141)

usage: vantiro [command]
  (no command)   open the TV window
  scan           scan UHF 470-862 MHz and save the channel list
  serve          run the headless HTTP TV server (--port 8090, --demo clip.ts)
  --native       accepted for compatibility (always the built-in player)
  --install-firmware  install the embedded Si2168 tuner firmware (admin)
  list           print the saved channel list
  help           this text

channel list: $path
rc=0"
for word in help --help -h; do
    run "$bin" "$word" extra
    check "usage for $word" "$usage" "$out"
done

run "$bin" list
check "list without a file: code" "rc=1" "$out"
check "list without a file: message" "no channel list at $path" "$err"

mkdir -p "$tmp/cfg/vantiro"
printf 'vantiro-1\n' > "$path"
run "$bin" list
check "list of an empty file: code" "rc=1" "$out"
check "list of an empty file: empty line" "" "$err"
[[ $(wc -c < "$tmp/err") == 1 ]] || { echo "FAIL: empty list should print one line feed"; failures=$((failures + 1)); }

printf 'vantiro-1\nThai PBS\t474000000\t16\t1\t256\t512\t650\t512\nRadio Eins\t522000000\t3\t2\t257\t0\t660\t660\n' > "$path"
run "$bin" list ignored
expected="  1  Thai PBS                                    474 MHz  TV
  2  Radio Eins                                  522 MHz  radio
rc=0"
check "list of two channels" "$expected" "$out"

# A list that is a directory names the path and the reason.
rm -f "$path"; mkdir "$path"
run "$bin" list
check "list of a directory: code" "rc=1" "$out"
check "list of a directory: message" "cannot read $path: Is a directory" "$err"
rmdir "$path"
printf 'vantiro-1\nThai PBS\t474000000\t16\t1\t256\t512\t650\t512\n' > "$path"

# Output that cannot be written is a failure.
for words in "list" "help"; do
    "$bin" $words > /dev/full 2>"$tmp/err"
    check "$words > /dev/full: code" "1" "$?"
    check "$words > /dev/full: message" "vantiro: cannot write to standard output: No space left on device" "$(cat "$tmp/err")"
done

# HELP in capitals is not a command word: it opens the window, not the usage.
# Without a display the window cannot be shown: the start-up fails at once (it
# never runs unseen on SDL's offscreen driver). It sees a private root and
# stand-ins for pkexec and modprobe; nothing may call them.
source "$(dirname "$0")/../support/private_system_lib.sh"
private_system_setup "$tmp/system"
export VANTIRO_PLAYLIST_URL="http://127.0.0.1:1/tv.m3u8" VANTIRO_RADIO_URL="http://127.0.0.1:1/radio.m3u8"
run timeout 60 env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER "$bin" HELP
check "window without a display: code" "rc=1" "$out"
check "window without a display: message" "SDL: no display to open the window on" "$(tail -1 <<<"$err")"
# A driver the user names is honoured (the dummy driver has no GL, so the window step fails).
run timeout 60 env -u DISPLAY -u WAYLAND_DISPLAY SDL_VIDEODRIVER=dummy "$bin"
check "explicit driver: code" "rc=1" "$out"
[[ "$err" != *"no display"* ]] || { echo "FAIL: SDL_VIDEODRIVER=dummy was not honoured: $err"; failures=$((failures + 1)); }
calls=$(private_system_take_calls)
check "privileged tools called" "" "$calls"

echo "$failures failed"
[[ $failures -eq 0 ]]
