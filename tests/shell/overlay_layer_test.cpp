// The overlay laid down from its layer against the same overlay drawn straight,
// on a real GL context (llvmpipe on a private X server).
#include "shell/overlay_layer.h"

#include <SDL.h>
#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <gtest/gtest.h>
#include <imgui.h>
#include <backends/imgui_impl_opengl3.h>

#include <cstdlib>
#include <vector>

#include "support/imgui_frame.h"
#include "support/xvfb_display.h"

namespace vantiro {
namespace {

constexpr int kWidth = 320;
constexpr int kHeight = 240;

class OverlayLayerOnScreen : public ::testing::Test {
protected:
    void SetUp() override {
        if (!display_.ok() || SDL_Init(SDL_INIT_VIDEO) != 0) GTEST_SKIP() << "no X server: " << SDL_GetError();
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 2);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
        SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
        window_ = SDL_CreateWindow("overlay layer test", 0, 0, kWidth, kHeight, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
        if (window_) context_ = SDL_GL_CreateContext(window_);
        if (!context_) GTEST_SKIP() << "no GL context: " << SDL_GetError();
        harness_ = std::make_unique<test::ImGuiFrameHarness>(kWidth, kHeight);
        ASSERT_TRUE(ImGui_ImplOpenGL3_Init("#version 130"));
    }
    void TearDown() override {
        if (harness_) {
            ImGui_ImplOpenGL3_Shutdown();
            harness_.reset();
        }
        if (context_) {
            SDL_GL_MakeCurrent(window_, nullptr);
            SDL_GL_DeleteContext(context_);
        }
        if (window_) SDL_DestroyWindow(window_);
        SDL_Quit();
    }

    // Panels with rounded corners, text and a button over one another, a
    // translucent circle across them and the screen's edge.
    void frame() {
        ImGui_ImplOpenGL3_NewFrame();
        harness_->frame([] {
            ImGui::SetNextWindowPos(ImVec2(20, 30));
            ImGui::SetNextWindowBgAlpha(0.78f);
            ImGui::PushStyleVar(ImGuiStyleVar_WindowRounding, 12);
            ImGui::Begin("panel", nullptr, ImGuiWindowFlags_NoTitleBar | ImGuiWindowFlags_AlwaysAutoResize);
            ImGui::TextUnformatted("Tuner not available");
            ImGui::TextDisabled("then replug the tuner.");
            ImGui::Button("Scan");
            ImGui::End();
            ImGui::PopStyleVar();
            ImGui::GetForegroundDrawList()->AddCircleFilled(ImVec2(300, 200), 60, IM_COL32(255, 160, 40, 120));
        });
    }

    // Stripes of saturated colours, as a test picture would have.
    static void drawPicture() {
        const float colours[4][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1, 1, 1}};
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        glViewport(0, 0, kWidth, kHeight);
        glEnable(GL_SCISSOR_TEST);
        for (int i = 0; i < 4; ++i) {
            glScissor(i * kWidth / 4, 0, kWidth / 4, kHeight);
            glClearColor(colours[i][0], colours[i][1], colours[i][2], 1);
            glClear(GL_COLOR_BUFFER_BIT);
        }
        glDisable(GL_SCISSOR_TEST);
    }

    static std::vector<unsigned char> readPixels() {
        std::vector<unsigned char> rgba(static_cast<size_t>(kWidth) * kHeight * 4);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, kWidth, kHeight, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
        return rgba;
    }

    test::XvfbDisplay display_;
    SDL_Window* window_ = nullptr;
    SDL_GLContext context_ = nullptr;
    std::unique_ptr<test::ImGuiFrameHarness> harness_;
};

TEST_F(OverlayLayerOnScreen, LaysDownThePixelsDrawingTheTrianglesGives) {
    frame();
    frame();  // the auto-sized panel has its size from the second frame on
    drawPicture();
    const std::vector<unsigned char> picture = readPixels();
    ImGui_ImplOpenGL3_RenderDrawData(harness_->drawData());
    const std::vector<unsigned char> straight = readPixels();

    OverlayLayer layer;
    std::string error;
    ASSERT_TRUE(layer.create(&error)) << error;
    drawPicture();
    layer.render(*harness_->drawData(), kWidth, kHeight);
    layer.composite();
    const std::vector<unsigned char> layered = readPixels();
    // Twice from the same layer: drawing it leaves it as it was.
    drawPicture();
    layer.composite();
    const std::vector<unsigned char> again = readPixels();

    int covered = 0;
    int worst = 0;
    for (size_t i = 0; i < picture.size(); i += 4) {
        bool overlay = false;
        for (size_t c = 0; c < 3; ++c) {
            overlay |= straight[i + c] != picture[i + c];
            worst = std::max(worst, std::abs(int(straight[i + c]) - int(layered[i + c])));
        }
        covered += overlay;
    }
    EXPECT_GT(covered, 10000) << "the overlay hardly shows";
    EXPECT_LE(worst, 2) << "the layer differs from the triangles by more than rounding";
    EXPECT_EQ(layered, again);
}

}  // namespace
}  // namespace vantiro
