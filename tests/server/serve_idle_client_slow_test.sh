#!/usr/bin/env bash
# A client that sends nothing is closed without an answer once the server's
# 5-second receive limit passes; a half-sent request is treated the same way.
set -uo pipefail
source "$(dirname "$0")/serve_lib.sh"
head -c 1880 /dev/zero > "$work/clip.ts"
start_server -- --demo "$work/clip.ts" || fail "server ended: $(cat "$work/err.txt")"

python3 - "$PORT" <<'PY' || fail "idle clients"
import socket, sys, time
port = int(sys.argv[1])
silent = socket.create_connection(("127.0.0.1", port))
partial = socket.create_connection(("127.0.0.1", port))
partial.sendall(b"GET /status.txt HTTP/1.1\r\nHost: x\r\n")
for s in (silent, partial):
    s.settimeout(15)
start = time.monotonic()
for name, s in (("silent", silent), ("partial", partial)):
    data = s.recv(4096)
    if data:
        sys.exit("%s client got an answer: %r" % (name, data))
waited = time.monotonic() - start
if waited < 4:
    sys.exit("closed after %.1f s, before the receive limit" % waited)
PY
expect_eq "status still answered" "$(get /status.txt)" $'current=0\nname=Demo clip\nchannels=1\nmode=demo'
echo PASS
