#pragma once
#include <string>

#include <imgui.h>

#include "guide/eit.h"
#include "guide/guide_store.h"

namespace vantiro {

// Elapsed share of an event at `now`, 0..1 (0 for an event without length).
float programmeProgress(const EitEvent& event, UnixSeconds now);

// "Tue 08 Dec  20:00-21:00  (60 min)" in local time.
std::string programmeWhenText(const EitEvent& event);
// "Genre: News/Weather report, Comedy", or "" without a known genre.
std::string programmeGenreText(const EitEvent& event);
// "Rating: 12+ (THA)", or "" without a rating.
std::string programmeRatingText(const EitEvent& event);

struct GuideInfoSize {
    float width = 0;
    float textHeight = 0;  // the scrolled text area
};
// The info panel on a W x H display: up to 720 px wide with 24 px margins, its text
// area a third of the height within 120..360 px.
GuideInfoSize guideInfoPanelSize(float displayWidth, float displayHeight);

// Appends the programme lines to the now-playing panel ("##nowplaying", drawn just
// before): the current event's times and title over a thin progress bar, then the next.
void drawNowPlayingGuide(const NowNext& guide, UnixSeconds now);

// The info panel about `event` with its middle at `centre`. `scrollLines` moves its
// text (arrow keys); the mouse wheel scrolls it too.
void drawGuideInfoPanel(const EitEvent& event, ImVec2 centre, float displayWidth, float displayHeight,
                        int scrollLines);

}  // namespace vantiro
