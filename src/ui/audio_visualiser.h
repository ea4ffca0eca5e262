#pragma once
#include <imgui.h>

#include "channels/channel.h"

namespace vantiro {

inline constexpr int kVisualiserBarCount = 56;
// Below this display width the visualiser uses its compact size class.
inline constexpr float kVisualiserCompactBelow = 900.0f;

inline constexpr const char* kCaptionRadio = "RADIO \xC2\xB7 AUDIO ONLY";
inline constexpr const char* kCaptionAudioOnly = "AUDIO ONLY";

struct VisualiserLayout {
    float pictureScale = 1.0f;
    float titleFontSize = 44.0f;
    float captionFontSize = 20.0f;
    float barFieldWidth = 0.0f;
};

VisualiserLayout visualiserLayout(float displayWidth);

// Half-height of bar `i` (0..55) at time `now` for amplitude A: at least
// 10 + 0.088 A, at most 10 + A; the outer bars move least. Depends on time only.
float visualiserBarHalfHeight(int i, double now, float amplitude);

// Colour of bar `i`: amber on the left blending into blue on the right.
ImU32 visualiserBarColour(int i, int alpha);

// The stylised radio set: body, speaker, grille, antenna and two waves.
void drawRadioGlyph(ImDrawList* drawList, ImU32 lineColour, ImU32 bodyColour, ImVec2 centre, float scale);

// Fills the whole display with the audio-only picture for `channel`. Must be the
// first window of the frame so that every other panel lies above it.
void drawAudioVisualiser(const Channel& channel, const char* caption, float displayWidth, float displayHeight,
                         double now);

}  // namespace vantiro
