#include <csignal>

#include "shell/command_line.h"

int main(int argc, char** argv) {
    // Writes into pipes and sockets whose reader has gone must fail with EPIPE,
    // not kill the program; libmpv does not ignore the signal either.
    std::signal(SIGPIPE, SIG_IGN);
    return vantiro::runCommandLine(argc, argv);
}
