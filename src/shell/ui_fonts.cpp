#include "shell/ui_fonts.h"

#include <imgui.h>

#include <cmath>
#include <filesystem>
#include <fstream>

namespace vantiro {

namespace {

// Latin-1, plus the em dash of the empty channel list's hint.
constexpr ImWchar kLatinRanges[] = {0x0020, 0x00FF, 0x2014, 0x2014, 0};
constexpr ImWchar kThaiRanges[] = {0x0E00, 0x0E7F, 0};

std::vector<std::string> candidates(const std::string& basePath, const std::string& fileName) {
    return {basePath + "fonts/" + fileName, basePath + "../share/vantiro/fonts/" + fileName,
            "/usr/share/fonts/noto/" + fileName, "/usr/share/fonts/truetype/noto/" + fileName};
}

// The library asserts on a font file it cannot read, so look before adding.
bool readable(const std::string& path) { return !path.empty() && std::ifstream(path).good(); }

ImFont* addSize(const FontFiles& files, float pixels) {
    ImGuiIO& io = ImGui::GetIO();
    ImFont* font = nullptr;
    if (readable(files.main)) {
        ImFontConfig config;
        config.SizePixels = pixels;
        font = io.Fonts->AddFontFromFileTTF(files.main.c_str(), pixels, &config, kLatinRanges);
    }
    if (!font) {
        ImFontConfig config;
        config.SizePixels = pixels;
        return io.Fonts->AddFontDefault(&config);
    }
    if (readable(files.thai)) {
        ImFontConfig merge;
        merge.MergeMode = true;
        merge.PixelSnapH = true;
        io.Fonts->AddFontFromFileTTF(files.thai.c_str(), pixels, &merge, kThaiRanges);
    }
    return font;
}

}  // namespace

std::string firstExistingPath(const std::vector<std::string>& paths) {
    for (const auto& path : paths) {
        std::error_code error;
        if (std::filesystem::exists(std::filesystem::symlink_status(path, error))) return path;
    }
    return "";
}

FontFiles findFontFiles(const std::string& basePath) {
    FontFiles files;
    files.main = firstExistingPath(candidates(basePath, "NotoSans-Regular.ttf"));
    files.thai = firstExistingPath(candidates(basePath, "NotoSansThai-Regular.ttf"));
    if (files.thai == files.main) files.thai.clear();
    return files;
}

void loadUiFonts(const FontFiles& files) {
    for (float size : kBakedFontSizes) addSize(files, size);
}

ImFont* fontForSize(float pixels) {
    ImFontAtlas* atlas = ImGui::GetIO().Fonts;
    ImFont* best = nullptr;
    for (ImFont* font : atlas->Fonts) {
        if (!best || std::fabs(font->FontSize - pixels) < std::fabs(best->FontSize - pixels)) best = font;
    }
    return best;
}

void pushFontSize(float pixels) { ImGui::PushFont(fontForSize(pixels)); }

void popFontSize() { ImGui::PopFont(); }

}  // namespace vantiro
