// Prints the CPU time per frame of the overlay's heavier pieces, drawn into a
// headless Dear ImGui context (no window, no GPU), next to an empty frame of
// the same context as the baseline:
//   overlay_bench FRAMES  ->  empty_us=.. visualiser_us=.. list_us=.. toolbar_us=..
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include <imgui.h>

#include "channels/channel.h"
#include "ui/audio_visualiser.h"
#include "ui/channel_list_panel.h"
#include "ui/toolbar.h"

namespace {

constexpr float kWidth = 1280;
constexpr float kHeight = 720;

void createContext() {
    ImGui::CreateContext();
    ImGuiIO& io = ImGui::GetIO();
    io.IniFilename = nullptr;
    io.DisplaySize = ImVec2(kWidth, kHeight);
    io.DeltaTime = 1.0f / 60.0f;
    for (float size : {22.0f, 12.0f, 17.0f, 20.0f, 24.0f, 30.0f, 32.0f, 34.0f, 36.0f, 44.0f}) {
        ImFontConfig config;
        config.SizePixels = size;
        io.Fonts->AddFontDefault(&config);
    }
    unsigned char* pixels = nullptr;
    int w = 0, h = 0;
    io.Fonts->GetTexDataAsRGBA32(&pixels, &w, &h);
}

// One run of `frames` frames, microseconds per frame (the caller runs the tool
// several times and takes medians).
double microsPerFrame(int frames, const std::function<void(int)>& draw) {
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < frames; ++i) {
        ImGui::NewFrame();
        draw(i);
        ImGui::Render();
    }
    const std::chrono::duration<double, std::micro> spent = std::chrono::steady_clock::now() - start;
    return spent.count() / frames;
}

}  // namespace

int main(int argc, char** argv) {
    const int frames = argc > 1 ? std::atoi(argv[1]) : 2000;
    createContext();

    vantiro::Channel radio;
    radio.name = "Radio Gamma";
    std::vector<vantiro::Channel> channels(500);
    for (std::size_t i = 0; i < channels.size(); ++i) {
        channels[i].name = "Channel " + std::to_string(i);
        channels[i].frequency = 474000000;
        channels[i].videoPid = i % 7 == 0 ? 0 : 0x100;
        channels[i].isNew = i % 3 == 0;
    }
    const std::vector<std::string> radioUrls;
    int selection = 250;
    bool open = true;
    bool scroll = true;

    const double empty = microsPerFrame(frames, [](int) {});
    const double visualiser = microsPerFrame(frames, [&](int i) {
        vantiro::drawAudioVisualiser(radio, vantiro::kCaptionRadio, kWidth, kHeight, i / 60.0);
    });
    const double list = microsPerFrame(frames, [&](int) {
        vantiro::drawChannelListPanel({channels, radioUrls, selection, open, scroll}, kWidth, kHeight);
    });
    const double toolbar = microsPerFrame(frames, [](int) { vantiro::drawToolbar({}, kWidth, kHeight, 0); });
    std::printf("empty_us=%.2f visualiser_us=%.2f list_us=%.2f toolbar_us=%.2f\n", empty, visualiser, list, toolbar);
    ImGui::DestroyContext();
    return 0;
}
