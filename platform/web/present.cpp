#include "present.h"

#include <emscripten.h>
#include <emscripten/html5.h>
#include <GLES2/gl2.h>

#include "web.h"

namespace {

// The picture's bytes are B, G, R, A in memory; WebGL 1 knows no BGRA upload, so the
// shader swaps the channels back. The canvas is opaque: the picture's alpha is not shown.
const char* const VERTEX_SHADER = R"(
attribute vec2 corner;
varying vec2 texel;
void main() {
    texel = vec2(corner.x + 1.0, 1.0 - corner.y) * 0.5;
    gl_Position = vec4(corner, 0.0, 1.0);
}
)";

const char* const FRAGMENT_SHADER = R"(
#ifdef GL_FRAGMENT_PRECISION_HIGH
precision highp float;
#else
precision mediump float;
#endif
uniform sampler2D picture;
varying vec2 texel;
void main() {
    gl_FragColor = vec4(texture2D(picture, texel).bgr, 1.0);
}
)";

GLuint compile(GLenum kind, const char* source) {
    const GLuint shader = glCreateShader(kind);
    glShaderSource(shader, 1, &source, nullptr);
    glCompileShader(shader);
    return shader;
}

// Animation frames come at the display's rate; the time of the one that fired, in ms.
EM_ASYNC_JS(double, next_animation_frame, (), {
    return await new Promise(function(resolve) { requestAnimationFrame(resolve); });
});

}  // namespace

namespace web {

bool CanvasPresenter::open(int width, int height) {
    EmscriptenWebGLContextAttributes attributes;
    emscripten_webgl_init_context_attributes(&attributes);
    attributes.alpha = EM_FALSE;
    attributes.depth = EM_FALSE;
    attributes.stencil = EM_FALSE;
    attributes.antialias = EM_FALSE;
    attributes.premultipliedAlpha = EM_FALSE;
    const EMSCRIPTEN_WEBGL_CONTEXT_HANDLE context = emscripten_webgl_create_context(CANVAS, &attributes);
    if (context <= 0) return false;
    emscripten_webgl_make_context_current(context);
    emscripten_set_canvas_element_size(CANVAS, width, height);
    glViewport(0, 0, width, height);

    const GLuint program = glCreateProgram();
    glAttachShader(program, compile(GL_VERTEX_SHADER, VERTEX_SHADER));
    glAttachShader(program, compile(GL_FRAGMENT_SHADER, FRAGMENT_SHADER));
    glBindAttribLocation(program, 0, "corner");
    glLinkProgram(program);
    GLint linked = 0;
    glGetProgramiv(program, GL_LINK_STATUS, &linked);
    if (!linked) return false;
    glUseProgram(program);
    glUniform1i(glGetUniformLocation(program, "picture"), 0);

    static const float corners[] = {-1.0f, -1.0f, 1.0f, -1.0f, -1.0f, 1.0f, 1.0f, 1.0f};
    GLuint vertices = 0;
    glGenBuffers(1, &vertices);
    glBindBuffer(GL_ARRAY_BUFFER, vertices);
    glBufferData(GL_ARRAY_BUFFER, sizeof corners, corners, GL_STATIC_DRAW);
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, 0, nullptr);

    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    // One texel to one pixel: the page scales the canvas, not the shader.
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    width_ = width;
    height_ = height;
    open_ = true;
    return true;
}

void CanvasPresenter::show(const std::uint32_t* pixels) {
    if (!open_) return;
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, width_, height_, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
}

void CanvasPresenter::wait_for_next_frame() {
    const int64_t deadline = schedule_.next_deadline(static_cast<int64_t>(emscripten_get_now() * 1000.0));
    // On a 60 Hz display every animation frame is one game frame; on faster ones, the first
    // animation frame that is no more than a few milliseconds early. A little early is better
    // than a whole display frame late.
    constexpr int64_t EARLY_ENOUGH = 4000;
    while (static_cast<int64_t>(next_animation_frame() * 1000.0) < deadline - EARLY_ENOUGH) {
    }
}

}  // namespace web
