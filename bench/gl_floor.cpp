// The bare-GL floor of a tower frame (see bench/gl_floor.h): plain GL
// 4.5 with direct state access, one linked program per pass, no caching,
// no translation layer.
//
// Index of this file:
// [SECTION] Shaders
// [SECTION] Objects
// [SECTION] Set-up
// [SECTION] The caller's GL state
// [SECTION] Drawing
// [SECTION] Entry points

#include "bench/gl_floor.h"

#include <SDL.h>
#include <epoxy/gl.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/os/log.h"

namespace bench::floor {
namespace {

constexpr int kWidth = 1024, kHeight = 768;
constexpr int kPictureSize = 1024;
constexpr int kPictureLevels = 11;  // 1024 down to 1
constexpr int kUnits = 2;           // no pass reads more than two textures
constexpr GLsizei kGeometryStride = 24;

// ---------------------------------------------------------------------------
// [SECTION] Shaders
// ---------------------------------------------------------------------------

// Every quad is made once, straight in clip space.
constexpr const char* kQuadVs = R"(#version 450 core
layout(location = 0) in vec3 a_position;
layout(location = 1) in vec4 a_uv;     // set 0 in xy, set 1 in zw
layout(location = 2) in vec4 a_color;
layout(location = 0) out vec4 v_uv;
layout(location = 1) out vec4 v_color;
void main() {
    gl_Position = vec4(a_position, 1.0);
    v_uv = a_uv;
    v_color = a_color;
}
)";

constexpr const char* kQuadFsHead = R"(#version 450 core
layout(location = 0) in vec4 v_uv;
layout(location = 1) in vec4 v_color;
layout(location = 0) out vec4 o_color;
layout(binding = 0) uniform sampler2D t0;
layout(binding = 1) uniform sampler2D t1;
uniform vec2 u_pixel;  // one pixel in texture units
// Below the 8-bit alpha reference of 1: the pixel would not land.
const float kAlphaRef = 0.5 / 255.0;
)";

constexpr const char* kColorFs = "void main() { o_color = v_color; }\n";
constexpr const char* kPictureFs = "void main() { o_color = texture(t0, v_uv.xy) * v_color; }\n";
constexpr const char* kPresentFs = "void main() { o_color = texture(t0, v_uv.xy); }\n";

constexpr const char* kDownFilterFs = R"(
void main() {
    vec4 sum = vec4(0.0);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            sum += texture(t0, v_uv.xy + u_pixel * vec2(float(x) - 1.5, float(y) - 1.5));
    o_color = sum / 16.0;
    if (o_color.a < kAlphaRef) discard;
}
)";

constexpr const char* kBrightFs = R"(
void main() {
    vec4 c = texture(t0, v_uv.xy);
    c *= 0.18 / 0.061;
    c *= 1.0 + c / 0.64;
    c = max(c - 5.0, 0.0);
    c /= 10.0 + c;
    o_color = c * 0.25;
    if (o_color.a < kAlphaRef) discard;
}
)";

// 13 taps a pixel apart, normal weights of deviation 2.
constexpr const char* kBlurFs = R"(
const float kWeights[13] = float[13](0.002216, 0.008764, 0.026995, 0.064759, 0.120985, 0.176033, 0.199471,
                                     0.176033, 0.120985, 0.064759, 0.026995, 0.008764, 0.002216);
void main() {
    vec4 sum = vec4(0.0);
    for (int i = 0; i < 13; ++i)
        sum += kWeights[i] * texture(t0, v_uv.xy + kDirection * float(i - 6) * u_pixel);
    o_color = sum;
    if (o_color.a < kAlphaRef) discard;
}
)";

constexpr const char* kCombine4Fs = R"(
void main() {
    o_color = texture(t0, v_uv.xy) * texture(t1, v_uv.zw);
    if (o_color.a < kAlphaRef) discard;
}
)";

// Colour in t0, view position in t1; 10 x 10 taps two pixels apart,
// skipped (as a branch, as the show's pass has it) on the background.
// Alpha is always 1, so nothing is discarded.
constexpr const char* kOcclusionFs = R"(
void main() {
    vec2 t = v_uv.xy;
    float p = textureLod(t0, t, 0.0).r;
    float z = textureLod(t1, t, 0.0).z;
    if (z < 1.0 && p < 1.0) {
        float open = 0.0;
        for (float x = -10.0; x < 10.0; x += 2.0) {
            for (float y = -10.0; y < 10.0; y += 2.0) {
                vec2 offset = vec2(x * u_pixel.x, y * u_pixel.y) * (1.0 - z);
                if (textureLod(t0, t + offset, 0.0).r >= p) open += 0.01;
            }
        }
        open *= 0.75;
        o_color = vec4(open, open, open, 1.0);
    } else {
        o_color = vec4(1.0);
    }
}
)";

constexpr const char* kOcclusionCombineFs = R"(
void main() {
    o_color = texture(t0, v_uv.xy) * texture(t1, v_uv.zw).r;
    if (o_color.a < kAlphaRef) discard;
}
)";

// Row-vector matrices uploaded transposed, so `v * M` is p x M. The clip y is
// negated as the device does, so row 0 of every target is the top.
constexpr const char* kGeometryVs = R"(#version 450 core
layout(location = 0) in vec3 a_position;
layout(location = 1) in vec3 a_normal;
uniform mat4 u_model_view;
uniform mat4 u_proj;
uniform mat4 u_model;
uniform float u_focal;
layout(location = 0) out vec3 v_normal;
layout(location = 1) out vec3 v_view;
void main() {
    vec3 view = (vec4(a_position, 1.0) * u_model_view).xyz;
    gl_Position = vec4(view, 1.0) * u_proj;
    gl_Position.y = -gl_Position.y;
    v_normal = normalize(a_normal * mat3(u_model));
    v_view = vec3(view.xy, view.z / u_focal);
}
)";

constexpr const char* kGeometryFsHead = R"(#version 450 core
layout(location = 0) in vec3 v_normal;
layout(location = 1) in vec3 v_view;
uniform vec3 u_light;
uniform vec4 u_ambient;
layout(location = 0) out vec4 o_color;
)";

// Ambient plus (diffuse 0.1 + light 0.25) times the cosine, opaque.
constexpr const char* kLitFs = R"(
void main() {
    float d = clamp(dot(v_normal, normalize(u_light)), 0.0, 1.0);
    o_color = u_ambient + vec4(0.35, 0.35, 0.35, 0.0) * d;
    o_color.a = 1.0;
}
)";
constexpr const char* kNormalFs = "void main() { o_color = vec4(v_normal, 1.0); }\n";
constexpr const char* kPositionFs = "void main() { o_color = vec4(v_view, 1.0); }\n";

// ---------------------------------------------------------------------------
// [SECTION] Objects
// ---------------------------------------------------------------------------

enum Target { kBack, kScene0, kScene1, kScene2, kPost0, kPost1, kTargets };

enum Program {
    kColorProgram,
    kPictureProgram,
    kPresentProgram,
    kDownFilterProgram,
    kBrightProgram,
    kBlurVProgram,
    kBlurHProgram,
    kCombine4Program,
    kOcclusionProgram,
    kOcclusionCombineProgram,
    kLitProgram,
    kNormalProgram,
    kPositionProgram,
    kPrograms
};

constexpr int kTransformUniforms = 6;

enum Sampler { kMipClamp, kLinearClamp, kLinearWrap, kSamplers };

// Quads in Direct3D pixel coordinates (pixel centres on whole numbers, as
// the show places them), converted to clip space once.
enum Quad {
    kRectQuad,          // the white rectangle: (0, 0) to (1024, 1024)
    kPictureQuad,       // the picture at its own size, half-pixel aligned
    kFullQuad,          // a chain pass over the whole target
    kShrinkQuad,        // into the top-left quarter, reading the whole source
    kQuarterQuad,       // the quarter, reading the quarter
    kGrowQuad,          // the whole target, reading the quarter
    kPresentQuad,       // the present step: one pixel right of and below the scene
    kOverlayQuad,       // scene 0 over the screen, 64 pixels larger to the top left
    kQuads
};

struct QuadVertex {
    float x, y, z;
    float u0, v0, u1, v1;
    uint32_t color;  // BGRA bytes, as a D3DCOLOR
};
static_assert(sizeof(QuadVertex) == 32);

struct DrawState {
    bool depth_test;
    bool depth_write;
    bool blend;
};
constexpr DrawState k2D{true, false, true};         // tested at z 0, never written, blended
constexpr DrawState kGeometry{true, true, true};    // the tower and the mesh
constexpr DrawState kTestedPass{true, true, false}; // chain passes the show leaves depth on for
constexpr DrawState kFreePass{false, false, false}; // chain passes with depth off
constexpr DrawState kPresent{false, false, true};

struct FloorState {
    bool ready = false;
    int post_process = 0;
    GLuint color[kTargets] = {};
    GLuint fbo[kTargets] = {};
    GLuint depth = 0;
    GLuint picture = 0;
    GLuint programs[kPrograms] = {};
    // Per geometry program: where each of the uniforms SetTransforms sets
    // lives, -1 where the compiler dropped it.
    GLint transform_locations[3][kTransformUniforms] = {};
    GLuint samplers[kSamplers] = {};
    GLuint quad_vbo = 0, quad_vao = 0;
    GLuint tower_vbo = 0, tower_vao = 0;
    GLuint mesh_vbo = 0, mesh_vao = 0;
    Stats stats;
    std::vector<uint8_t> rgb;
};
FloorState g;

// ---------------------------------------------------------------------------
// [SECTION] Set-up
// ---------------------------------------------------------------------------

GLuint CompileStage(GLenum type, const std::string& source, const char* name) {
    GLuint shader = glCreateShader(type);
    const char* text = source.c_str();
    glShaderSource(shader, 1, &text, nullptr);
    glCompileShader(shader);
    GLint ok = GL_FALSE;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (!ok) {
        char log[1024] = {};
        glGetShaderInfoLog(shader, sizeof log, nullptr, log);
        plat::LogError("gfx", "floor: %s does not compile: %s", name, log);
        glDeleteShader(shader);
        return 0;
    }
    return shader;
}

GLuint Link(const char* vs_source, const std::string& fs_source, const char* name) {
    GLuint vs = CompileStage(GL_VERTEX_SHADER, vs_source, name);
    GLuint fs = CompileStage(GL_FRAGMENT_SHADER, fs_source, name);
    GLuint program = 0;
    if (vs && fs) {
        program = glCreateProgram();
        glAttachShader(program, vs);
        glAttachShader(program, fs);
        glLinkProgram(program);
        GLint ok = GL_FALSE;
        glGetProgramiv(program, GL_LINK_STATUS, &ok);
        if (!ok) {
            char log[1024] = {};
            glGetProgramInfoLog(program, sizeof log, nullptr, log);
            plat::LogError("gfx", "floor: %s does not link: %s", name, log);
            glDeleteProgram(program);
            program = 0;
        }
    }
    if (vs) glDeleteShader(vs);
    if (fs) glDeleteShader(fs);
    return program;
}

bool MakePrograms() {
    const std::string head = kQuadFsHead;
    const std::string geometry = kGeometryFsHead;
    struct Source {
        Program id;
        const char* vs;
        std::string fs;
        const char* name;
    };
    const Source sources[] = {
        {kColorProgram, kQuadVs, head + kColorFs, "colour"},
        {kPictureProgram, kQuadVs, head + kPictureFs, "picture"},
        {kPresentProgram, kQuadVs, head + kPresentFs, "present"},
        {kDownFilterProgram, kQuadVs, head + kDownFilterFs, "down-filter"},
        {kBrightProgram, kQuadVs, head + kBrightFs, "bright pass"},
        {kBlurVProgram, kQuadVs, head + "const vec2 kDirection = vec2(0.0, 1.0);\n" + kBlurFs, "vertical blur"},
        {kBlurHProgram, kQuadVs, head + "const vec2 kDirection = vec2(1.0, 0.0);\n" + kBlurFs, "horizontal blur"},
        {kCombine4Program, kQuadVs, head + kCombine4Fs, "combine"},
        {kOcclusionProgram, kQuadVs, head + kOcclusionFs, "occlusion"},
        {kOcclusionCombineProgram, kQuadVs, head + kOcclusionCombineFs, "occlusion combine"},
        {kLitProgram, kGeometryVs, geometry + kLitFs, "lit geometry"},
        {kNormalProgram, kGeometryVs, geometry + kNormalFs, "normal geometry"},
        {kPositionProgram, kGeometryVs, geometry + kPositionFs, "position geometry"},
    };
    for (const Source& s : sources) {
        g.programs[s.id] = Link(s.vs, s.fs, s.name);
        if (!g.programs[s.id]) return false;
    }
    // The pixel size never changes. A uniform the compiler dropped has no
    // location, and setting one there would be a GL error.
    for (GLuint program : g.programs) {
        const GLint pixel = glGetUniformLocation(program, "u_pixel");
        if (pixel >= 0) glProgramUniform2f(program, pixel, 1.0f / kWidth, 1.0f / kHeight);
    }
    for (Program p : {kLitProgram, kNormalProgram, kPositionProgram}) {
        GLint* at = g.transform_locations[p - kLitProgram];
        const char* names[kTransformUniforms] = {"u_model_view", "u_proj", "u_model", "u_focal", "u_light", "u_ambient"};
        for (int i = 0; i < kTransformUniforms; ++i) at[i] = glGetUniformLocation(g.programs[p], names[i]);
    }
    return true;
}

void MakeTargets() {
    glCreateRenderbuffers(1, &g.depth);
    glNamedRenderbufferStorage(g.depth, GL_DEPTH_COMPONENT24, kWidth, kHeight);
    glCreateTextures(GL_TEXTURE_2D, kTargets, g.color);
    glCreateFramebuffers(kTargets, g.fbo);
    for (int t = 0; t < kTargets; ++t) {
        glTextureStorage2D(g.color[t], 1, t == kBack ? GL_RGBA8 : GL_RGBA16F, kWidth, kHeight);
        glNamedFramebufferTexture(g.fbo[t], GL_COLOR_ATTACHMENT0, g.color[t], 0);
        glNamedFramebufferRenderbuffer(g.fbo[t], GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, g.depth);
    }
}

// A picture of the background's size and format: a soft diagonal ramp,
// opaque but for a transparent band, so blending has work on both sides.
void MakePicture() {
    std::vector<uint8_t> pixels(size_t{kPictureSize} * kPictureSize * 4);
    for (int y = 0; y < kPictureSize; ++y) {
        for (int x = 0; x < kPictureSize; ++x) {
            uint8_t* p = &pixels[(static_cast<size_t>(y) * kPictureSize + static_cast<size_t>(x)) * 4];
            p[0] = static_cast<uint8_t>(x / 4);
            p[1] = static_cast<uint8_t>(y / 4);
            p[2] = static_cast<uint8_t>((x + y) / 8);
            p[3] = (y > 300 && y < 500) ? 0 : 255;
        }
    }
    glCreateTextures(GL_TEXTURE_2D, 1, &g.picture);
    glTextureStorage2D(g.picture, kPictureLevels, GL_RGBA8, kPictureSize, kPictureSize);
    GLint unpack = 4;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &unpack);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTextureSubImage2D(g.picture, 0, 0, 0, kPictureSize, kPictureSize, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    glPixelStorei(GL_UNPACK_ALIGNMENT, unpack);
    glGenerateTextureMipmap(g.picture);
}

void MakeSamplers() {
    glCreateSamplers(kSamplers, g.samplers);
    const struct {
        Sampler id;
        GLint min, wrap;
    } table[] = {
        {kMipClamp, GL_LINEAR_MIPMAP_LINEAR, GL_CLAMP_TO_EDGE},
        {kLinearClamp, GL_LINEAR, GL_CLAMP_TO_EDGE},
        {kLinearWrap, GL_LINEAR, GL_REPEAT},
    };
    for (const auto& s : table) {
        glSamplerParameteri(g.samplers[s.id], GL_TEXTURE_MIN_FILTER, s.min);
        glSamplerParameteri(g.samplers[s.id], GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glSamplerParameteri(g.samplers[s.id], GL_TEXTURE_WRAP_S, s.wrap);
        glSamplerParameteri(g.samplers[s.id], GL_TEXTURE_WRAP_T, s.wrap);
    }
}

// Corners in Direct3D pixels, as the show's pre-transformed vertices have
// them: the device puts pixel (x, y) at GL window (x + 0.5, y + 0.5),
// counted from the row it treats as the top.
void AddQuad(std::vector<QuadVertex>& out, float x0, float y0, float x1, float y1, float z, float uv0_max) {
    auto cx = [](float x) { return (x + 0.5f) * 2.0f / kWidth - 1.0f; };
    auto cy = [](float y) { return (y + 0.5f) * 2.0f / kHeight - 1.0f; };
    const float m = uv0_max;
    const uint32_t white = 0xFFFFFFFFu;
    out.push_back({cx(x0), cy(y0), z, 0.f, 0.f, 0.f, 0.f, white});
    out.push_back({cx(x1), cy(y0), z, m, 0.f, 1.f, 0.f, white});
    out.push_back({cx(x0), cy(y1), z, 0.f, m, 0.f, 1.f, white});
    out.push_back({cx(x1), cy(y1), z, m, m, 1.f, 1.f, white});
}

void MakeQuads() {
    // The chain's quads run from -0.5 to the size - 0.5 at depth 0.5 (a
    // quarter: 256 x 192 pixels); the 2D layer's lie at depth 0, pictures
    // on half pixels; the present quad is one pixel right and down.
    const float w = kWidth, h = kHeight, qw = kWidth / 4, qh = kHeight / 4;
    std::vector<QuadVertex> v;
    AddQuad(v, 0.0f, 0.0f, 1024.0f, 1024.0f, 0.0f, 1.f);           // kRectQuad
    AddQuad(v, 0.5f, 0.5f, 1024.5f, 1024.5f, 0.0f, 1.f);           // kPictureQuad
    AddQuad(v, -0.5f, -0.5f, w - 0.5f, h - 0.5f, 0.5f, 1.f);       // kFullQuad
    AddQuad(v, -0.5f, -0.5f, qw - 0.5f, qh - 0.5f, 0.5f, 1.f);     // kShrinkQuad
    AddQuad(v, -0.5f, -0.5f, qw - 0.5f, qh - 0.5f, 0.5f, 0.25f);   // kQuarterQuad
    AddQuad(v, -0.5f, -0.5f, w - 0.5f, h - 0.5f, 0.5f, 0.25f);     // kGrowQuad
    AddQuad(v, 0.5f, 0.5f, w + 0.5f, h + 0.5f, 0.5f, 1.f);         // kPresentQuad
    AddQuad(v, -63.5f, -63.5f, w + 0.5f, h + 0.5f, 0.0f, 1.f);     // kOverlayQuad
    glCreateBuffers(1, &g.quad_vbo);
    glNamedBufferStorage(g.quad_vbo, static_cast<GLsizeiptr>(v.size() * sizeof(QuadVertex)), v.data(), 0);
    glCreateVertexArrays(1, &g.quad_vao);
    glVertexArrayVertexBuffer(g.quad_vao, 0, g.quad_vbo, 0, sizeof(QuadVertex));
    const struct {
        GLuint location;
        GLint size;
        GLenum type;
        GLboolean normalized;
        GLuint offset;
    } attributes[] = {
        {0, 3, GL_FLOAT, GL_FALSE, 0},
        {1, 4, GL_FLOAT, GL_FALSE, 12},
        {2, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, 28},
    };
    for (const auto& a : attributes) {
        glEnableVertexArrayAttrib(g.quad_vao, a.location);
        glVertexArrayAttribBinding(g.quad_vao, a.location, 0);
        glVertexArrayAttribFormat(g.quad_vao, a.location, a.size, a.type, a.normalized, a.offset);
    }
}

// Position at 0, normal at 12; the buffer is re-specified every frame
// but keeps its name, so the binding is made once.
void MakeGeometryArray(GLuint* vbo, GLuint* vao) {
    glCreateBuffers(1, vbo);
    glCreateVertexArrays(1, vao);
    glVertexArrayVertexBuffer(*vao, 0, *vbo, 0, kGeometryStride);
    for (GLuint location : {0u, 1u}) {
        glEnableVertexArrayAttrib(*vao, location);
        glVertexArrayAttribBinding(*vao, location, 0);
        glVertexArrayAttribFormat(*vao, location, 3, GL_FLOAT, GL_FALSE, location * 12);
    }
}

// ---------------------------------------------------------------------------
// [SECTION] The caller's GL state
// ---------------------------------------------------------------------------

struct SavedGl {
    GLint draw_fbo = 0, program = 0, vao = 0, active_texture = GL_TEXTURE0;
    GLint viewport[4] = {};
    GLint textures[kUnits] = {}, samplers[kUnits] = {};
    GLboolean depth_test = GL_FALSE, blend = GL_FALSE, cull = GL_FALSE, depth_mask = GL_TRUE;
    GLint depth_func = GL_LESS;
    GLint src_rgb = GL_ONE, dst_rgb = GL_ZERO, src_alpha = GL_ONE, dst_alpha = GL_ZERO;
    GLint eq_rgb = GL_FUNC_ADD, eq_alpha = GL_FUNC_ADD;
};

SavedGl Save() {
    SavedGl s;
    glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &s.draw_fbo);
    glGetIntegerv(GL_CURRENT_PROGRAM, &s.program);
    glGetIntegerv(GL_VERTEX_ARRAY_BINDING, &s.vao);
    glGetIntegerv(GL_VIEWPORT, s.viewport);
    glGetIntegerv(GL_ACTIVE_TEXTURE, &s.active_texture);
    for (int u = 0; u < kUnits; ++u) {
        glActiveTexture(GL_TEXTURE0 + static_cast<GLenum>(u));
        glGetIntegerv(GL_TEXTURE_BINDING_2D, &s.textures[u]);
        glGetIntegerv(GL_SAMPLER_BINDING, &s.samplers[u]);
    }
    glActiveTexture(static_cast<GLenum>(s.active_texture));
    s.depth_test = glIsEnabled(GL_DEPTH_TEST);
    s.blend = glIsEnabled(GL_BLEND);
    s.cull = glIsEnabled(GL_CULL_FACE);
    glGetBooleanv(GL_DEPTH_WRITEMASK, &s.depth_mask);
    glGetIntegerv(GL_DEPTH_FUNC, &s.depth_func);
    glGetIntegerv(GL_BLEND_SRC_RGB, &s.src_rgb);
    glGetIntegerv(GL_BLEND_DST_RGB, &s.dst_rgb);
    glGetIntegerv(GL_BLEND_SRC_ALPHA, &s.src_alpha);
    glGetIntegerv(GL_BLEND_DST_ALPHA, &s.dst_alpha);
    glGetIntegerv(GL_BLEND_EQUATION_RGB, &s.eq_rgb);
    glGetIntegerv(GL_BLEND_EQUATION_ALPHA, &s.eq_alpha);
    return s;
}

void Enable(GLenum cap, bool on) { on ? glEnable(cap) : glDisable(cap); }

void Restore(const SavedGl& s) {
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, static_cast<GLuint>(s.draw_fbo));
    glUseProgram(static_cast<GLuint>(s.program));
    glBindVertexArray(static_cast<GLuint>(s.vao));
    glViewport(s.viewport[0], s.viewport[1], s.viewport[2], s.viewport[3]);
    for (int u = 0; u < kUnits; ++u) {
        glBindTextureUnit(static_cast<GLuint>(u), static_cast<GLuint>(s.textures[u]));
        glBindSampler(static_cast<GLuint>(u), static_cast<GLuint>(s.samplers[u]));
    }
    Enable(GL_DEPTH_TEST, s.depth_test);
    Enable(GL_BLEND, s.blend);
    Enable(GL_CULL_FACE, s.cull);
    glDepthMask(s.depth_mask);
    glDepthFunc(static_cast<GLenum>(s.depth_func));
    glBlendFuncSeparate(static_cast<GLenum>(s.src_rgb), static_cast<GLenum>(s.dst_rgb),
                        static_cast<GLenum>(s.src_alpha), static_cast<GLenum>(s.dst_alpha));
    glBlendEquationSeparate(static_cast<GLenum>(s.eq_rgb), static_cast<GLenum>(s.eq_alpha));
}

// ---------------------------------------------------------------------------
// [SECTION] Drawing
// ---------------------------------------------------------------------------

void ClearColor(Target t, float r, float gr, float b, float a) {
    const float c[4] = {r, gr, b, a};
    glClearNamedFramebufferfv(g.fbo[t], GL_COLOR, 0, c);
    ++g.stats.clears;
}

void ClearDepth(Target t) {
    // A clear obeys the depth mask.
    glDepthMask(GL_TRUE);
    const float one = 1.0f;
    glClearNamedFramebufferfv(g.fbo[t], GL_DEPTH, 0, &one);
    ++g.stats.clears;
}

void Apply(Target t, Program p, const DrawState& s) {
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, g.fbo[t]);
    glUseProgram(g.programs[p]);
    Enable(GL_DEPTH_TEST, s.depth_test);
    glDepthMask(s.depth_write ? GL_TRUE : GL_FALSE);
    Enable(GL_BLEND, s.blend);
}

void Bind(int unit, GLuint texture, Sampler sampler) {
    glBindTextureUnit(static_cast<GLuint>(unit), texture);
    glBindSampler(static_cast<GLuint>(unit), g.samplers[sampler]);
}

void DrawQuad(Target t, Program p, Quad q, const DrawState& s) {
    Apply(t, p, s);
    glBindVertexArray(g.quad_vao);
    glDrawArrays(GL_TRIANGLE_STRIP, q * 4, 4);
    ++g.stats.draws;
    ++g.stats.quads;
}

// The matrices, light and ambient level of one object, on the programs
// that draw it.
void SetTransforms(Program p, const float* model_view, const float* proj, const float* model, float focal,
                   float ambient) {
    const GLuint program = g.programs[p];
    const GLint* at = g.transform_locations[p - kLitProgram];
    if (at[0] >= 0) glProgramUniformMatrix4fv(program, at[0], 1, GL_TRUE, model_view);
    if (at[1] >= 0) glProgramUniformMatrix4fv(program, at[1], 1, GL_TRUE, proj);
    if (at[2] >= 0) glProgramUniformMatrix4fv(program, at[2], 1, GL_TRUE, model);
    if (at[3] >= 0) glProgramUniform1f(program, at[3], focal);
    if (at[4] >= 0) glProgramUniform3f(program, at[4], -0.5f, 0.25f, 0.25f);
    if (at[5] >= 0) glProgramUniform4f(program, at[5], ambient, ambient, ambient, 1.0f);
}

void DrawGeometry(Target t, Program p, GLuint vao, Range r) {
    if (r.count == 0) return;
    Apply(t, p, kGeometry);
    glBindVertexArray(vao);
    glDrawArrays(GL_TRIANGLES, static_cast<GLint>(r.first), static_cast<GLsizei>(r.count));
    ++g.stats.draws;
}

void Upload(GLuint vbo, const void* data, uint32_t vertices) {
    const size_t bytes = static_cast<size_t>(vertices) * kGeometryStride;
    if (!data || bytes == 0) return;
    // A new store each time: the driver never waits for the last frame's draws.
    glNamedBufferData(vbo, static_cast<GLsizeiptr>(bytes), data, GL_STREAM_DRAW);
    g.stats.bytes_uploaded += static_cast<uint32_t>(bytes);
}

// Background and tower, into the back buffer or through the three scene
// targets and the occlusion chain.
void DrawTowerPart(const FrameInput& in) {
    const Range tower{0, in.tower ? in.tower_vertices : 0};
    Upload(g.tower_vbo, in.tower, in.tower_vertices);
    const Program tower_programs[] = {kLitProgram, kNormalProgram, kPositionProgram};
    for (Program p : tower_programs) {
        SetTransforms(p, in.tower_model_view, in.proj, in.tower_model, in.focal_plane_length, 0.517f);
    }
    Bind(0, g.picture, kMipClamp);
    if (g.post_process == 0) {
        DrawQuad(kBack, kColorProgram, kRectQuad, k2D);
        DrawQuad(kBack, kPictureProgram, kPictureQuad, k2D);
        DrawGeometry(kBack, kLitProgram, g.tower_vao, tower);
        return;
    }
    for (Target t : {kScene0, kScene1, kScene2}) ClearColor(t, 1.f, 1.f, 1.f, 0.f);
    DrawQuad(kScene0, kColorProgram, kRectQuad, k2D);
    DrawQuad(kScene0, kPictureProgram, kPictureQuad, k2D);
    DrawGeometry(kScene0, kLitProgram, g.tower_vao, tower);
    DrawGeometry(kScene1, kNormalProgram, g.tower_vao, tower);
    DrawGeometry(kScene2, kPositionProgram, g.tower_vao, tower);

    ClearColor(kPost1, 0.f, 0.f, 0.f, 0.f);
    Bind(0, g.color[kScene0], kLinearWrap);
    Bind(1, g.color[kScene2], kLinearWrap);
    DrawQuad(kPost1, kOcclusionProgram, kFullQuad, kFreePass);
    ClearColor(kPost0, 0.f, 0.f, 0.f, 0.f);
    Bind(0, g.color[kPost1], kLinearWrap);
    Bind(1, g.color[kScene0], kLinearWrap);
    DrawQuad(kPost0, kOcclusionCombineProgram, kFullQuad, kTestedPass);
    Bind(0, g.color[kPost0], kLinearWrap);
    DrawQuad(kBack, kPresentProgram, kPresentQuad, kPresent);
}

// The mesh into scene 0, the bloom chain, and the sharp copy on top.
void DrawMeshPart(const FrameInput& in) {
    ClearColor(kScene0, 1.f, 1.f, 1.f, 0.f);
    ClearDepth(kScene0);
    Upload(g.mesh_vbo, in.mesh, in.mesh_vertices);
    SetTransforms(kLitProgram, in.mesh_model_view, in.proj, in.mesh_model, in.focal_plane_length, 0.769f);
    if (in.mesh) {
        for (const Range& r : in.mesh_draws) {
            if (r.first + r.count <= in.mesh_vertices) DrawGeometry(kScene0, kLitProgram, g.mesh_vao, r);
        }
    }

    const struct {
        Target out;
        Program program;
        Quad quad;
        GLuint t0, t1;
        DrawState state;
    } chain[] = {
        {kPost1, kDownFilterProgram, kShrinkQuad, g.color[kScene0], 0, kTestedPass},
        {kPost0, kBrightProgram, kQuarterQuad, g.color[kPost1], 0, kTestedPass},
        {kPost1, kBlurVProgram, kQuarterQuad, g.color[kPost0], 0, kFreePass},
        {kPost0, kBlurHProgram, kQuarterQuad, g.color[kPost1], 0, kFreePass},
        {kPost1, kCombine4Program, kGrowQuad, g.color[kPost0], g.color[kScene0], kTestedPass},
    };
    for (const auto& link : chain) {
        ClearColor(link.out, 0.f, 0.f, 0.f, 0.f);
        Bind(0, link.t0, kLinearWrap);
        Bind(1, link.t1, kLinearWrap);
        DrawQuad(link.out, link.program, link.quad, link.state);
    }
    Bind(0, g.color[kPost1], kLinearWrap);
    DrawQuad(kBack, kPresentProgram, kPresentQuad, kPresent);
    Bind(0, g.color[kScene0], kLinearClamp);
    DrawQuad(kBack, kPictureProgram, kOverlayQuad, k2D);
}

}  // namespace

// ---------------------------------------------------------------------------
// [SECTION] Entry points
// ---------------------------------------------------------------------------

bool Setup(int post_process) {
    Release();
    if (!SDL_GL_GetCurrentContext() || epoxy_gl_version() < 45) {
        plat::LogError("gfx", "floor: no OpenGL 4.5 context is current");
        return false;
    }
    g.post_process = post_process == 1 ? 1 : 0;
    if (!MakePrograms()) {
        Release();
        return false;
    }
    MakeTargets();
    MakePicture();
    MakeSamplers();
    MakeQuads();
    MakeGeometryArray(&g.tower_vbo, &g.tower_vao);
    MakeGeometryArray(&g.mesh_vbo, &g.mesh_vao);
    g.rgb.assign(size_t{kWidth} * kHeight * 3, 0);
    g.ready = true;
    return true;
}

void RenderFrame(const FrameInput& input) {
    if (!g.ready) return;
    const SavedGl saved = Save();
    g.stats = Stats{};
    glViewport(0, 0, kWidth, kHeight);
    glDisable(GL_CULL_FACE);
    glDepthFunc(GL_LEQUAL);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glBlendEquation(GL_FUNC_ADD);

    ClearDepth(kBack);
    ClearColor(kBack, 1.f, 1.f, 1.f, 0.f);
    DrawTowerPart(input);
    DrawMeshPart(input);
    Restore(saved);
}

void Finish() {
    if (!g.ready) return;
    if (SDL_Window* window = SDL_GL_GetCurrentWindow()) {
        int ww = 0, wh = 0;
        SDL_GL_GetDrawableSize(window, &ww, &wh);
        if (ww > 0 && wh > 0) {
            // Letterboxed into the window and flipped, as the device presents.
            int dw = ww, dh = static_cast<int>(static_cast<long long>(ww) * kHeight / kWidth);
            if (dh > wh) {
                dh = wh;
                dw = static_cast<int>(static_cast<long long>(wh) * kWidth / kHeight);
            }
            const int dx = (ww - dw) / 2, dy = (wh - dh) / 2;
            const float black[4] = {0.f, 0.f, 0.f, 1.f};
            glClearNamedFramebufferfv(0, GL_COLOR, 0, black);
            glBlitNamedFramebuffer(g.fbo[kBack], 0, 0, 0, kWidth, kHeight, dx, dy + dh, dx + dw, dy,
                                   GL_COLOR_BUFFER_BIT, (dw == kWidth && dh == kHeight) ? GL_NEAREST : GL_LINEAR);
        }
        SDL_GL_SwapWindow(window);
    }
    GLint pack = 4;
    glGetIntegerv(GL_PACK_ALIGNMENT, &pack);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTextureImage(g.color[kBack], 0, GL_RGB, GL_UNSIGNED_BYTE, static_cast<GLsizei>(g.rgb.size()), g.rgb.data());
    glPixelStorei(GL_PACK_ALIGNMENT, pack);
}

void Release() {
    if (SDL_GL_GetCurrentContext()) {
        for (GLuint& p : g.programs) {
            if (p) glDeleteProgram(p);
            p = 0;
        }
        glDeleteFramebuffers(kTargets, g.fbo);
        glDeleteTextures(kTargets, g.color);
        glDeleteTextures(1, &g.picture);
        glDeleteRenderbuffers(1, &g.depth);
        glDeleteSamplers(kSamplers, g.samplers);
        const GLuint buffers[] = {g.quad_vbo, g.tower_vbo, g.mesh_vbo};
        glDeleteBuffers(3, buffers);
        const GLuint arrays[] = {g.quad_vao, g.tower_vao, g.mesh_vao};
        glDeleteVertexArrays(3, arrays);
    }
    g = FloorState{};
}

const Stats& LastFrameStats() { return g.stats; }

std::span<const uint8_t> LastImage() { return g.rgb; }

}  // namespace bench::floor
