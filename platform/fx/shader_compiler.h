// platform/fx/shader_compiler.h - HLSL entry point in, GLSL for the device out.
//
// The one place that knows which compiler turns HLSL into something the
// device runs: today glslang's HLSL front end (shader model 2/3 syntax, the
// DX9-compatible mode, Vulkan rules, semantic decorations) to SPIR-V, then
// SPIRV-Cross to GLSL 4.50. glslang's HLSL front end is deprecated upstream;
// another compiler can replace this file without touching its callers.
//
// What the output keeps of Direct3D 9:
//   - vertex inputs and stage links sit at the device's semantic locations
//     (gfx::AttributeLocation, gfx::VaryingLocation): POSITION, NORMAL,
//     COLOR0-1, TEXCOORD0-7, TANGENT, BINORMAL, BLENDWEIGHT, BLENDINDICES in,
//     COLOR0-1, TEXCOORD0-7, FOG between the stages; the vertex stage's
//     POSITION output (returned, a struct member or an out parameter)
//     becomes gl_Position and PSIZE gl_PointSize;
//   - the pixel stage's COLOR0 output is named kelo_color0 (location 0);
//   - the file's globals form one uniform block per stage, binding 0 for the
//     vertex stage and 1 for the pixel stage, whose members are described
//     here so the caller can pack values into it;
//   - each sampler is bound to the unit the caller chooses.
//
// Lifecycle: none; the compiler library is initialised on first use.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/gfx/types.h"

namespace plat::fx {

struct BlockMember {
    std::string name;
    uint32_t offset = 0;         // bytes from the block start
    uint32_t vecsize = 1;        // components per column (SPIR-V view)
    uint32_t columns = 1;        // 1 for scalars and vectors
    uint32_t array_size = 0;     // 0: not an array
    uint32_t array_stride = 0;   // bytes
    uint32_t matrix_stride = 0;  // bytes between columns (or rows when row_major)
    bool row_major = false;      // memory holds the rows of the SPIR-V matrix
    bool is_int = false;
};

struct CompiledStage {
    gfx::ShaderStage stage = gfx::ShaderStage::Pixel;
    std::string glsl;
    uint32_t block_size = 0;  // 0: the stage reads no globals
    std::vector<BlockMember> members;
    std::vector<std::string> samplers;  // names of the samplers the stage reads
};

inline constexpr unsigned kVertexBlockBinding = 0;
inline constexpr unsigned kPixelBlockBinding = 1;
inline constexpr const char* kColorOutputName = "kelo_color0";

// Time spent so far in each compiler by the calling thread, for
// benchmarks: seconds. Each thread has its own (the start-up worker of
// platform/os/ahead.h compiles too).
struct CompilerTimes {
    double init = 0;         // glslang's process initialisation (once)
    double glslang = 0;      // HLSL to SPIR-V
    double spirv_cross = 0;  // SPIR-V to GLSL
    double gl = 0;           // the GLSL compiled and linked by the device (the effect's part)
};
CompilerTimes& CompilerStats();

// Compiles `entry` of the plain HLSL `source` for `stage` under `profile`
// ("vs_2_0", "ps_2_0", "ps_3_0", ...). `sampler_unit` maps a sampler's name
// to its texture unit (-1: unknown sampler, which fails the compile). On
// failure returns false and appends messages to *log.
bool CompileHlsl(std::string_view source, std::string_view file_name, std::string_view entry,
                 gfx::ShaderStage stage, std::string_view profile,
                 const std::function<int(std::string_view)>& sampler_unit, CompiledStage* out, std::string* log);

}  // namespace plat::fx
