// platform/fx/effect.h - effect files: HLSL in Direct3D 9 effect syntax,
// compiled at run time, used the way ID3DXEffect was.
//
// Offers: Effect::Create preprocesses (platform/fx/preprocess.h) and
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
// in the log (platform/os/log.h) with the file's name and line; nothing is
// thrown and no input crashes the compiler.
//
// Lifecycle: Create -> (SetTechnique, Set*, Begin, (BeginPass, EndPass)*,
// End)* -> Release. Reference counted like the other device objects; it must
// be released before the device.
//
// Does not: support effect pools, shared parameters, state blocks, shader
// arrays, or states other than those listed in platform/fx/desc.h.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/fx/desc.h"
#include "platform/fx/preprocess.h"
#include "platform/gfx/device.h"

namespace plat::fx {

// Identifies a technique, pass, parameter or annotation of one effect; null
// means "none". Valid as long as the effect lives. A type of its own, so a
// string never converts to it by accident.
struct HandleTag;
using Handle = const HandleTag*;

struct PreparedEffect;

class Effect : public gfx::RefCounted {
public:
    // `name` is used in log lines only. Null on failure; *log (if given)
    // receives the compiler's messages in either case.
    static Effect* Create(gfx::Device* device, std::string_view source, std::string_view name,
                          std::string* log = nullptr);
    // The same, with where its #include files are found and the macros
    // defined before it (platform/fx/preprocess.h); without them no
    // #include resolves.
    static Effect* Create(gfx::Device* device, std::string_view source, std::string_view name,
                          const PreprocessOptions& options, std::string* log = nullptr);
    // The effect file embedded as RCDATA resource `id`, its #include files
    // found among the embedded resources by the paths they have beside it in
    // the source tree. Null, with one "fx:" warning naming `name`, when there
    // is no such resource or no device; the compiler's messages go to the log.
    // When the program's table (platform/fx/prepared.h) holds the file as
    // the build prepared it under this name, it is read from there instead
    // of compiled: the same effect and the same log lines.
    static Effect* CreateFromResource(gfx::Device* device, uint32_t id, std::string_view name);
    // Starts the part of CreateFromResource that needs no device (the
    // preprocessing, the parse, every entry point's translation to GLSL) on
    // the start-up worker (platform/os/ahead.h). The next CreateFromResource
    // of that id and name takes the result, waiting for it if it must; its
    // effect and its log lines are those it would have made alone.
    static void PrepareResourceAhead(uint32_t id, std::string_view name);

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
    static Effect* Finish(gfx::Device* device, std::unique_ptr<PreparedEffect> prepared, std::string_view name,
                          std::string* log);
    Effect();
    ~Effect() override;
    std::unique_ptr<Impl> impl_;
    Handle current_ = nullptr;
};

// The pass loop every drawing routine runs: Begin with flags 0 (the
// effect restores the states its passes change when it ends), then for each
// pass prepare(pass), BeginPass, draw(pass), EndPass; then End. `prepare`
// is for what must happen before the pass sets its states (binding and
// clearing a target). False, with nothing run, when Begin fails.
template <typename Prepare, typename Draw>
bool RunPasses(Effect* effect, Prepare&& prepare, Draw&& draw) {
    unsigned passes = 0;
    if (!effect->Begin(&passes, 0)) return false;
    for (unsigned p = 0; p < passes; ++p) {
        prepare(p);
        effect->BeginPass(p);
        draw(p);
        effect->EndPass();
    }
    effect->End();
    return true;
}
template <typename Draw>
bool RunPasses(Effect* effect, Draw&& draw) {
    return RunPasses(effect, [](unsigned) {}, draw);
}

}  // namespace plat::fx
