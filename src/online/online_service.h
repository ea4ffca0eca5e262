#pragma once
#include <string_view>

// The online service (Lunaricast) that serves the default playlists and the web
// page. Its host is fixed at build time (CMake cache variable VANTIRO_ONLINE_HOST);
// every URL of the service is built here and nowhere else.

#ifndef VANTIRO_ONLINE_HOST
#error "VANTIRO_ONLINE_HOST must be defined by the build"
#endif

namespace vantiro {

inline constexpr std::string_view kOnlineServiceHost = VANTIRO_ONLINE_HOST;
inline constexpr std::string_view kDefaultTvPlaylistUrl = "https://" VANTIRO_ONLINE_HOST "/play/freeTV.m3u8";
inline constexpr std::string_view kDefaultRadioPlaylistUrl =
    "https://" VANTIRO_ONLINE_HOST "/play/freeRadio.m3u8";
// The page the Web button opens in the browser.
inline constexpr std::string_view kOnlineWebPageUrl = "https://" VANTIRO_ONLINE_HOST "/play/";

}  // namespace vantiro
