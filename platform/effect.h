// platform/effect.h - effect files: HLSL in Direct3D 9 effect syntax,
// compiled at run time, used the way ID3DXEffect was.
//
// Offers: Effect::Create preprocesses (platform/fx_preprocess.h) and
// compiles an effect source (parameters with their
// defaults, textures, samplers with sampler_state blocks, techniques,
// passes with render states and annotations, vs_2_0 / ps_2_0 / ps_3_0
// entry points) into programs for the graphics device. Then, by name:
//   SetTechnique; SetTexture, SetMatrix, SetFloat, SetFloatArray on
//   parameters; Begin (reports the pass count; with flags 0 it saves every
//   state the technique's passes change and End puts them back); BeginPass
//   (applies the pass's states, sampler states, shaders and parameter
//   values); CommitChanges; EndPass; End; GetTechniqueByName, GetPass,
//   GetParameterByName, GetAnnotationByName and GetFloat for lookups.
// A name the file does not declare changes nothing and the call returns
// false (Direct3D's error result). Matrices are CMatrix-ordered (row-major,
// row vectors): a shader's mul(v, M) computes v x M.
// A pass without a vertex shader draws pre-transformed vertices: the
// device's pass-through stands in for it and the pixel shader still runs.
//
// Errors: a source that does not compile gives a null effect and "fx:" lines
// in the log (platform/log.h) with the file's name and line; nothing is
// thrown and no input crashes the compiler.
//
// Lifecycle: Create -> (SetTechnique, Set*, Begin, (BeginPass, EndPass)*,
// End)* -> Release. Reference counted like the other device objects; it must
// be released before the device.
//
// Does not: support effect pools, shared parameters, state blocks, shader
// arrays, or states other than those listed in platform/fx_desc.h.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/fx_desc.h"
#include "platform/fx_preprocess.h"
#include "platform/gfx_device.h"

namespace plat::fx {

// Identifies a technique, pass, parameter or annotation of one effect; null
// means "none". Valid as long as the effect lives. A type of its own, so a
// string never converts to it by accident.
struct HandleTag;
using Handle = const HandleTag*;

class Effect {
public:
    // `name` is used in log lines only. Null on failure; *log (if given)
    // receives the compiler's messages in either case.
    static Effect* Create(gfx::Device* device, std::string_view source, std::string_view name,
                          std::string* log = nullptr);
    // The same, with where its #include files are found and the macros
    // defined before it (platform/fx_preprocess.h); without them no
    // #include resolves.
    static Effect* Create(gfx::Device* device, std::string_view source, std::string_view name,
                          const PreprocessOptions& options, std::string* log = nullptr);

    uint32_t AddRef() { return ++refs_; }
    uint32_t Release();

    Handle GetTechniqueByName(std::string_view name) const;
    Handle GetParameterByName(std::string_view name) const;
    Handle GetPass(Handle technique, unsigned index) const;
    // On a technique, a pass or a parameter.
    Handle GetAnnotationByName(Handle object, std::string_view name) const;
    // Reads a float annotation or a float parameter's current value.
    bool GetFloat(Handle handle, float* value) const;

    bool SetTechnique(std::string_view name);
    bool SetTechnique(Handle technique);
    Handle GetCurrentTechnique() const { return current_; }

    bool SetTexture(std::string_view name, gfx::Texture* texture);
    bool SetMatrix(std::string_view name, const float* m16);
    bool SetFloat(std::string_view name, float value);
    // Sets the first `count` floats of a scalar, vector, matrix or array
    // parameter (in that parameter's element order).
    bool SetFloatArray(std::string_view name, const float* values, unsigned count);

    bool Begin(unsigned* passes, uint32_t flags);
    bool BeginPass(unsigned pass);
    // Pushes parameter values set since BeginPass to the running pass.
    bool CommitChanges();
    bool EndPass();
    bool End();

    // What the file declares, for tools and tests.
    const EffectDesc& Desc() const;
    // Generated GLSL of every compiled stage, for tools.
    std::string DumpGlsl() const;

    struct Impl;

private:
    Effect();
    ~Effect();
    std::unique_ptr<Impl> impl_;
    uint32_t refs_ = 1;
    Handle current_ = nullptr;
};

}  // namespace plat::fx
