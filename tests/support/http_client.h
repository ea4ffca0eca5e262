#pragma once
#include <string>

namespace vantiro::test {

// A TCP connection to 127.0.0.1:`port`, or -1.
int connectToLoopback(int port);

// Sends `request` on a new connection and returns everything received until the
// server closes it (or `idleMs` of silence).
std::string httpExchange(int port, const std::string& request, int idleMs = 5000);

// "GET <target> HTTP/1.1" with a Host line and the closing blank line.
std::string getRequest(const std::string& target, const std::string& method = "GET");

// The part of a response after its header; empty when there is none.
std::string bodyOf(const std::string& response);

// A text answer as the server sends it: header with the length, then `body`.
std::string textAnswer(const std::string& body);

}  // namespace vantiro::test
