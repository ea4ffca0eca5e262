#pragma once
#include <string>

namespace bench {

// A TCP connection to 127.0.0.1:port, or -1. `receiveBuffer` > 0 sets the
// socket's receive buffer before connecting (a small one makes a slow viewer).
int connectLoopback(int port, int receiveBuffer = 0);

// Sends all of `text` at once; false if the socket took less.
bool sendAll(int fd, const std::string& text);

// Reads until the first byte after the response header has arrived. False when
// the connection ends or nothing comes for `idleMs` first.
bool awaitFirstBodyByte(int fd, int idleMs);

}  // namespace bench
