#include "ui/guide_panels.h"

#include <algorithm>
#include <ctime>

#include <imgui_internal.h>

#include "guide/genre.h"
#include "guide/now_next_text.h"
#include "ui/overlay_fonts.h"
#include "ui/overlay_windows.h"

namespace vantiro {
namespace {

constexpr float kProgressBarHeight = 4.0f;
constexpr float kMinProgressBarWidth = 260.0f;
constexpr float kTitleWrapWidth = 560.0f;
constexpr float kInfoMaxWidth = 720.0f;
constexpr float kInfoMargin = 24.0f;
constexpr float kInfoMinText = 120.0f;
constexpr float kInfoMaxText = 360.0f;
constexpr float kInfoTitleSize = 30.0f;

void dimText(const std::string& text) { ImGui::TextDisabled("%s", text.c_str()); }

// A title that wraps instead of widening the panel without end.
void wrappedTitle(const std::string& title) {
    ImGui::PushTextWrapPos(ImGui::GetCursorPosX() + kTitleWrapWidth);
    ImGui::TextUnformatted(title.c_str());
    ImGui::PopTextWrapPos();
}

}  // namespace

float programmeProgress(const EitEvent& event, UnixSeconds now) {
    if (!event.timed() || *event.duration <= 0) return 0.0f;
    const double elapsed = static_cast<double>(now - *event.start) / static_cast<double>(*event.duration);
    return static_cast<float>(std::clamp(elapsed, 0.0, 1.0));
}

std::string programmeWhenText(const EitEvent& event) {
    std::time_t start = static_cast<std::time_t>(event.start.value_or(0));
    std::tm parts{};
    char day[32] = "";
    if (::localtime_r(&start, &parts)) std::strftime(day, sizeof day, "%a %d %b", &parts);
    return std::string(day) + "  " + eventTimeRange(event) + "  (" + std::to_string(event.duration.value_or(0) / 60) +
           " min)";
}

std::string programmeGenreText(const EitEvent& event) {
    std::string names;
    for (std::uint8_t nibbles : event.contentNibbles) {
        std::string name = genreName(nibbles);
        if (name.empty() || names.find(name) != std::string::npos) continue;
        names += (names.empty() ? "" : ", ") + name;
    }
    return names.empty() ? names : "Genre: " + names;
}

std::string programmeRatingText(const EitEvent& event) {
    if (!event.rating) return {};
    std::string text = "Rating: " + std::to_string(event.rating->minimumAge) + "+";
    if (!event.rating->country.empty()) text += " (" + event.rating->country + ")";
    return text;
}

GuideInfoSize guideInfoPanelSize(float w, float h) {
    GuideInfoSize size;
    size.width = std::max(std::min(kInfoMaxWidth, w - 2 * kInfoMargin), 200.0f);
    size.textHeight = std::clamp(h / 3.0f, kInfoMinText, kInfoMaxText);
    return size;
}

void drawNowPlayingGuide(const NowNext& guide, UnixSeconds now) {
    // Appending to the panel drawn just before keeps its own lines untouched.
    if (ImGui::Begin("##nowplaying", nullptr, kFixedPanelFlags)) {
        ImGui::Spacing();
        if (guide.now) {
            dimText(eventTimeRange(*guide.now));
            ImGui::SameLine();
            wrappedTitle(guide.now->title);
            const float width = std::max(ImGui::GetContentRegionAvail().x, kMinProgressBarWidth);
            ImGui::ProgressBar(programmeProgress(*guide.now, now), ImVec2(width, kProgressBarHeight), "");
        }
        if (guide.next) {
            dimText("Next  " + eventTimeRange(*guide.next));
            ImGui::SameLine();
            ImGui::PushStyleColor(ImGuiCol_Text, ImGui::GetStyleColorVec4(ImGuiCol_TextDisabled));
            wrappedTitle(guide.next->title);
            ImGui::PopStyleColor();
        }
    }
    ImGui::End();
}

void drawGuideInfoPanel(const EitEvent& event, ImVec2 centre, float w, float h, int scrollLines) {
    const GuideInfoSize size = guideInfoPanelSize(w, h);
    ImGui::SetNextWindowPos(centre, ImGuiCond_Always, ImVec2(0.5f, 0.5f));
    ImGui::SetNextWindowSizeConstraints(ImVec2(size.width, 0), ImVec2(size.width, h - 2 * kInfoMargin));
    ImGui::SetNextWindowBgAlpha(0.94f);
    if (ImGui::Begin("##guideinfo", nullptr, kFixedPanelFlags)) {
        ImGui::BringWindowToDisplayFront(ImGui::GetCurrentWindow());
        ImGui::PushTextWrapPos(0.0f);
        {
            ScopedFont font(kInfoTitleSize);
            ImGui::TextUnformatted(event.title.c_str());
        }
        dimText(programmeWhenText(event));
        if (std::string genre = programmeGenreText(event); !genre.empty()) dimText(genre);
        if (std::string rating = programmeRatingText(event); !rating.empty()) dimText(rating);
        ImGui::PopTextWrapPos();
        ImGui::Separator();
        std::string text = event.shortText;
        if (!event.extendedText.empty()) text += (text.empty() ? "" : "\n\n") + event.extendedText;
        if (ImGui::BeginChild("##guideinfotext", ImVec2(0, size.textHeight), false)) {
            if (scrollLines != 0)
                ImGui::SetScrollY(ImGui::GetScrollY() + static_cast<float>(scrollLines) * ImGui::GetTextLineHeightWithSpacing());
            ImGui::PushTextWrapPos(0.0f);
            ImGui::TextUnformatted(text.empty() ? "No description." : text.c_str());
            ImGui::PopTextWrapPos();
        }
        ImGui::EndChild();
        dimText("I or Esc - close");
    }
    ImGui::End();
}

}  // namespace vantiro
