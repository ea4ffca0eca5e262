#include "shell/overlay_layer.h"

#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>

#include <imgui.h>
#include <backends/imgui_impl_opengl3.h>

namespace vantiro {

namespace {

// Pixel corners in, clip space out: y grows downwards in pixels, upwards in clip space.
constexpr const char* kVertexShader = R"(#version 150
in vec2 position;
uniform vec2 size;
void main() {
    gl_Position = vec4(position.x / size.x * 2.0 - 1.0, 1.0 - position.y / size.y * 2.0, 0.0, 1.0);
}
)";

// The layer and the window share their size and orientation: one texel per pixel.
constexpr const char* kFragmentShader = R"(#version 150
uniform sampler2D layer;
out vec4 colour;
void main() {
    colour = texelFetch(layer, ivec2(gl_FragCoord.xy), 0);
}
)";

unsigned compile(GLenum type, const char* source, std::string* error) {
    const GLuint shader = glCreateShader(type);
    glShaderSource(shader, 1, &source, nullptr);
    glCompileShader(shader);
    GLint ok = GL_FALSE;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (ok == GL_TRUE) return shader;
    if (error) {
        char log[512] = {};
        glGetShaderInfoLog(shader, sizeof log, nullptr, log);
        *error = std::string("overlay shader: ") + log;
    }
    glDeleteShader(shader);
    return 0;
}

// The GL state composite() changes, put back afterwards for whoever draws next.
class SavedState {
public:
    SavedState() {
        glGetIntegerv(GL_CURRENT_PROGRAM, &program_);
        glGetIntegerv(GL_VERTEX_ARRAY_BINDING, &vertexArray_);
        glGetIntegerv(GL_ARRAY_BUFFER_BINDING, &arrayBuffer_);
        glGetIntegerv(GL_ACTIVE_TEXTURE, &activeTexture_);
        glActiveTexture(GL_TEXTURE0);
        glGetIntegerv(GL_TEXTURE_BINDING_2D, &texture_);
        glGetIntegerv(GL_BLEND_SRC_RGB, &blend_[0]);
        glGetIntegerv(GL_BLEND_DST_RGB, &blend_[1]);
        glGetIntegerv(GL_BLEND_SRC_ALPHA, &blend_[2]);
        glGetIntegerv(GL_BLEND_DST_ALPHA, &blend_[3]);
        blendOn_ = glIsEnabled(GL_BLEND);
        scissorOn_ = glIsEnabled(GL_SCISSOR_TEST);
    }
    ~SavedState() {
        glUseProgram(static_cast<GLuint>(program_));
        glBindVertexArray(static_cast<GLuint>(vertexArray_));
        glBindBuffer(GL_ARRAY_BUFFER, static_cast<GLuint>(arrayBuffer_));
        glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(texture_));
        glActiveTexture(static_cast<GLenum>(activeTexture_));
        glBlendFuncSeparate(static_cast<GLenum>(blend_[0]), static_cast<GLenum>(blend_[1]),
                            static_cast<GLenum>(blend_[2]), static_cast<GLenum>(blend_[3]));
        if (blendOn_) glEnable(GL_BLEND); else glDisable(GL_BLEND);
        if (scissorOn_) glEnable(GL_SCISSOR_TEST); else glDisable(GL_SCISSOR_TEST);
    }
    SavedState(const SavedState&) = delete;
    SavedState& operator=(const SavedState&) = delete;

private:
    GLint program_ = 0;
    GLint vertexArray_ = 0;
    GLint arrayBuffer_ = 0;
    GLint activeTexture_ = GL_TEXTURE0;
    GLint texture_ = 0;
    GLint blend_[4] = {GL_ONE, GL_ZERO, GL_ONE, GL_ZERO};
    GLboolean blendOn_ = GL_FALSE;
    GLboolean scissorOn_ = GL_FALSE;
};

}  // namespace

OverlayLayer::~OverlayLayer() { release(); }

bool OverlayLayer::create(std::string* error) {
    const GLuint vertex = compile(GL_VERTEX_SHADER, kVertexShader, error);
    const GLuint fragment = vertex ? compile(GL_FRAGMENT_SHADER, kFragmentShader, error) : 0;
    if (!fragment) {
        if (vertex) glDeleteShader(vertex);
        return false;
    }
    program_ = glCreateProgram();
    glAttachShader(program_, vertex);
    glAttachShader(program_, fragment);
    glBindAttribLocation(program_, 0, "position");
    glLinkProgram(program_);
    glDeleteShader(vertex);
    glDeleteShader(fragment);
    GLint linked = GL_FALSE;
    glGetProgramiv(program_, GL_LINK_STATUS, &linked);
    if (linked != GL_TRUE) {
        if (error) *error = "overlay shader: the program does not link";
        release();
        return false;
    }
    sizeUniform_ = glGetUniformLocation(program_, "size");
    GLint previousProgram = 0;
    glGetIntegerv(GL_CURRENT_PROGRAM, &previousProgram);
    glUseProgram(program_);
    glUniform1i(glGetUniformLocation(program_, "layer"), 0);
    glUseProgram(static_cast<GLuint>(previousProgram));

    GLint previousArray = 0;
    GLint previousBuffer = 0;
    glGetIntegerv(GL_VERTEX_ARRAY_BINDING, &previousArray);
    glGetIntegerv(GL_ARRAY_BUFFER_BINDING, &previousBuffer);
    glGenVertexArrays(1, &vertexArray_);
    glGenBuffers(1, &vertexBuffer_);
    glBindVertexArray(vertexArray_);
    glBindBuffer(GL_ARRAY_BUFFER, vertexBuffer_);
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, 2 * sizeof(float), nullptr);
    glBindVertexArray(static_cast<GLuint>(previousArray));
    glBindBuffer(GL_ARRAY_BUFFER, static_cast<GLuint>(previousBuffer));
    return true;
}

bool OverlayLayer::resize(int width, int height) {
    if (texture_ && width == width_ && height == height_) return true;
    if (framebuffer_) glDeleteFramebuffers(1, &framebuffer_);
    if (texture_) glDeleteTextures(1, &texture_);
    framebuffer_ = texture_ = 0;
    width_ = height_ = 0;
    GLint previousTexture = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &previousTexture);
    glGenTextures(1, &texture_);
    glBindTexture(GL_TEXTURE_2D, texture_);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(previousTexture));
    glGenFramebuffers(1, &framebuffer_);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture_, 0);
    const bool complete = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    if (!complete) return false;
    width_ = width;
    height_ = height;
    return true;
}

void OverlayLayer::render(ImDrawData& data, int framebufferWidth, int framebufferHeight) {
    coverage_.clear();
    vertexCount_ = 0;
    if (!program_ || framebufferWidth <= 0 || framebufferHeight <= 0 ||
        !resize(framebufferWidth, framebufferHeight))
        return;
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
    glViewport(0, 0, width_, height_);
    glDisable(GL_SCISSOR_TEST);
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT);
    ImGui_ImplOpenGL3_RenderDrawData(&data);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);

    coverage_ = overlayCoverage(data, width_, height_);
    std::vector<float> corners;
    corners.reserve(coverage_.size() * 12);
    for (const PixelRect& r : coverage_) {
        const float x0 = static_cast<float>(r.x0), y0 = static_cast<float>(r.y0);
        const float x1 = static_cast<float>(r.x1), y1 = static_cast<float>(r.y1);
        for (float v : {x0, y0, x1, y0, x1, y1, x0, y0, x1, y1, x0, y1}) corners.push_back(v);
    }
    GLint previousBuffer = 0;
    glGetIntegerv(GL_ARRAY_BUFFER_BINDING, &previousBuffer);
    glBindBuffer(GL_ARRAY_BUFFER, vertexBuffer_);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(corners.size() * sizeof(float)), corners.data(),
                 GL_STATIC_DRAW);
    glBindBuffer(GL_ARRAY_BUFFER, static_cast<GLuint>(previousBuffer));
    vertexCount_ = static_cast<int>(corners.size() / 2);
}

void OverlayLayer::composite() const {
    if (!program_ || !texture_ || vertexCount_ == 0) return;
    SavedState saved;
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glViewport(0, 0, width_, height_);
    glUseProgram(program_);
    glUniform2f(sizeUniform_, static_cast<float>(width_), static_cast<float>(height_));
    glBindTexture(GL_TEXTURE_2D, texture_);
    glBindVertexArray(vertexArray_);
    glEnable(GL_BLEND);
    glBlendFuncSeparate(GL_ONE, GL_ONE_MINUS_SRC_ALPHA, GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
    glDisable(GL_SCISSOR_TEST);
    glDrawArrays(GL_TRIANGLES, 0, vertexCount_);
}

void OverlayLayer::release() {
    if (framebuffer_) glDeleteFramebuffers(1, &framebuffer_);
    if (texture_) glDeleteTextures(1, &texture_);
    if (vertexBuffer_) glDeleteBuffers(1, &vertexBuffer_);
    if (vertexArray_) glDeleteVertexArrays(1, &vertexArray_);
    if (program_) glDeleteProgram(program_);
    framebuffer_ = texture_ = vertexBuffer_ = vertexArray_ = program_ = 0;
    width_ = height_ = 0;
    vertexCount_ = 0;
    coverage_.clear();
}

}  // namespace vantiro
