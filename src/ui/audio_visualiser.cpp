#include "ui/audio_visualiser.h"

#include <cmath>
#include <initializer_list>
#include <numbers>

#include "ui/draw_shapes.h"
#include "shell/ui_fonts.h"
#include "ui/overlay_fonts.h"

namespace vantiro {
namespace {

constexpr int kLastBar = kVisualiserBarCount - 1;

struct Rgb {
    int r, g, b;
};
constexpr Rgb kAmber{242, 198, 109};
constexpr Rgb kBlue{124, 184, 232};
constexpr ImU32 kRadioBody = IM_COL32(16, 24, 40, 255);
constexpr ImU32 kSpeakerCentre = IM_COL32(15, 22, 36, 255);
constexpr ImU32 kTitleColour = IM_COL32(229, 231, 235, 255);
constexpr ImU32 kGradientTop = IM_COL32(10, 15, 26, 255);
constexpr ImU32 kGradientBottom = IM_COL32(17, 27, 45, 255);

constexpr ImU32 withAlpha(Rgb c, int alpha) { return IM_COL32(c.r, c.g, c.b, alpha); }

constexpr ImGuiWindowFlags kVisualiserWindowFlags =
    ImGuiWindowFlags_NoTitleBar | ImGuiWindowFlags_NoResize | ImGuiWindowFlags_NoMove |
    ImGuiWindowFlags_NoScrollbar | ImGuiWindowFlags_NoCollapse | ImGuiWindowFlags_NoSavedSettings |
    ImGuiWindowFlags_NoMouseInputs | ImGuiWindowFlags_NoFocusOnAppearing |
    ImGuiWindowFlags_NoBringToFrontOnFocus | ImGuiWindowFlags_NoNavInputs | ImGuiWindowFlags_NoNavFocus;

void drawBackground(ImDrawList* drawList, float w, float h) {
    drawList->AddRectFilledMultiColor(ImVec2(0, 0), ImVec2(w, h), kGradientTop, kGradientTop, kGradientBottom,
                                      kGradientBottom);
    const ImVec2 glowCentre(0.5f * w, 0.62f * h);
    drawList->AddCircleFilled(glowCentre, 0.34f * w, withAlpha(kBlue, 14), 64);
    drawList->AddCircleFilled(glowCentre, 0.22f * w, withAlpha(kAmber, 12), 64);
}

// Title and caption, each centred; returns nothing, the caption sits 12 px under the title.
void drawTitles(ImDrawList* drawList, const Channel& channel, const char* caption, const VisualiserLayout& layout,
                float w, float h) {
    ImFont* titleFont = fontForSize(layout.titleFontSize);
    const ImVec2 titleSize = measureText(titleFont, layout.titleFontSize, channel.name.c_str());
    const float titleTop = 0.33f * h;
    drawList->AddText(titleFont, layout.titleFontSize, ImVec2((w - titleSize.x) * 0.5f, titleTop), kTitleColour,
                      channel.name.c_str());

    ImFont* captionFont = fontForSize(layout.captionFontSize);
    const ImVec2 captionSize = measureText(captionFont, layout.captionFontSize, caption);
    drawList->AddText(captionFont, layout.captionFontSize,
                      ImVec2((w - captionSize.x) * 0.5f, titleTop + titleSize.y + 12.0f), withAlpha(kAmber, 220),
                      caption);
}

void drawBars(ImDrawList* drawList, const VisualiserLayout& layout, float w, float h, double now) {
    const float field = layout.barFieldWidth;
    const float step = field / kVisualiserBarCount;
    const float barWidth = 0.46f * step;
    const float left = (w - field) * 0.5f;
    const float baseline = 0.62f * h;
    const float amplitude = 0.13f * h;

    drawList->AddLine(ImVec2(left, baseline), ImVec2(left + field, baseline), withAlpha(kBlue, 60), 1.5f);
    for (int i = 0; i < kVisualiserBarCount; ++i) {
        const float half = visualiserBarHalfHeight(i, now, amplitude);
        const float x = left + static_cast<float>(i) * step + (step - barWidth) * 0.5f;
        drawList->AddRectFilled(ImVec2(x, baseline - half), ImVec2(x + barWidth, baseline + half),
                                visualiserBarColour(i, 200), barWidth * 0.5f);
        drawList->AddRectFilled(ImVec2(x - 1.5f, baseline - half - 1.5f),
                                ImVec2(x + barWidth + 1.5f, baseline + half + 1.5f), visualiserBarColour(i, 26),
                                barWidth * 0.5f + 1.5f);
    }
}

}  // namespace

VisualiserLayout visualiserLayout(float displayWidth) {
    VisualiserLayout layout;
    if (displayWidth < kVisualiserCompactBelow) {
        layout.pictureScale = 0.8f;
        layout.titleFontSize = 34.0f;
        layout.captionFontSize = 17.0f;
        layout.barFieldWidth = 0.78f * displayWidth;
    } else {
        layout.pictureScale = 1.0f;
        layout.titleFontSize = 44.0f;
        layout.captionFontSize = 20.0f;
        layout.barFieldWidth = 0.62f * displayWidth;
    }
    return layout;
}

float visualiserBarHalfHeight(int i, double now, float amplitude) {
    const double phase = 3.1 * now;
    const double n = static_cast<double>(i);
    const double envelope = std::sin(std::numbers::pi * n / kLastBar);
    const double u1 = std::sin(0.42 * n + phase);
    const double u2 = std::sin(1.13 * n + 0.63 * phase + 1.7);
    const double u3 = std::sin(0.21 * n + 1.9 * phase + 4.2);
    const double motion = (0.5 * u1 + 0.5) * 0.4 + 0.16 + (0.5 * u2 + 0.5) * 0.28 + (0.5 * u3 + 0.5) * 0.16;
    return static_cast<float>(10.0 + (0.45 * envelope + 0.55) * motion * amplitude);
}

ImU32 visualiserBarColour(int i, int alpha) {
    const float t = static_cast<float>(i) / kLastBar;
    const auto blend = [t](int right, int left) {
        return static_cast<int>(static_cast<float>(right) * t + static_cast<float>(left) * (1.0f - t));
    };
    return IM_COL32(blend(kBlue.r, kAmber.r), blend(kBlue.g, kAmber.g), blend(kBlue.b, kAmber.b), alpha);
}

void drawRadioGlyph(ImDrawList* drawList, ImU32 lineColour, ImU32 bodyColour, ImVec2 c, float s) {
    const float halfWidth = 46.0f * s;
    const float halfHeight = 31.0f * s;
    const ImVec2 bodyMin = offset(c, -halfWidth, -halfHeight);
    const ImVec2 bodyMax = offset(c, halfWidth, halfHeight);
    drawList->AddRectFilled(bodyMin, bodyMax, bodyColour, 12.0f * s);
    drawList->AddRect(bodyMin, bodyMax, lineColour, 12.0f * s, ImDrawFlags_None, 2.5f * s);

    const ImVec2 speaker(c.x - halfWidth + 0.26f * 92.0f * s, c.y + 0.08f * 62.0f * s);
    drawList->AddCircleFilled(speaker, 11.0f * s, lineColour);
    drawList->AddCircleFilled(speaker, 4.5f * s, kSpeakerCentre);

    for (float dy : {-6.0f, 2.0f, 10.0f}) {
        const float y = c.y + dy * s;
        drawList->AddLine(ImVec2(c.x + halfWidth - 10.0f * s, y), ImVec2(c.x + halfWidth - 30.0f * s, y), lineColour,
                          2.0f * s);
    }

    const ImVec2 tip(c.x + 0.34f * 92.0f * s, c.y - halfHeight - 34.0f * s);
    drawList->AddLine(ImVec2(c.x + 0.16f * 92.0f * s, c.y - halfHeight + 2.0f * s), tip, lineColour, 2.5f * s);
    drawList->AddCircleFilled(tip, 3.5f * s, lineColour);
    for (float radius : {10.0f, 20.0f}) addArc(drawList, tip, radius * s, -0.5f, 0.9f, lineColour, 1.8f * s, 16);
}

void drawAudioVisualiser(const Channel& channel, const char* caption, float w, float h, double now) {
    const VisualiserLayout layout = visualiserLayout(w);
    ImGui::SetNextWindowPos(ImVec2(0, 0), ImGuiCond_Always);
    ImGui::SetNextWindowSize(ImVec2(w, h), ImGuiCond_Always);
    ImGui::SetNextWindowBgAlpha(0.0f);
    if (ImGui::Begin("##audioviz", nullptr, kVisualiserWindowFlags)) {
        ImDrawList* drawList = ImGui::GetWindowDrawList();
        // The window clips its content inside its padding; the picture covers the whole display.
        drawList->PushClipRect(ImVec2(0, 0), ImVec2(w, h), false);
        drawBackground(drawList, w, h);
        drawRadioGlyph(drawList, withAlpha(kAmber, 255), kRadioBody, ImVec2(0.5f * w, 0.22f * h), layout.pictureScale);
        drawTitles(drawList, channel, caption, layout, w, h);
        drawBars(drawList, layout, w, h, now);
        drawList->PopClipRect();
    }
    ImGui::End();
}

}  // namespace vantiro
