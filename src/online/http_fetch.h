#pragma once
#include <string>

namespace vantiro {

// Downloads a whole HTTP(S) resource into `body` (emptied first). Blocks for at
// most about 8 s (4 s to connect). Success only for a completed transfer with
// status 200; otherwise `error` gets libcurl's message or "HTTP <code>" and
// `body` holds whatever arrived (not to be used). Stateless: safe to call from
// several threads at once.
bool fetchUrl(const std::string& url, std::string& body, std::string* error = nullptr);

}  // namespace vantiro
