// kelo-fxc - compiles effect files the way kelo does and tells what is in
// them: techniques and passes with their states and annotations, parameters
// with their types and defaults, and every compile message.
//
//   kelo-fxc [--glsl] [--defaults] [-I DIR]... [-D NAME[=VALUE]]... FILE.fx...
//
// Each file goes through the preprocessor first: its quoted #include files
// are looked for beside it, then in each -I directory in order. --defaults
// prints only each parameter's type and the default it starts with, element
// by element, so what the front end read can be checked.
//
// Exit status 0 only when every file compiled. Runs headless (it makes an
// off-screen OpenGL device, since compiling ends in the driver).
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "platform/fx/effect.h"
#include "platform/os/file_read.h"
#include "platform/os/window.h"

using namespace plat;

namespace {

// Effect files are a few kilobytes; anything near this is not one.
constexpr size_t kMaxFileBytes = 64u * 1024 * 1024;

std::string Join(const std::vector<float>& v) {
    std::string out;
    for (size_t i = 0; i < v.size(); ++i) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%s%g", i ? ", " : "", static_cast<double>(v[i]));
        out += buf;
    }
    return out;
}

void PrintAnnotations(const std::vector<fx::Annotation>& list, const char* indent) {
    for (const fx::Annotation& a : list) {
        std::printf("%sannotation %s %s = %s\n", indent, a.type.c_str(), a.name.c_str(),
                    a.values.empty() ? ("\"" + a.text + "\"").c_str() : Join(a.values).c_str());
    }
}

void PrintShader(const char* what, const fx::ShaderRef& s) {
    if (s.present) {
        std::printf("      %s = compile %s %s(%s)\n", what, s.profile.c_str(), s.entry.c_str(), s.arguments.c_str());
    } else {
        std::printf("      %s = none%s\n", what, std::strcmp(what, "VertexShader") == 0 ? " (pre-transformed vertices)" : "");
    }
}

void PrintDesc(const fx::EffectDesc& d) {
    for (const fx::Technique& t : d.techniques) {
        std::printf("  technique \"%s\" (%zu pass%s)\n", t.name.c_str(), t.passes.size(), t.passes.size() == 1 ? "" : "es");
        PrintAnnotations(t.annotations, "    ");
        for (const fx::Pass& p : t.passes) {
            std::printf("    pass %s\n", p.name.c_str());
            PrintAnnotations(p.annotations, "      ");
            for (const fx::StateAssignment& s : p.states) std::printf("      %s = %s\n", s.name.c_str(), s.value.c_str());
            PrintShader("VertexShader", p.vertex_shader);
            PrintShader("PixelShader", p.pixel_shader);
        }
    }
    for (const fx::Parameter& p : d.parameters) {
        std::printf("  parameter %s %s", p.type.c_str(), p.name.c_str());
        if (p.elements) std::printf("[%d]", p.elements);
        if (p.has_default) std::printf(" = {%s}", Join(p.defaults).c_str());
        std::printf("\n");
        PrintAnnotations(p.annotations, "    ");
    }
    for (const fx::Sampler& s : d.samplers) {
        std::printf("  sampler %s %s on %s", s.type.c_str(), s.name.c_str(), s.texture.empty() ? "(no texture)" : s.texture.c_str());
        for (const fx::StateAssignment& st : s.states) std::printf(", %s = %s", st.name.c_str(), st.value.c_str());
        std::printf("\n");
    }
}

constexpr const char* kUsage =
    "usage: kelo-fxc [--glsl] [--defaults] [-I DIR]... [-D NAME[=VALUE]]... FILE.fx...\n";
// One line per parameter: "float2 offs[16] = {{-1.5, -1.5}, ..., {1.5, 1.5}}",
// each element (and each matrix row) in its own braces; "(none)" when the
// file gives no default and the parameter starts at zero.
void PrintDefaults(const fx::EffectDesc& d) {
    for (const fx::Parameter& p : d.parameters) {
        std::printf("  %s %s", p.type.c_str(), p.name.c_str());
        if (p.elements) std::printf("[%d]", p.elements);
        if (p.cls == fx::ParamClass::Texture || p.cls == fx::ParamClass::Sampler) {
            std::printf("\n");
            continue;
        }
        if (!p.has_default) {
            std::printf(" = (none)\n");
            continue;
        }
        const size_t row = static_cast<size_t>(std::max(1, p.columns));
        const size_t element = row * static_cast<size_t>(std::max(1, p.rows));
        std::string text;
        for (size_t e = 0; e < p.defaults.size(); e += element) {
            std::string one;
            for (size_t r = e; r < std::min(p.defaults.size(), e + element); r += row) {
                const std::vector<float> values(p.defaults.begin() + static_cast<std::ptrdiff_t>(r),
                                                p.defaults.begin() + static_cast<std::ptrdiff_t>(std::min(p.defaults.size(), r + row)));
                if (!one.empty()) one += ", ";
                one += p.rows > 1 ? "{" + Join(values) + "}" : Join(values);
            }
            if (!text.empty()) text += ", ";
            text += element > 1 && p.elements ? "{" + one + "}" : one;
        }
        std::printf(" = %s\n", (p.elements || element > 1) ? ("{" + text + "}").c_str() : text.c_str());
    }
}

}  // namespace

int main(int argc, char** argv) {
    bool glsl = false, defaults = false;
    std::vector<std::string> files;
    fx::PreprocessOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--glsl") {
            glsl = true;
        } else if (arg == "--defaults") {
            defaults = true;
        } else if (arg == "--help" || arg == "-h") {
            std::printf("%s"
                        "Compiles each effect file as kelo does and prints its techniques, passes\n"
                        "(states, annotations, shaders), parameters (type, default) and samplers,\n"
                        "then any compile messages. --glsl also prints the generated GLSL;\n"
                        "--defaults prints only each parameter's type and default, element by element.\n"
                        "Each file is preprocessed first: #include \"NAME\" is looked for beside\n"
                        "the file, then in each -I DIR in the order given (#include <NAME> only\n"
                        "in those); -D NAME[=VALUE] defines a macro before the file (NAME alone\n"
                        "means NAME=1, NAME= defines it empty). -IDIR and -DNAME=VALUE work too.\n"
                        "Exit status: 0 when every file compiled, 1 otherwise, 2 on bad usage.\n",
                        kUsage);
            return 0;
        } else if (arg.rfind("-I", 0) == 0 || arg.rfind("-D", 0) == 0) {
            std::string value = arg.substr(2);
            if (value.empty()) {
                if (i + 1 >= argc) {
                    std::fprintf(stderr, "kelo-fxc: %s needs a value\n%s", arg.c_str(), kUsage);
                    return 2;
                }
                value = argv[++i];
            }
            if (arg[1] == 'I') {
                options.include_dirs.push_back(value);
            } else {
                const size_t eq = value.find('=');
                options.defines.emplace_back(value.substr(0, eq), eq == std::string::npos ? "1" : value.substr(eq + 1));
            }
        } else {
            files.push_back(arg);
        }
    }
    if (files.empty()) {
        std::fprintf(stderr, "%s", kUsage);
        return 2;
    }
    options.read = [](const std::string& path, std::string* text) {
        std::string why;
        return ReadWholeFile(path, kMaxFileBytes, text, &why);
    };
    std::string error;
    gfx::Device* device = nullptr;
    if (!InitVideo(&error, true) || !CreateMainWindow(WindowParams{}, &error) ||
        !(device = gfx::Device::Create(gfx::DeviceParams{}, &error))) {
        std::fprintf(stderr, "kelo-fxc: cannot make an OpenGL 4.5 device: %s\n", error.c_str());
        return 1;
    }
    int failed = 0;
    for (const std::string& file : files) {
        std::string source, why;
        if (!ReadWholeFile(file, kMaxFileBytes, &source, &why)) {
            std::printf("%s: cannot read: %s\n", file.c_str(), why.c_str());
            ++failed;
            continue;
        }
        std::string log;
        options.path = file;
        fx::Effect* effect = fx::Effect::Create(device, source, file, options, &log);
        std::printf("%s: %s\n", file.c_str(), effect ? "compiled" : "FAILED");
        if (effect) {
            defaults ? PrintDefaults(effect->Desc()) : PrintDesc(effect->Desc());
            if (glsl) std::printf("%s", effect->DumpGlsl().c_str());
            effect->Release();
        } else {
            ++failed;
        }
        if (!log.empty()) {
            std::printf("  messages:\n");
            std::istringstream lines(log);
            std::string line;
            while (std::getline(lines, line)) std::printf("    %s\n", line.c_str());
        }
    }
    device->Release();
    ShutdownVideo();
    return failed ? 1 : 0;
}
