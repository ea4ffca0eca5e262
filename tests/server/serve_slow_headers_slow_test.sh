#!/usr/bin/env bash
# Clients that trickle their request head (one byte every 4 s, so that no single
# receive ever waits 5 s) must not hold the connection slots for ever: the head
# has one deadline from accept. With 300 such clients (more than the server's
# 256 connection threads) a plain status request is answered within 6 s of the
# last of them being accepted, while they still trickle.
set -uo pipefail
source "$(dirname "$0")/serve_lib.sh"
head -c 1880 /dev/zero > "$work/clip.ts"
start_server -- --demo "$work/clip.ts" || fail "server ended: $(cat "$work/err.txt")"

python3 - "$PORT" <<'PY' || fail "slow clients locked the server"
import resource, socket, sys, time
port = int(sys.argv[1])
soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
resource.setrlimit(resource.RLIMIT_NOFILE, (max(soft, min(hard, 4096)), hard))
request = b"GET /status.txt HTTP/1.1\r\nHost: x\r\n\r\n"

slow = []
for _ in range(300):
    s = socket.create_connection(("127.0.0.1", port))
    s.sendall(request[:1])
    slow.append(s)
    time.sleep(0.002)  # stay within the listen backlog
accepted = time.monotonic()
sent = 1
next_byte = accepted + 4

def status():
    try:
        with socket.create_connection(("127.0.0.1", port), timeout=10) as c:
            c.sendall(request)
            answer = b""
            while True:
                data = c.recv(4096)
                if not data:
                    return answer
                answer += data
    except OSError:
        return b""

answered = None
give_up = accepted + 30
while time.monotonic() < give_up:
    now = time.monotonic()
    if now >= next_byte and sent < 20:  # the trickle goes on; a head never completes
        for s in slow:
            try:
                s.send(request[sent:sent + 1])
            except OSError:
                pass
        sent += 1
        next_byte += 4
    answer = status()
    if answer.endswith(b"mode=demo\n"):
        answered = time.monotonic() - accepted
        break
    time.sleep(0.05)
if answered is None:
    sys.exit("no status answer within 30 s")
print("status answered %.2f s after the last slow client connected" % answered)
if answered > 6:
    sys.exit("status answered only after %.1f s" % answered)
# Every slow client was dropped without an answer.
for s in slow:
    s.settimeout(10)
    try:
        if s.recv(4096):
            sys.exit("a slow client got an answer")
    except OSError:
        pass
PY
stop_server
echo PASS
