// platform/fx/desc.h - what an effect file declares, as our front end reads
// it (platform/fx/parser.h): parameters with defaults and annotations,
// textures, samplers with their sampler_state, techniques and passes with
// states, annotations and shader entry points. Plain data, no GL.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace plat::fx {

struct Annotation {
    std::string type;   // "float", "int", "bool", "string", ...
    std::string name;
    std::vector<float> values;  // numbers; empty for strings
    std::string text;           // strings
};

enum class ParamClass : uint8_t { Scalar, Vector, Matrix, Texture, Sampler, Struct };

struct Parameter {
    std::string type;         // as written: "float4x4", "float3", "texture", ...
    std::string name;
    ParamClass cls = ParamClass::Scalar;
    int rows = 1, columns = 1;  // float4x4: 4 x 4; float3: 1 x 3; float: 1 x 1
    int elements = 0;           // array length; 0 when not an array
    bool has_default = false;
    std::vector<float> defaults;  // rows * columns * max(1, elements) values when has_default
    std::string semantic;
    std::vector<Annotation> annotations;
    int line = 0;
};

// A sampler state as written: "MinFilter" = "LINEAR", "Texture" = "g_tx".
struct StateAssignment {
    std::string name;
    std::string value;  // identifier, number or <name>, as written (brackets removed)
    int index = 0;      // AddressU[1]-style index, rarely used
    int line = 0;
};

struct Sampler {
    std::string type;  // "sampler", "sampler2D", ...
    std::string name;
    std::string texture;  // parameter named by Texture = <...>; empty if none
    std::vector<StateAssignment> states;
    int line = 0;
};

struct ShaderRef {
    bool present = false;     // false: no shader (null or not given)
    std::string profile;      // "vs_2_0", "ps_2_0", "ps_3_0"
    std::string entry;        // function name
    std::string arguments;    // text between the parentheses (uniform arguments)
    int line = 0;
};

struct Pass {
    std::string name;
    std::vector<Annotation> annotations;
    std::vector<StateAssignment> states;  // render states, VertexShader/PixelShader excluded
    ShaderRef vertex_shader;
    ShaderRef pixel_shader;
    int line = 0;
};

struct Technique {
    std::string name;
    std::vector<Annotation> annotations;
    std::vector<Pass> passes;
    int line = 0;
};

struct EffectDesc {
    std::vector<Parameter> parameters;  // in declaration order, textures included
    std::vector<Sampler> samplers;
    std::vector<Technique> techniques;
};

}  // namespace plat::fx
