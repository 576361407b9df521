// The effect object: parameters and their values, programs compiled per
// pass, the states a technique saves and restores, and the ID3DXEffect-style
// calls.
//
// Index of this file:
// [SECTION] Handles and per-pass records
// [SECTION] The effect's inside: building, compiling, constants, states
// [SECTION] Creation
// [SECTION] Lookups
// [SECTION] Setting values
// [SECTION] Running a technique

#include "platform/fx/effect.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstring>
#include <map>

#include "platform/fx/entry.h"
#include "platform/fx/parser.h"
#include "platform/fx/prepared.h"
#include "platform/fx/preprocess.h"
#include "platform/fx/shader_compiler.h"
#include "platform/fx/states.h"
#include "platform/os/ahead.h"
#include "platform/os/log.h"
#include "platform/os/resources.h"

namespace plat::fx {
namespace {

// ---------------------------------------------------------------------------
// [SECTION] Handles and per-pass records
// ---------------------------------------------------------------------------

template <typename T>
Handle ToHandle(const T* object) {
    return reinterpret_cast<Handle>(object);
}
template <typename T>
bool Is(Handle h, const T& object) {
    return h == ToHandle(&object);
}

using gfx::ShaderStage;

// One compiled entry point and how the effect's parameters fill its block.
struct StageProgram {
    CompiledStage compiled;
    gfx::Shader* shader = nullptr;
    std::vector<int> member_param;  // per block member: parameter index or -1
    std::vector<int> sampler_index; // per sampler the stage reads: index into desc.samplers
    std::vector<uint8_t> block;
};

struct PassRuntime {
    StageProgram* vs = nullptr;  // null: pre-transformed vertices (pass-through)
    StageProgram* ps = nullptr;
    std::vector<std::pair<gfx::RS, uint32_t>> states;
};

struct ParamValue {
    std::vector<float> values;
    gfx::Texture* texture = nullptr;  // one reference held
};

struct SavedState {
    std::vector<std::pair<gfx::RS, uint32_t>> states;
    struct Sampler {
        unsigned unit;
        gfx::SS state;
        uint32_t value;
    };
    std::vector<Sampler> samplers;
    std::vector<std::pair<unsigned, gfx::Texture*>> textures;  // references held
    gfx::Shader* vs = nullptr;                                 // reference held
    gfx::Shader* ps = nullptr;
    bool saved = false;
};

// Writes parameter values into a stage's uniform block, as the block's
// layout says. A parameter's values are in Direct3D's order: row by row for
// matrices (M[r][c] = values[r * C + c]), element by element for arrays.
// The HLSL compiler stores HLSL row r as column r of the SPIR-V matrix.
void Pack(const BlockMember& m, const Parameter& p, const std::vector<float>& v, std::vector<uint8_t>& block) {
    const uint32_t elements = std::max(1u, m.array_size);
    const size_t per_element = static_cast<size_t>(p.rows) * static_cast<size_t>(p.columns);
    for (uint32_t e = 0; e < elements; ++e) {
        const size_t base = m.offset + static_cast<size_t>(e) * m.array_stride;
        for (uint32_t col = 0; col < m.columns; ++col) {       // HLSL row
            for (uint32_t comp = 0; comp < m.vecsize; ++comp) {  // HLSL column
                const size_t src = e * per_element + (m.columns > 1 ? col * static_cast<size_t>(p.columns) + comp : comp);
                const float value = src < v.size() ? v[src] : 0.f;
                size_t at = base;
                if (m.columns > 1) {
                    at += m.row_major ? comp * m.matrix_stride + col * 4u : col * m.matrix_stride + comp * 4u;
                } else {
                    at += comp * 4u;
                }
                if (at + 4 > block.size()) continue;
                if (m.is_int) {
                    const int32_t i = static_cast<int32_t>(value);
                    std::memcpy(&block[at], &i, 4);
                } else {
                    std::memcpy(&block[at], &value, 4);
                }
            }
        }
    }
}

// Effects being prepared on the start-up worker, by resource id, with the
// name their messages were made under. Main thread only; the worker sees
// nothing of it but its job.
struct AheadEffect {
    std::string name;
    std::future<std::unique_ptr<PreparedEffect>> prepared;
};
std::map<uint32_t, AheadEffect>& PreparingAhead() {
    static std::map<uint32_t, AheadEffect> pending;
    return pending;
}


}  // namespace

// ---------------------------------------------------------------------------
// [SECTION] The effect's inside: building, compiling, constants, states
// ---------------------------------------------------------------------------

struct Effect::Impl {
    gfx::Device* device = nullptr;
    std::string name;
    EffectDesc desc;
    LineMap lines;  // the desc's line numbers back to files and lines
    std::vector<ParamValue> values;  // per desc.parameters entry
    std::map<std::pair<std::string, int>, std::unique_ptr<StageProgram>> programs;
    std::vector<std::vector<PassRuntime>> runtime;  // [technique][pass]
    int technique = -1;
    bool begun = false;
    int active_pass = -1;
    SavedState saved;

    int ParamIndex(std::string_view n) const {
        for (size_t i = 0; i < desc.parameters.size(); ++i) {
            if (desc.parameters[i].name == n) return static_cast<int>(i);
        }
        return -1;
    }
    int SamplerIndex(std::string_view n) const { return SamplerIndexIn(desc, n); }
    bool Build(PreparedEffect& prepared, std::string* log);
    StageProgram* Compile(PreparedEffect& prepared, const ShaderRef& ref, ShaderStage stage, std::string* log);
    void ApplyPass(const PassRuntime& pass);
    void UploadConstants(const PassRuntime& pass);
    void SaveStates(int technique_index);
    void RestoreStates();
    ~Impl();
};

Effect::Impl::~Impl() {
    for (ParamValue& v : values) {
        if (v.texture) v.texture->Release();
    }
    for (auto& [key, program] : programs) {
        if (program->shader) program->shader->Release();
    }
    if (saved.saved) {
        for (auto& [unit, tex] : saved.textures) {
            if (tex) tex->Release();
        }
        if (saved.vs) saved.vs->Release();
        if (saved.ps) saved.ps->Release();
    }
}

StageProgram* Effect::Impl::Compile(PreparedEffect& prepared, const ShaderRef& ref, ShaderStage stage,
                                    std::string* log) {
    const StageKey key = KeyOf(ref, stage);
    auto found = programs.find(key);
    if (found != programs.end()) return found->second.get();
    auto program = std::make_unique<StageProgram>();
    if (auto ready = prepared.stages.find(key); ready != prepared.stages.end()) {
        program->compiled = std::move(ready->second.compiled);
        *log += ready->second.log;
    } else {
        const ParsedEffect& parsed = prepared.parsed;
        EntryPoint entry;
        std::string why;
        if (!MakeEntryPoint(parsed.functions, ref, stage == ShaderStage::Pixel, static_cast<int>(programs.size()),
                            &entry, &why)) {
            *log += lines.Where(ref.line) + ": " + why + "\n";
            return nullptr;
        }
        auto unit = [this](std::string_view sampler) {
            return SamplerIndex(sampler) < gfx::kMaxSamplers ? SamplerIndex(sampler) : -1;
        };
        if (!CompileHlsl(entry.extra.empty() ? parsed.hlsl : parsed.hlsl + entry.extra, name, entry.name, stage,
                         ref.profile, unit, &program->compiled, log)) {
            return nullptr;
        }
    }
    std::string glsl_log;
    const auto gl_start = std::chrono::steady_clock::now();
    program->shader = device->CreateShader(stage, program->compiled.glsl,
                                           stage == ShaderStage::Pixel ? kColorOutputName : "", &glsl_log);
    CompilerStats().gl += std::chrono::duration<double>(std::chrono::steady_clock::now() - gl_start).count();
    if (!program->shader) {
        *log += name + ": " + ref.entry + ": the generated GLSL does not compile: " + glsl_log + "\n";
        return nullptr;
    }
    for (const BlockMember& m : program->compiled.members) program->member_param.push_back(ParamIndex(m.name));
    for (const std::string& s : program->compiled.samplers) program->sampler_index.push_back(SamplerIndex(s));
    program->block.assign(program->compiled.block_size, 0);
    StageProgram* raw = program.get();
    programs.emplace(key, std::move(program));
    return raw;
}

bool Effect::Impl::Build(PreparedEffect& prepared, std::string* log) {
    const ParsedEffect& parsed = prepared.parsed;
    desc = parsed.desc;
    lines = parsed.lines;
    values.resize(desc.parameters.size());
    for (size_t i = 0; i < desc.parameters.size(); ++i) {
        const Parameter& p = desc.parameters[i];
        values[i].values = p.has_default ? p.defaults
                                         : std::vector<float>(static_cast<size_t>(p.rows * p.columns * std::max(1, p.elements)), 0.f);
    }
    if (desc.samplers.size() > static_cast<size_t>(gfx::kMaxSamplers)) {
        *log += name + ": more than " + std::to_string(gfx::kMaxSamplers) + " samplers\n";
        return false;
    }
    for (const Technique& t : desc.techniques) {
        std::vector<PassRuntime> passes;
        for (const Pass& p : t.passes) {
            PassRuntime rt;
            if (p.vertex_shader.present) {
                rt.vs = Compile(prepared, p.vertex_shader, ShaderStage::Vertex, log);
                if (!rt.vs) return false;
            }
            if (p.pixel_shader.present) {
                rt.ps = Compile(prepared, p.pixel_shader, ShaderStage::Pixel, log);
                if (!rt.ps) return false;
            } else {
                // Direct3D would run its fixed-function pipeline here; this
                // device has none, so the pass draws nothing.
                *log += lines.Where(p.line) + ": pass '" + p.name +
                        "' has no pixel shader; fixed-function passes are not supported and draw nothing\n";
            }
            for (const StateAssignment& st : p.states) {
                gfx::RS rs;
                uint32_t value;
                std::string why;
                if (TranslateRenderState(st, &rs, &value, &why)) {
                    rt.states.emplace_back(rs, value);
                } else {
                    // Unknown states are reported, not fatal: the pass runs without them.
                    *log += lines.Where(st.line) + ": " + why + "; ignored\n";
                }
            }
            passes.push_back(std::move(rt));
        }
        runtime.push_back(std::move(passes));
    }
    for (const Sampler& s : desc.samplers) {
        for (const StateAssignment& st : s.states) {
            gfx::SS ss;
            uint32_t value;
            std::string why;
            if (!TranslateSamplerState(st, &ss, &value, &why)) {
                *log += lines.Where(st.line) + ": " + why + "; ignored\n";
            }
        }
        if (!s.texture.empty() && ParamIndex(s.texture) < 0) {
            *log += lines.Where(s.line) + ": sampler '" + s.name + "' names texture '" + s.texture +
                    "', which is not declared\n";
        }
    }
    return true;
}

void Effect::Impl::UploadConstants(const PassRuntime& pass) {
    for (StageProgram* sp : {pass.vs, pass.ps}) {
        if (!sp || sp->block.empty()) continue;
        for (size_t i = 0; i < sp->compiled.members.size(); ++i) {
            const int p = sp->member_param[i];
            if (p >= 0) Pack(sp->compiled.members[i], desc.parameters[p], values[p].values, sp->block);
        }
        device->SetConstants(sp->compiled.stage, sp->block.data(), sp->block.size());
    }
}

void Effect::Impl::ApplyPass(const PassRuntime& pass) {
    for (const auto& [rs, value] : pass.states) device->SetRenderState(rs, value);
    device->SetVertexShader(pass.vs ? pass.vs->shader : nullptr);
    device->SetPixelShader(pass.ps ? pass.ps->shader : nullptr);
    for (StageProgram* sp : {pass.vs, pass.ps}) {
        if (!sp) continue;
        for (int si : sp->sampler_index) {
            if (si < 0) continue;
            const Sampler& s = desc.samplers[si];
            const unsigned unit = static_cast<unsigned>(si);
            const int tex = ParamIndex(s.texture);
            device->SetTexture(unit, tex >= 0 ? values[tex].texture : nullptr);
            for (const StateAssignment& st : s.states) {
                gfx::SS ss;
                uint32_t value;
                if (TranslateSamplerState(st, &ss, &value, nullptr)) device->SetSamplerState(unit, ss, value);
            }
        }
    }
    UploadConstants(pass);
}

void Effect::Impl::SaveStates(int t) {
    saved = SavedState{};
    saved.saved = true;
    for (const PassRuntime& pass : runtime[t]) {
        for (const auto& [rs, value] : pass.states) {
            const bool seen = std::any_of(saved.states.begin(), saved.states.end(),
                                          [rs = rs](const auto& s) { return s.first == rs; });
            if (!seen) saved.states.emplace_back(rs, device->GetRenderState(rs));
        }
        for (StageProgram* sp : {pass.vs, pass.ps}) {
            if (!sp) continue;
            for (int si : sp->sampler_index) {
                if (si < 0) continue;
                const unsigned unit = static_cast<unsigned>(si);
                const bool seen = std::any_of(saved.textures.begin(), saved.textures.end(),
                                              [unit](const auto& s) { return s.first == unit; });
                if (seen) continue;
                gfx::Texture* tex = device->GetTexture(unit);
                if (tex) tex->AddRef();
                saved.textures.emplace_back(unit, tex);
                for (int st = 0; st < static_cast<int>(gfx::SS::Count); ++st) {
                    const auto ss = static_cast<gfx::SS>(st);
                    saved.samplers.push_back({unit, ss, device->GetSamplerState(unit, ss)});
                }
            }
        }
    }
    saved.vs = device->GetVertexShader();
    saved.ps = device->GetPixelShader();
    if (saved.vs) saved.vs->AddRef();
    if (saved.ps) saved.ps->AddRef();
}

void Effect::Impl::RestoreStates() {
    if (!saved.saved) return;
    for (const auto& [rs, value] : saved.states) device->SetRenderState(rs, value);
    for (const SavedState::Sampler& s : saved.samplers) device->SetSamplerState(s.unit, s.state, s.value);
    for (auto& [unit, tex] : saved.textures) {
        device->SetTexture(unit, tex);
        if (tex) tex->Release();
    }
    device->SetVertexShader(saved.vs);
    device->SetPixelShader(saved.ps);
    if (saved.vs) saved.vs->Release();
    if (saved.ps) saved.ps->Release();
    saved = SavedState{};
}

Effect::Effect() : impl_(std::make_unique<Impl>()) {}
Effect::~Effect() = default;

// ---------------------------------------------------------------------------
// [SECTION] Creation
// ---------------------------------------------------------------------------

namespace {

// The form prepared at build time of resource `id`, when the program links
// one in and it was made under this name; null otherwise.
std::unique_ptr<PreparedEffect> PreparedAtBuildTime(uint32_t id, std::string_view name) {
    const PreparedBytes* b = FindPreparedEffect(id);
    if (!b) return nullptr;
    std::string made_as;
    std::unique_ptr<PreparedEffect> prepared =
        LoadPreparedEffect(b->begin, static_cast<size_t>(b->end - b->begin), &made_as);
    if (prepared && made_as != name) prepared.reset();
    return prepared;
}

}  // namespace

void Effect::PrepareResourceAhead(uint32_t id, std::string_view name) {
    size_t size = 0;
    const unsigned char* bytes = FindResourceBytes(kResRcData, id, &size);
    // Nothing to do ahead when the build did it.
    if (!bytes || PreparingAhead().count(id) || FindPreparedEffect(id)) return;
    const std::string_view source(reinterpret_cast<const char*>(bytes), size);
    PreparingAhead()[id] = {std::string(name),
                            RunAheadFor<std::unique_ptr<PreparedEffect>>(
                                [source, name = std::string(name), options = ResourceEffectOptions(id)] {
                                    return PrepareEffect(source, name, options);
                                })};
}

Effect* Effect::CreateFromResource(gfx::Device* device, uint32_t id, std::string_view name) {
    const int name_len = static_cast<int>(name.size());
    size_t size = 0;
    const unsigned char* bytes = FindResourceBytes(kResRcData, id, &size);
    if (!bytes) {
        LogWarning("fx", "%.*s: no RCDATA resource %u", name_len, name.data(), id);
        return nullptr;
    }
    if (!device) {
        LogWarning("fx", "%.*s: no device", name_len, name.data());
        return nullptr;
    }
    std::unique_ptr<PreparedEffect> prepared = PreparedAtBuildTime(id, name);
    if (auto ahead = PreparingAhead().find(id); !prepared && ahead != PreparingAhead().end()) {
        // Waits for the worker if it is not done; what it threw is thrown here.
        AheadEffect taken = std::move(ahead->second);
        PreparingAhead().erase(ahead);
        prepared = taken.prepared.get();
        // Messages carry the name: one prepared under another is made again.
        if (taken.name != name) prepared.reset();
    }
    if (!prepared) {
        const std::string_view source(reinterpret_cast<const char*>(bytes), size);
        prepared = PrepareEffect(source, name, ResourceEffectOptions(id));
    }
    return Finish(device, std::move(prepared), name, nullptr);
}

Effect* Effect::Create(gfx::Device* device, std::string_view source, std::string_view name, std::string* log) {
    return Create(device, source, name, PreprocessOptions{}, log);
}

Effect* Effect::Create(gfx::Device* device, std::string_view source, std::string_view name,
                       const PreprocessOptions& options, std::string* log) {
    return Finish(device, PrepareEffect(source, name, options), name, log);
}

Effect* Effect::Finish(gfx::Device* device, std::unique_ptr<PreparedEffect> prepared, std::string_view name,
                       std::string* log) {
    std::string messages;
    for (const std::string& m : prepared->parse_messages) messages += m + "\n";

    Effect* effect = nullptr;
    if (prepared->parsed_ok && device) {
        effect = new Effect;
        effect->impl_->device = device;
        effect->impl_->name = std::string(name);
        if (!effect->impl_->Build(*prepared, &messages)) {
            delete effect;
            effect = nullptr;
        }
    }
    // Every message goes to the log, one line each; the show ignores them,
    // tools and tests read them.
    size_t start = 0;
    while (start < messages.size()) {
        size_t end = messages.find('\n', start);
        if (end == std::string::npos) end = messages.size();
        if (end > start) {
            if (effect) {
                Log("fx", "%s", messages.substr(start, end - start).c_str());
            } else {
                LogError("fx", "%s", messages.substr(start, end - start).c_str());
            }
        }
        start = end + 1;
    }
    if (!effect) {
        if (!device) LogError("fx", "%.*s: no device", static_cast<int>(name.size()), name.data());
        LogError("fx", "%.*s does not compile", static_cast<int>(name.size()), name.data());
    }
    if (log) *log = messages;
    return effect;
}

// ---------------------------------------------------------------------------
// [SECTION] Lookups
// ---------------------------------------------------------------------------

Handle Effect::GetTechniqueByName(std::string_view name) const {
    for (const Technique& t : impl_->desc.techniques) {
        if (t.name == name) return ToHandle(&t);
    }
    return nullptr;
}

Handle Effect::GetParameterByName(std::string_view name) const {
    const int i = impl_->ParamIndex(name);
    return i >= 0 ? ToHandle(&impl_->desc.parameters[i]) : nullptr;
}

Handle Effect::GetPass(Handle technique, unsigned index) const {
    for (const Technique& t : impl_->desc.techniques) {
        if (Is(technique, t)) return index < t.passes.size() ? ToHandle(&t.passes[index]) : nullptr;
    }
    return nullptr;
}

Handle Effect::GetAnnotationByName(Handle object, std::string_view name) const {
    auto find = [name](const std::vector<Annotation>& list) -> Handle {
        for (const Annotation& a : list) {
            if (a.name == name) return ToHandle(&a);
        }
        return nullptr;
    };
    for (const Technique& t : impl_->desc.techniques) {
        if (Is(object, t)) return find(t.annotations);
        for (const Pass& p : t.passes) {
            if (Is(object, p)) return find(p.annotations);
        }
    }
    for (const Parameter& p : impl_->desc.parameters) {
        if (Is(object, p)) return find(p.annotations);
    }
    return nullptr;
}

bool Effect::GetFloat(Handle handle, float* value) const {
    if (!handle || !value) return false;
    for (size_t i = 0; i < impl_->desc.parameters.size(); ++i) {
        const Parameter& p = impl_->desc.parameters[i];
        if (Is(handle, p)) {
            if (impl_->values[i].values.empty()) return false;
            *value = impl_->values[i].values[0];
            return true;
        }
        for (const Annotation& a : p.annotations) {
            if (Is(handle, a) && !a.values.empty()) return (*value = a.values[0], true);
        }
    }
    for (const Technique& t : impl_->desc.techniques) {
        for (const Annotation& a : t.annotations) {
            if (Is(handle, a) && !a.values.empty()) return (*value = a.values[0], true);
        }
        for (const Pass& p : t.passes) {
            for (const Annotation& a : p.annotations) {
                if (Is(handle, a) && !a.values.empty()) return (*value = a.values[0], true);
            }
        }
    }
    return false;
}

// ---------------------------------------------------------------------------
// [SECTION] Setting values
// ---------------------------------------------------------------------------

bool Effect::SetTechnique(std::string_view name) { return SetTechnique(GetTechniqueByName(name)); }

bool Effect::SetTechnique(Handle technique) {
    for (size_t i = 0; i < impl_->desc.techniques.size(); ++i) {
        if (Is(technique, impl_->desc.techniques[i])) {
            impl_->technique = static_cast<int>(i);
            current_ = technique;
            return true;
        }
    }
    return false;
}

bool Effect::SetTexture(std::string_view name, gfx::Texture* texture) {
    const int i = impl_->ParamIndex(name);
    if (i < 0 || impl_->desc.parameters[i].cls != ParamClass::Texture) return false;
    ParamValue& v = impl_->values[i];
    if (texture) texture->AddRef();
    if (v.texture) v.texture->Release();
    v.texture = texture;
    return true;
}

bool Effect::SetMatrix(std::string_view name, const float* m16) {
    const int i = impl_->ParamIndex(name);
    if (i < 0 || !m16) return false;
    const Parameter& p = impl_->desc.parameters[i];
    if (p.cls != ParamClass::Matrix) return false;
    // A smaller matrix takes the top-left part of the 4 x 4.
    std::vector<float>& v = impl_->values[i].values;
    for (int r = 0; r < p.rows; ++r) {
        for (int c = 0; c < p.columns; ++c) v[static_cast<size_t>(r * p.columns + c)] = m16[r * 4 + c];
    }
    return true;
}

bool Effect::SetFloat(std::string_view name, float value) { return SetFloatArray(name, &value, 1); }

bool Effect::SetFloatArray(std::string_view name, const float* values, unsigned count) {
    const int i = impl_->ParamIndex(name);
    if (i < 0 || (!values && count)) return false;
    const ParamClass cls = impl_->desc.parameters[i].cls;
    if (cls == ParamClass::Texture || cls == ParamClass::Sampler || cls == ParamClass::Struct) return false;
    std::vector<float>& v = impl_->values[i].values;
    std::copy(values, values + std::min<size_t>(count, v.size()), v.begin());
    return true;
}

// ---------------------------------------------------------------------------
// [SECTION] Running a technique
// ---------------------------------------------------------------------------

bool Effect::Begin(unsigned* passes, uint32_t flags) {
    if (impl_->technique < 0 || impl_->begun) return false;
    impl_->begun = true;
    impl_->active_pass = -1;
    // Flag 1 (do not save state) leaves the device as the passes set it.
    if ((flags & 1u) == 0) impl_->SaveStates(impl_->technique);
    if (passes) *passes = static_cast<unsigned>(impl_->runtime[impl_->technique].size());
    return true;
}

bool Effect::BeginPass(unsigned pass) {
    if (!impl_->begun || impl_->active_pass >= 0) return false;
    const auto& passes = impl_->runtime[impl_->technique];
    if (pass >= passes.size()) return false;
    impl_->active_pass = static_cast<int>(pass);
    impl_->ApplyPass(passes[pass]);
    return true;
}

bool Effect::CommitChanges() {
    if (impl_->active_pass < 0) return false;
    const PassRuntime& pass = impl_->runtime[impl_->technique][impl_->active_pass];
    impl_->ApplyPass(pass);
    return true;
}

bool Effect::EndPass() {
    if (impl_->active_pass < 0) return false;
    impl_->active_pass = -1;
    return true;
}

bool Effect::End() {
    if (!impl_->begun) return false;
    impl_->begun = false;
    impl_->active_pass = -1;
    impl_->RestoreStates();
    return true;
}

const EffectDesc& Effect::Desc() const { return impl_->desc; }

std::string Effect::DumpGlsl() const {
    std::string out;
    for (const auto& [key, program] : impl_->programs) {
        out += "// ---- " + key.first + (key.second == static_cast<int>(ShaderStage::Vertex) ? " (vertex)" : " (pixel)") +
               "\n" + program->compiled.glsl + "\n";
    }
    return out;
}

}  // namespace plat::fx
