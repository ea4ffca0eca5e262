#include "online/http_fetch.h"

#include <curl/curl.h>

#include <memory>

namespace vantiro {
namespace {

constexpr long kConnectTimeoutSeconds = 4;
constexpr long kTransferTimeoutSeconds = 8;
constexpr const char* kUserAgent = "Vantiro/1.0";
constexpr long kHttpOk = 200;

struct EasyHandleCleanup {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
using EasyHandle = std::unique_ptr<CURL, EasyHandleCleanup>;

// Takes every byte offered: the body has no size limit other than memory.
size_t appendToBody(char* data, size_t size, size_t count, void* userData) {
    size_t bytes = size * count;
    static_cast<std::string*>(userData)->append(data, bytes);
    return bytes;
}

void setError(std::string* error, std::string text) {
    if (error) *error = std::move(text);
}

}  // namespace

bool fetchUrl(const std::string& url, std::string& body, std::string* error) {
    body.clear();
    EasyHandle handle(curl_easy_init());
    if (!handle) {
        setError(error, "curl init failed");
        return false;
    }
    CURL* curl = handle.get();
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, kTransferTimeoutSeconds);
    curl_easy_setopt(curl, CURLOPT_USERAGENT, kUserAgent);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &appendToBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);

    CURLcode result = curl_easy_perform(curl);
    long responseCode = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &responseCode);
    handle.reset();

    if (result != CURLE_OK) {
        setError(error, curl_easy_strerror(result));
        return false;
    }
    if (responseCode == kHttpOk) {
        setError(error, "");
        return true;
    }
    setError(error, "HTTP " + std::to_string(responseCode));
    return false;
}

}  // namespace vantiro
