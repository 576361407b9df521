#include "platform/fx/shader_compiler.h"

#include <glslang/Public/ResourceLimits.h>
#include <glslang/Public/ShaderLang.h>
#include <glslang/SPIRV/GlslangToSpv.h>
#include <spirv_cross/spirv_glsl.hpp>

#include <cctype>
#include <chrono>
#include <exception>
#include <memory>
#include <mutex>

namespace plat::fx {
namespace {

struct Semantic {
    std::string base;  // upper case, digits removed: "TEXCOORD"
    unsigned index = 0;
};

Semantic SplitSemantic(std::string_view s) {
    Semantic out;
    size_t digits = s.size();
    while (digits > 0 && std::isdigit(static_cast<unsigned char>(s[digits - 1]))) --digits;
    for (size_t i = 0; i < digits; ++i) out.base += static_cast<char>(std::toupper(static_cast<unsigned char>(s[i])));
    if (digits < s.size()) out.index = static_cast<unsigned>(std::stoul(std::string(s.substr(digits))));
    return out;
}

bool UsageOf(const std::string& base, gfx::DeclUsage* usage) {
    if (base == "POSITION" || base == "SV_POSITION") *usage = gfx::DeclUsage::Position;
    else if (base == "POSITIONT") *usage = gfx::DeclUsage::PositionT;
    else if (base == "NORMAL") *usage = gfx::DeclUsage::Normal;
    else if (base == "COLOR" || base == "DIFFUSE" || base == "SPECULAR") *usage = gfx::DeclUsage::Color;
    else if (base == "TEXCOORD") *usage = gfx::DeclUsage::TexCoord;
    else if (base == "TANGENT") *usage = gfx::DeclUsage::Tangent;
    else if (base == "BINORMAL") *usage = gfx::DeclUsage::Binormal;
    else if (base == "BLENDWEIGHT") *usage = gfx::DeclUsage::BlendWeight;
    else if (base == "BLENDINDICES") *usage = gfx::DeclUsage::BlendIndices;
    else if (base == "PSIZE") *usage = gfx::DeclUsage::PSize;
    else if (base == "FOG") *usage = gfx::DeclUsage::Fog;
    else return false;
    return true;
}

double Now() { return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count(); }

void EnsureInitialised();

// HLSL under Vulkan rules, with the DX9 reading of sampler2D/tex2D, and
// each stage variable's semantic kept as a decoration for the mapping below.
constexpr EShMessages kMessages = static_cast<EShMessages>(EShMsgSpvRules | EShMsgVulkanRules | EShMsgReadHlsl |
                                                           EShMsgHlslDX9Compatible | EShMsgHlslLegalization);

bool ToSpirv(std::string_view source, std::string_view file_name, std::string_view entry, gfx::ShaderStage stage,
             std::vector<uint32_t>* spirv, std::string* log) {
    EnsureInitialised();
    const EShLanguage lang = stage == gfx::ShaderStage::Vertex ? EShLangVertex : EShLangFragment;
    glslang::TShader shader(lang);
    const std::string text(source);
    const std::string name(file_name);
    const char* strings[] = {text.c_str()};
    const int lengths[] = {static_cast<int>(text.size())};
    const char* names[] = {name.c_str()};
    shader.setStringsWithLengthsAndNames(strings, lengths, names, 1);
    const std::string entry_name(entry);
    shader.setEntryPoint(entry_name.c_str());
    shader.setSourceEntryPoint(entry_name.c_str());
    shader.setEnvInput(glslang::EShSourceHlsl, lang, glslang::EShClientVulkan, 100);
    shader.setEnvClient(glslang::EShClientVulkan, glslang::EShTargetVulkan_1_0);
    shader.setEnvTarget(glslang::EShTargetSpv, glslang::EShTargetSpv_1_0);
    shader.setEnvTargetHlslFunctionality1();
    shader.setAutoMapLocations(true);
    shader.setAutoMapBindings(true);
    if (!shader.parse(GetDefaultResources(), 100, false, kMessages)) {
        *log += shader.getInfoLog();
        return false;
    }
    glslang::TProgram program;
    program.addShader(&shader);
    if (!program.link(kMessages)) {
        *log += program.getInfoLog();
        return false;
    }
    glslang::SpvOptions options;
    options.disableOptimizer = false;  // the HLSL legalisation passes need it
    spv::SpvBuildLogger logger;
    glslang::GlslangToSpv(*program.getIntermediate(lang), *spirv, &logger, &options);
    const std::string messages = logger.getAllMessages();
    if (!messages.empty()) *log += messages;
    return !spirv->empty();
}

bool Fail(std::string* log, const std::string& what) {
    *log += what;
    *log += "\n";
    return false;
}

}  // namespace

CompilerTimes& CompilerStats() {
    thread_local CompilerTimes times;
    return times;
}

namespace {

// Timed apart from the compiles: it is paid once per process, by whichever
// effect compiles first, on whichever thread.
void EnsureInitialised() {
    static std::once_flag once;
    std::call_once(once, [] {
        const double t0 = Now();
        glslang::InitializeProcess();
        CompilerStats().init += Now() - t0;
    });
}

}  // namespace

bool CompileHlsl(std::string_view source, std::string_view file_name, std::string_view entry,
                 gfx::ShaderStage stage, std::string_view profile,
                 const std::function<int(std::string_view)>& sampler_unit, CompiledStage* out, std::string* log) {
    const bool vertex = stage == gfx::ShaderStage::Vertex;
    const std::string where = std::string(file_name) + ": " + std::string(entry) + " (" + std::string(profile) + "): ";
    if (vertex != (profile.substr(0, 3) == "vs_")) return Fail(log, where + "profile does not match the stage");

    std::vector<uint32_t> spirv;
    EnsureInitialised();
    const double t0 = Now();
    const bool ok = ToSpirv(source, file_name, entry, stage, &spirv, log);
    const double t1 = Now();
    CompilerStats().glslang += t1 - t0;
    if (!ok) return false;
    struct CrossTimer {
        double start = Now();
        ~CrossTimer() { CompilerStats().spirv_cross += Now() - start; }
    } cross_timer;

    // SPIRV-Cross reports failures by exception; none may leave this file.
    try {
        spirv_cross::CompilerGLSL cross(std::move(spirv));
        spirv_cross::ShaderResources res = cross.get_shader_resources();

        for (const spirv_cross::Resource& r : res.stage_inputs) {
            const Semantic sem = SplitSemantic(cross.get_decoration_string(r.id, spv::DecorationUserSemantic));
            gfx::DeclUsage usage;
            if (!UsageOf(sem.base, &usage)) {
                return Fail(log, where + "input semantic '" + sem.base + "' is not supported (inputs are POSITION, "
                                         "NORMAL, COLORn, TEXCOORDn, TANGENT, BINORMAL, BLENDWEIGHT, BLENDINDICES, "
                                         "FOG; VPOS and VFACE in pixel stages)");
            }
            const int loc = vertex ? gfx::AttributeLocation(usage, sem.index) : gfx::VaryingLocation(usage, sem.index);
            if (loc < 0) {
                return Fail(log, where + "input '" + r.name + "' (" + sem.base + std::to_string(sem.index) + ") has no " +
                                     (vertex ? "vertex attribute" : "link from the vertex stage") + " here");
            }
            cross.set_decoration(r.id, spv::DecorationLocation, static_cast<uint32_t>(loc));
        }
        bool has_main_output = false;
        // An `out float4 p : POSITION` parameter of the entry point arrives
        // already as the built-in position; a returned value or struct
        // member arrives as a plain output and is turned into it below.
        for (const spirv_cross::BuiltInResource& b : res.builtin_outputs) {
            if (vertex && b.builtin == spv::BuiltInPosition) has_main_output = true;
        }
        for (const spirv_cross::Resource& r : res.stage_outputs) {
            const Semantic sem = SplitSemantic(cross.get_decoration_string(r.id, spv::DecorationUserSemantic));
            if (vertex) {
                if (sem.base == "POSITION" || sem.base == "SV_POSITION") {
                    // The returned position is the clip position, as in Direct3D.
                    cross.unset_decoration(r.id, spv::DecorationLocation);
                    cross.set_decoration(r.id, spv::DecorationBuiltIn, spv::BuiltInPosition);
                    has_main_output = true;
                    continue;
                }
                if (sem.base == "PSIZE" && sem.index == 0) {
                    cross.unset_decoration(r.id, spv::DecorationLocation);
                    cross.set_decoration(r.id, spv::DecorationBuiltIn, spv::BuiltInPointSize);
                    continue;
                }
                gfx::DeclUsage usage;
                const int loc = UsageOf(sem.base, &usage) ? gfx::VaryingLocation(usage, sem.index) : -1;
                if (loc < 0) return Fail(log, where + "output semantic '" + sem.base + "' is not supported");
                cross.set_decoration(r.id, spv::DecorationLocation, static_cast<uint32_t>(loc));
            } else {
                if ((sem.base == "COLOR" || sem.base == "SV_TARGET") && sem.index == 0) {
                    cross.set_decoration(r.id, spv::DecorationLocation, 0);
                    cross.set_name(r.id, kColorOutputName);
                    has_main_output = true;
                    continue;
                }
                return Fail(log, where + "output semantic '" + sem.base + "' is not supported");
            }
        }

        // Also what an entry point the file does not define looks like.
        if (!has_main_output) {
            return Fail(log, where + (vertex ? "no POSITION output" : "no COLOR0 output") +
                                 " (is the entry point defined, and does it return one or write it through an out parameter?)");
        }

        out->stage = stage;
        out->block_size = 0;
        out->members.clear();
        out->samplers.clear();
        for (const spirv_cross::Resource& r : res.uniform_buffers) {
            if (out->block_size) return Fail(log, where + "more than one uniform block");
            cross.set_decoration(r.id, spv::DecorationDescriptorSet, 0);
            cross.set_decoration(r.id, spv::DecorationBinding, vertex ? kVertexBlockBinding : kPixelBlockBinding);
            const spirv_cross::SPIRType& block = cross.get_type(r.base_type_id);
            out->block_size = static_cast<uint32_t>(cross.get_declared_struct_size(block));
            for (uint32_t i = 0; i < block.member_types.size(); ++i) {
                const spirv_cross::SPIRType& mt = cross.get_type(block.member_types[i]);
                if (mt.basetype == spirv_cross::SPIRType::Struct) continue;  // not a settable parameter
                BlockMember m;
                m.name = cross.get_member_name(r.base_type_id, i);
                m.offset = cross.type_struct_member_offset(block, i);
                m.vecsize = mt.vecsize;
                m.columns = mt.columns;
                m.is_int = mt.basetype != spirv_cross::SPIRType::Float;
                if (!mt.array.empty()) {
                    m.array_size = mt.array[0];
                    m.array_stride = cross.type_struct_member_array_stride(block, i);
                }
                if (mt.columns > 1) {
                    m.matrix_stride = cross.type_struct_member_matrix_stride(block, i);
                    m.row_major = cross.has_member_decoration(r.base_type_id, i, spv::DecorationRowMajor);
                }
                out->members.push_back(std::move(m));
            }
        }
        for (const spirv_cross::Resource& r : res.sampled_images) {
            const int unit = sampler_unit(r.name);
            if (unit < 0) return Fail(log, where + "sampler '" + r.name + "' is not declared at file scope");
            cross.set_decoration(r.id, spv::DecorationDescriptorSet, 0);
            cross.set_decoration(r.id, spv::DecorationBinding, static_cast<uint32_t>(unit));
            out->samplers.push_back(r.name);
        }
        if (!res.separate_images.empty() || !res.separate_samplers.empty()) {
            return Fail(log, where + "separate textures and samplers are not supported; use sampler2D and tex2D");
        }

        spirv_cross::CompilerGLSL::Options options;
        options.version = 450;
        options.es = false;
        options.separate_shader_objects = true;  // the device combines stages in pipelines
        cross.set_common_options(options);
        out->glsl = cross.compile();
    } catch (const std::exception& e) {
        return Fail(log, where + "cannot translate: " + e.what());
    }
    return true;
}

}  // namespace plat::fx
