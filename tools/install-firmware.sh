#!/bin/sh
# Installs the Si2168-D60 demodulator firmware for the MyGica T230C from a file
# and reloads the stick's driver, the same steps `vantiro --install-firmware`
# takes with the image it carries.
#   usage: tools/install-firmware.sh PATH/TO/dvb-demod-si2168-d60-01.fw
set -u
target=/lib/firmware/dvb-demod-si2168-d60-01.fw
image=${1:-}

if [ -z "$image" ]; then
    echo "usage: $0 PATH/TO/dvb-demod-si2168-d60-01.fw" >&2
    exit 2
fi
if [ ! -f "$image" ] || [ ! -r "$image" ]; then
    echo "firmware install failed: cannot read $image" >&2
    exit 1
fi
size=$(wc -c < "$image")
if [ "$size" -ne 10829 ]; then
    echo "warning: $image is $size bytes; the Si2168-D60 image is 10829 bytes" >&2
fi

# The path travels as an argument of the root shell, never inside its script.
script='install -Dm644 "$1" '"$target"'; modprobe -r dvb_usb_dvbsky 2>/dev/null; sleep 1; modprobe dvb_usb_dvbsky'
if pkexec sh -c "$script" sh "$image" && [ -r "$target" ]; then
    echo "firmware installed: $target"
    exit 0
fi
echo "firmware install failed: firmware installation was cancelled or failed" >&2
exit 1
