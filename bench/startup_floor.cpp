// The bare start of a GL program (see bench/startup_floor.h): plain SDL and
// GL 4.5 with direct state access, nothing cached, nothing translated.
#include "bench/startup_floor.h"

#include <SDL.h>
#include <epoxy/gl.h>

#include <chrono>
#include <cstdint>
#include <vector>

namespace bench::startup_floor {
namespace {

constexpr int kWidth = 1024, kHeight = 768;

// A full-window quad from the vertex index alone: no buffer to make.
constexpr const char* kVs = R"(#version 450 core
layout(location = 0) out vec2 v_uv;
void main() {
    vec2 corner = vec2(gl_VertexID & 1, gl_VertexID >> 1);
    v_uv = vec2(corner.x, 1.0 - corner.y);
    gl_Position = vec4(corner * 2.0 - 1.0, 0.0, 1.0);
}
)";
constexpr const char* kFs = R"(#version 450 core
layout(location = 0) in vec2 v_uv;
layout(location = 0) out vec4 o_color;
layout(binding = 0) uniform sampler2D t0;
void main() { o_color = texture(t0, v_uv); }
)";

GLuint Stage(GLenum type, const char* source, std::string* error) {
    GLuint s = glCreateShader(type);
    glShaderSource(s, 1, &source, nullptr);
    glCompileShader(s);
    GLint ok = 0;
    glGetShaderiv(s, GL_COMPILE_STATUS, &ok);
    if (!ok) {
        char log[512] = {};
        glGetShaderInfoLog(s, sizeof log, nullptr, log);
        *error = std::string("floor shader: ") + log;
        glDeleteShader(s);
        return 0;
    }
    return s;
}

}  // namespace

double Now() { return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count(); }

bool Run(Times* t, std::string* error, bool on_display) {
    *t = Times{};
    // The driver the show's captures use, or a person's, whatever the
    // environment says.
    SDL_SetHint(SDL_HINT_VIDEODRIVER, on_display ? "x11" : "offscreen");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        *error = std::string("SDL video: ") + SDL_GetError();
        return false;
    }
    t->video = Now();

    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 4);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 5);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 0);
    SDL_Window* window = SDL_CreateWindow("", 0, 0, kWidth, kHeight, SDL_WINDOW_OPENGL | SDL_WINDOW_BORDERLESS);
    if (!window) {
        *error = std::string("SDL window: ") + SDL_GetError();
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        return false;
    }
    t->window = Now();

    SDL_GLContext context = SDL_GL_CreateContext(window);
    if (!context || epoxy_gl_version() < 45) {
        *error = "no GL 4.5 core context";
        if (context) SDL_GL_DeleteContext(context);
        SDL_DestroyWindow(window);
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        return false;
    }
    SDL_GL_MakeCurrent(window, context);
    t->context = Now();

    // A picture the driver cannot guess: every byte depends on its place.
    std::vector<uint8_t> pixels(static_cast<size_t>(kWidth) * kHeight * 4);
    for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<uint8_t>((i * 2654435761u) >> 24);
    GLuint texture = 0;
    glCreateTextures(GL_TEXTURE_2D, 1, &texture);
    glTextureStorage2D(texture, 1, GL_RGBA8, kWidth, kHeight);
    glTextureSubImage2D(texture, 0, 0, 0, kWidth, kHeight, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    glTextureParameteri(texture, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTextureParameteri(texture, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    t->texture = Now();

    GLuint program = 0;
    const GLuint vs = Stage(GL_VERTEX_SHADER, kVs, error);
    const GLuint fs = vs ? Stage(GL_FRAGMENT_SHADER, kFs, error) : 0;
    if (vs && fs) {
        program = glCreateProgram();
        glAttachShader(program, vs);
        glAttachShader(program, fs);
        glLinkProgram(program);
        GLint linked = 0;
        glGetProgramiv(program, GL_LINK_STATUS, &linked);
        if (!linked) {
            *error = "floor program does not link";
            glDeleteProgram(program);
            program = 0;
        }
    }
    if (vs) glDeleteShader(vs);
    if (fs) glDeleteShader(fs);
    t->program = Now();

    bool ok = program != 0;
    if (ok) {
        GLuint vao = 0;
        glCreateVertexArrays(1, &vao);
        glBindVertexArray(vao);
        glViewport(0, 0, kWidth, kHeight);
        glUseProgram(program);
        glBindTextureUnit(0, texture);
        glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
        glReadPixels(0, 0, kWidth, kHeight, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
        SDL_GL_SwapWindow(window);
        t->frame = Now();
        for (size_t i = 0; i < pixels.size(); i += 4099) t->checksum = t->checksum * 31u + pixels[i];
        glDeleteVertexArrays(1, &vao);
        glDeleteProgram(program);
    }
    glDeleteTextures(1, &texture);
    SDL_GL_DeleteContext(context);
    SDL_DestroyWindow(window);
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    return ok;
}

}  // namespace bench::startup_floor
