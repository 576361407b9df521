// Shader stages of the graphics device: compilation with the device's
// prelude, uniforms by name, pass-through stages for pre-transformed
// vertices, and the pipelines that pair a vertex and a pixel stage.
#include <cstdio>
#include <string>

#include "platform/gfx/internal.h"
#include "platform/os/log.h"

namespace plat::gfx {
namespace {

// Every vertex stage ends with two corrections:
//  - Direct3D 9 puts pixel centres at integer coordinates, GL at .5: the clip
//    position moves half a pixel right and down (kelo_pixel_shift =
//    (1/width, -1/height) of the bound target, times w);
//  - Direct3D's clip-space y points up the screen and row 0 of every target
//    is the top. GL keeps its lower-left origin and the stage negates y, so
//    the top of the picture lands in row 0 of the target, as Direct3D has
//    it. (GL's upper-left clip origin would do the same but flips the
//    rasteriser's tie rule: a pixel centre on a quad's top edge must be
//    filled and one on its bottom edge not, as Direct3D does; this way it is.)
constexpr const char* kVertexEpilogue = R"(
#undef main
uniform vec2 kelo_pixel_shift;
void main() {
    kelo_user_main();
    gl_Position.xy += kelo_pixel_shift * gl_Position.w;
    gl_Position.y = -gl_Position.y;
}
)";

// The alpha test of Direct3D 9, on the 8-bit alpha the blender would see:
// kelo_alpha_test = (enabled, compare function, reference 0..255).
constexpr const char* kPixelEpilogueHead = R"(
#undef main
uniform vec3 kelo_alpha_test;
bool kelo_alpha_passes(float alpha) {
    float a = floor(clamp(alpha, 0.0, 1.0) * 255.0 + 0.5);
    float r = kelo_alpha_test.z;
    int f = int(kelo_alpha_test.y);
    if (f == 1) return false;
    if (f == 2) return a < r;
    if (f == 3) return a == r;
    if (f == 4) return a <= r;
    if (f == 5) return a > r;
    if (f == 6) return a != r;
    if (f == 7) return a >= r;
    return true;
}
void main() {
    kelo_user_main();
)";

std::string StripVersion(std::string_view src) {
    size_t p = src.find_first_not_of(" \t\r\n");
    if (p != std::string_view::npos && src.substr(p, 8) == "#version") {
        size_t eol = src.find('\n', p);
        return eol == std::string_view::npos ? std::string() : std::string(src.substr(eol + 1));
    }
    return std::string(src);
}

GLuint CompileSeparable(GLenum type, const std::string& source, std::string* log) {
    // Mesa compiles with LLVM, which crashes rather than fail when memory
    // runs out half-way; a shader of ours needs well under this much.
    RequireAddressSpace(64u << 20);
    const char* text = source.c_str();
    GLuint program = glCreateShaderProgramv(type, 1, &text);
    GLint ok = GL_FALSE;
    glGetProgramiv(program, GL_LINK_STATUS, &ok);
    if (!ok) {
        GLint len = 0;
        glGetProgramiv(program, GL_INFO_LOG_LENGTH, &len);
        std::string msg(static_cast<size_t>(len > 0 ? len : 1), '\0');
        glGetProgramInfoLog(program, len, nullptr, msg.data());
        if (log) *log = msg;
        glDeleteProgram(program);
        return 0;
    }
    return program;
}

const char* GlslType(GLenum type) {
    switch (type) {
        case GL_FLOAT: return "float";
        case GL_FLOAT_VEC2: return "vec2";
        case GL_FLOAT_VEC3: return "vec3";
        default: return "vec4";
    }
}

const char* Swizzle(GLenum type) {
    switch (type) {
        case GL_FLOAT: return ".x";
        case GL_FLOAT_VEC2: return ".xy";
        case GL_FLOAT_VEC3: return ".xyz";
        default: return "";
    }
}

}  // namespace

Shader::Shader(Device* device, ShaderStage stage, uint32_t program, uint32_t program_without_alpha_test)
    : device_(device), stage_(stage), gl_program_(program), gl_program_no_test_(program_without_alpha_test) {
    device_->impl().live.insert(this);
    pixel_shift_location_ = glGetUniformLocation(program, "kelo_pixel_shift");
    alpha_test_location_ = glGetUniformLocation(program, "kelo_alpha_test");
}

Shader::~Shader() {
    if (!device_) return;
    Device::Impl& impl = device_->impl();
    for (auto it = impl.pipelines.begin(); it != impl.pipelines.end();) {
        if (it->first.first == gl_program_ || it->first.second == gl_program_ ||
            (gl_program_no_test_ && it->first.second == gl_program_no_test_)) {
            if (impl.cache.pipeline == it->second) impl.cache.pipeline = ~0u;
            glDeleteProgramPipelines(1, &it->second);
            it = impl.pipelines.erase(it);
        } else {
            ++it;
        }
    }
    if (stage_ == ShaderStage::Pixel) {
        for (auto it = impl.passthrough.begin(); it != impl.passthrough.end();) {
            if (it->first.second == gl_program_) {
                it->second->Release();
                it = impl.passthrough.erase(it);
            } else {
                ++it;
            }
        }
    }
    glDeleteProgram(gl_program_);
    if (gl_program_no_test_) glDeleteProgram(gl_program_no_test_);
    impl.live.erase(this);
}

const Shader::Locations& Shader::Location(std::string_view name) {
    for (const Locations& l : locations_) {
        if (l.name == name) return l;
    }
    std::string key(name);
    int with_test = -1, without_test = -1;
    if (device_) {
        with_test = glGetUniformLocation(gl_program_, key.c_str());
        if (gl_program_no_test_) without_test = glGetUniformLocation(gl_program_no_test_, key.c_str());
    }
    locations_.push_back({std::move(key), with_test, without_test});
    return locations_.back();
}


// Every value goes to both variants of a pixel stage, so switching the alpha
// test on or off never shows a stale uniform.
bool Shader::SetFloats(std::string_view name, const float* v, size_t count) {
    const Locations& l = Location(name);
    if (l.with_test < 0 || !v) return false;
    for (auto [program, loc] : {std::pair{gl_program_, l.with_test}, std::pair{gl_program_no_test_, l.without_test}}) {
        if (!program || loc < 0) continue;
        switch (count) {
            case 1: glProgramUniform1f(program, loc, v[0]); break;
            case 2: glProgramUniform2f(program, loc, v[0], v[1]); break;
            case 3: glProgramUniform3f(program, loc, v[0], v[1], v[2]); break;
            case 4: glProgramUniform4f(program, loc, v[0], v[1], v[2], v[3]); break;
            case 16: glProgramUniformMatrix4fv(program, loc, 1, GL_TRUE, v); break;
            default: glProgramUniform1fv(program, loc, static_cast<GLsizei>(count), v); break;
        }
    }
    return true;
}

bool Shader::SetMatrix(std::string_view name, const float* m16) {
    const Locations& l = Location(name);
    if (l.with_test < 0 || !m16) return false;
    // The program stores matrices row by row for row vectors (p x M). GL's
    // mat4 is column-major, so transposing on upload gives a GLSL matrix
    // whose `v * M` is exactly p x M.
    glProgramUniformMatrix4fv(gl_program_, l.with_test, 1, GL_TRUE, m16);
    if (gl_program_no_test_ && l.without_test >= 0)
        glProgramUniformMatrix4fv(gl_program_no_test_, l.without_test, 1, GL_TRUE, m16);
    return true;
}

bool Shader::SetInt(std::string_view name, int value) {
    const Locations& l = Location(name);
    if (l.with_test < 0) return false;
    glProgramUniform1i(gl_program_, l.with_test, value);
    if (gl_program_no_test_ && l.without_test >= 0) glProgramUniform1i(gl_program_no_test_, l.without_test, value);
    return true;
}

Shader* Device::CreateShader(ShaderStage stage, std::string_view glsl, std::string_view color_output,
                             std::string* log) {
    std::string source = "#version 450 core\n#define main kelo_user_main\n";
    source += StripVersion(glsl);
    std::string without_test;  // the pixel stage with the alpha test left out
    if (stage == ShaderStage::Vertex) {
        source += kVertexEpilogue;
    } else {
        source += kPixelEpilogueHead;
        if (!color_output.empty()) {
            without_test = source + "}\n";
            source += "    if (kelo_alpha_test.x > 0.5 && !kelo_alpha_passes(";
            source += color_output;
            source += ".a)) discard;\n";
        }
        source += "}\n";
    }
    std::string msg;
    GLuint program =
        CompileSeparable(stage == ShaderStage::Vertex ? GL_VERTEX_SHADER : GL_FRAGMENT_SHADER, source, &msg);
    if (!program) {
        LogWarning("gfx", "shader does not compile: %s", msg.c_str());
        if (log) *log = msg;
        return nullptr;
    }
    if (!without_test.empty()) {
        // The same code less one line: if it compiled above, so does this.
        GLuint plain = CompileSeparable(GL_FRAGMENT_SHADER, without_test, &msg);
        if (!plain) LogWarning("gfx", "pixel stage without the alpha test does not compile: %s", msg.c_str());
        return new Shader(this, stage, program, plain);
    }
    return new Shader(this, stage, program);
}

// A vertex stage for a pre-transformed declaration feeding `ps`: it turns
// pixel positions into clip space for the bound target and hands every
// element the pixel stage reads to the link of the same semantic. Inputs the
// declaration lacks read Direct3D's defaults: white for COLOR, 0 otherwise.
static std::string PassThroughSource(const VertexDecl& decl, GLuint ps) {
    std::string src;
    src += "layout(location = 0) in vec4 kelo_in_position;\n";
    src += "uniform vec2 kelo_target_size;\n";
    std::string body;
    GLint count = 0;
    glGetProgramInterfaceiv(ps, GL_PROGRAM_INPUT, GL_ACTIVE_RESOURCES, &count);
    for (GLint i = 0; i < count; ++i) {
        const GLenum props[] = {GL_LOCATION, GL_TYPE};
        GLint values[2] = {-1, 0};
        glGetProgramResourceiv(ps, GL_PROGRAM_INPUT, static_cast<GLuint>(i), 2, props, 2, nullptr, values);
        int link = values[0];
        GLenum type = static_cast<GLenum>(values[1]);
        if (link < 0) continue;  // built-ins such as gl_FragCoord
        DeclUsage usage = link < 2 ? DeclUsage::Color : DeclUsage::TexCoord;
        unsigned index = static_cast<unsigned>(link < 2 ? link : link - 2);
        char line[160];
        std::snprintf(line, sizeof line, "layout(location = %d) out %s kelo_out_%d;\n", link, GlslType(type), link);
        src += line;
        const VertexElement* source = nullptr;
        for (const VertexElement& e : decl.Elements()) {
            if (e.usage == usage && e.usage_index == index) source = &e;
        }
        if (source) {
            int attr = AttributeLocation(source->usage, source->usage_index);
            std::snprintf(line, sizeof line, "layout(location = %d) in vec4 kelo_in_%d;\n", attr, attr);
            src += line;
            std::snprintf(line, sizeof line, "    kelo_out_%d = kelo_in_%d%s;\n", link, attr, Swizzle(type));
        } else {
            std::snprintf(line, sizeof line, "    kelo_out_%d = %s(%s)%s;\n", link, "vec4",
                          usage == DeclUsage::Color ? "1.0" : "0.0, 0.0, 0.0, 1.0", Swizzle(type));
        }
        body += line;
    }
    src += "void main() {\n";
    // D3D9 pixel (x, y) is GL window (x + 0.5, y + 0.5) counted from the
    // top; rhw gives w; y is negated as in every vertex stage.
    src += "    float w = kelo_in_position.w != 0.0 ? 1.0 / kelo_in_position.w : 1.0;\n";
    src += "    vec2 ndc = vec2((kelo_in_position.x + 0.5) * 2.0 / kelo_target_size.x - 1.0,\n";
    src += "                    1.0 - (kelo_in_position.y + 0.5) * 2.0 / kelo_target_size.y);\n";
    src += "    gl_Position = vec4(ndc.x * w, -ndc.y * w, kelo_in_position.z * w, w);\n";
    src += body;
    src += "}\n";
    return src;
}

GLuint DevicePipelineFor(Device& device, VertexDecl* decl, Shader* vs, Shader* ps, bool alpha_test, Shader** used_vs) {
    Device::Impl& impl = device.impl();
    *used_vs = nullptr;
    if (!ps || !decl) return 0;
    Shader* stage = vs;
    if (decl->IsPreTransformed()) {
        auto key = std::make_pair(static_cast<const VertexDecl*>(decl), static_cast<GLuint>(ps->GlName()));
        auto it = impl.passthrough.find(key);
        if (it == impl.passthrough.end()) {
            std::string log;
            std::string src = "#version 450 core\n" + PassThroughSource(*decl, ps->GlName());
            GLuint program = CompileSeparable(GL_VERTEX_SHADER, src, &log);
            if (!program) {
                LogError("gfx", "pass-through stage does not compile: %s", log.c_str());
                return 0;
            }
            it = impl.passthrough.emplace(key, new Shader(&device, ShaderStage::Vertex, program)).first;
        }
        stage = it->second;
    }
    if (!stage) return 0;
    const GLuint pixel = alpha_test || !ps->gl_program_no_test_ ? ps->gl_program_ : ps->gl_program_no_test_;
    auto key = std::make_pair(static_cast<GLuint>(stage->GlName()), pixel);
    auto it = impl.pipelines.find(key);
    if (it == impl.pipelines.end()) {
        GLuint pipeline = 0;
        glCreateProgramPipelines(1, &pipeline);
        glUseProgramStages(pipeline, GL_VERTEX_SHADER_BIT, key.first);
        glUseProgramStages(pipeline, GL_FRAGMENT_SHADER_BIT, key.second);
        it = impl.pipelines.emplace(key, pipeline).first;
    }
    *used_vs = stage;
    return it->second;
}

}  // namespace plat::gfx
