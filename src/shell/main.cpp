#include <curl/curl.h>

#include "shell/command_line.h"

int main(int argc, char** argv) {
    // Playlists are downloaded on the main thread at start-up and later on the
    // scan thread. Initialising libcurl (and its TLS library) once here, before
    // any thread exists, keeps that safe whatever libcurl build is installed:
    // otherwise the first curl_easy_init of either thread would do it lazily.
    curl_global_init(CURL_GLOBAL_DEFAULT);
    return vantiro::runCommandLine(argc, argv);
}
