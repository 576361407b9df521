// Effects made ready for the device, and their byte form.
//
// Index of this file:
// [SECTION] Preparing
// [SECTION] The byte form
// [SECTION] The program's table

#include "platform/fx/prepared.h"

#include <cstring>

#include "platform/fx/entry.h"
#include "platform/os/resources.h"

namespace plat::fx {

using gfx::ShaderStage;

// ---------------------------------------------------------------------------
// [SECTION] Preparing
// ---------------------------------------------------------------------------

StageKey KeyOf(const ShaderRef& ref, ShaderStage stage) {
    return {ref.entry + " " + ref.profile + " (" + ref.arguments + ")", static_cast<int>(stage)};
}

int SamplerIndexIn(const EffectDesc& desc, std::string_view sampler) {
    for (size_t i = 0; i < desc.samplers.size(); ++i) {
        if (desc.samplers[i].name == sampler) return static_cast<int>(i);
    }
    return -1;
}

// An embedded effect's #include files are embedded too, found by the paths
// they have beside it in the source tree.
PreprocessOptions ResourceEffectOptions(uint32_t id) {
    PreprocessOptions options;
    options.path = std::string(FindResourceFile(kResRcData, id));
    options.read = [](const std::string& path, std::string* text) {
        size_t n = 0;
        const unsigned char* b = FindResourceByFile(kResRcData, path, &n);
        if (b) text->assign(reinterpret_cast<const char*>(b), n);
        return b != nullptr;
    };
    return options;
}

std::unique_ptr<PreparedEffect> PrepareEffect(std::string_view source, std::string_view name,
                                              const PreprocessOptions& options) {
    auto prepared = std::make_unique<PreparedEffect>();
    ParsedEffect& parsed = prepared->parsed;
    prepared->parsed_ok = ReadEffectSource(source, name, options, &parsed, &prepared->parse_messages);
    if (!prepared->parsed_ok || parsed.desc.samplers.size() > static_cast<size_t>(gfx::kMaxSamplers)) return prepared;
    auto unit = [&parsed](std::string_view sampler) {
        const int i = SamplerIndexIn(parsed.desc, sampler);
        return i < gfx::kMaxSamplers ? i : -1;
    };
    // Build's order: technique by technique, pass by pass, vertex stage
    // first. A stage that fails ends it here; Build meets it in the same
    // place and reports it.
    for (const Technique& t : parsed.desc.techniques) {
        for (const Pass& p : t.passes) {
            for (ShaderStage stage : {ShaderStage::Vertex, ShaderStage::Pixel}) {
                const ShaderRef& ref = stage == ShaderStage::Vertex ? p.vertex_shader : p.pixel_shader;
                if (!ref.present) continue;
                const StageKey key = KeyOf(ref, stage);
                if (prepared->stages.count(key)) continue;
                EntryPoint entry;
                std::string why;
                if (!MakeEntryPoint(parsed.functions, ref, stage == ShaderStage::Pixel,
                                    static_cast<int>(prepared->stages.size()), &entry, &why)) {
                    return prepared;
                }
                PreparedEffect::Stage ready;
                if (!CompileHlsl(entry.extra.empty() ? parsed.hlsl : parsed.hlsl + entry.extra, name, entry.name,
                                 stage, ref.profile, unit, &ready.compiled, &ready.log)) {
                    return prepared;
                }
                prepared->stages.emplace(key, std::move(ready));
            }
        }
    }
    prepared->complete = true;
    return prepared;
}

// ---------------------------------------------------------------------------
// [SECTION] The byte form
// ---------------------------------------------------------------------------

namespace {

constexpr char kMagic[4] = {'K', 'F', 'X', 'P'};
// Raised whenever what is written changes.
constexpr uint32_t kFormat = 1;

class Writer {
public:
    std::string bytes;
    void U32(uint32_t v) { bytes.append(reinterpret_cast<const char*>(&v), 4); }
    void I32(int v) { U32(static_cast<uint32_t>(v)); }
    void Bool(bool v) { U32(v ? 1 : 0); }
    void Str(std::string_view s) {
        U32(static_cast<uint32_t>(s.size()));
        bytes.append(s);
    }
    void Floats(const std::vector<float>& v) {
        U32(static_cast<uint32_t>(v.size()));
        if (!v.empty()) bytes.append(reinterpret_cast<const char*>(v.data()), v.size() * sizeof(float));
    }
    template <typename T, typename Each>
    void List(const std::vector<T>& v, Each each) {
        U32(static_cast<uint32_t>(v.size()));
        for (const T& item : v) each(*this, item);
    }
};

// Every read checks what is left; after the first short read everything
// reads as empty and ok() stays false.
class Reader {
public:
    Reader(const unsigned char* p, size_t n) : p_(p), end_(p + n) {}
    bool ok() const { return ok_; }
    bool AtEnd() const { return p_ == end_; }
    uint32_t U32() {
        if (!Take(4)) return 0;
        uint32_t v;
        std::memcpy(&v, p_ - 4, 4);
        return v;
    }
    int I32() { return static_cast<int>(U32()); }
    bool Bool() {
        const uint32_t v = U32();
        if (v > 1) ok_ = false;
        return v == 1;
    }
    uint32_t Below(uint32_t limit) {
        const uint32_t v = U32();
        if (v >= limit) ok_ = false;
        return v < limit ? v : 0;
    }
    std::string Str() {
        const uint32_t n = U32();
        if (!Take(n)) return {};
        return std::string(reinterpret_cast<const char*>(p_ - n), n);
    }
    std::vector<float> Floats() {
        const uint32_t n = U32();
        std::vector<float> v;
        if (n > Left() / sizeof(float) || !Take(static_cast<size_t>(n) * sizeof(float))) {
            ok_ = false;
            return v;
        }
        v.resize(n);
        if (n > 0) std::memcpy(v.data(), p_ - static_cast<size_t>(n) * sizeof(float), v.size() * sizeof(float));
        return v;
    }
    // Each item takes at least four bytes, so a count larger than a quarter
    // of what is left is a lie, refused before anything is allocated.
    template <typename T, typename Each>
    std::vector<T> List(Each each) {
        const uint32_t n = U32();
        std::vector<T> v;
        if (n > Left() / 4) {
            ok_ = false;
            return v;
        }
        v.resize(n);
        for (T& item : v) {
            if (!ok_) break;
            each(*this, item);
        }
        return v;
    }

private:
    size_t Left() const { return static_cast<size_t>(end_ - p_); }
    bool Take(size_t n) {
        if (!ok_ || n > Left()) {
            ok_ = false;
            return false;
        }
        p_ += n;
        return true;
    }
    const unsigned char* p_;
    const unsigned char* end_;
    bool ok_ = true;
};

void Put(Writer& w, const Annotation& a) {
    w.Str(a.type);
    w.Str(a.name);
    w.Floats(a.values);
    w.Str(a.text);
}
void Get(Reader& r, Annotation& a) {
    a.type = r.Str();
    a.name = r.Str();
    a.values = r.Floats();
    a.text = r.Str();
}

void Put(Writer& w, const StateAssignment& s) {
    w.Str(s.name);
    w.Str(s.value);
    w.I32(s.index);
    w.I32(s.line);
}
void Get(Reader& r, StateAssignment& s) {
    s.name = r.Str();
    s.value = r.Str();
    s.index = r.I32();
    s.line = r.I32();
}

void Put(Writer& w, const ShaderRef& s) {
    w.Bool(s.present);
    w.Str(s.profile);
    w.Str(s.entry);
    w.Str(s.arguments);
    w.I32(s.line);
}
void Get(Reader& r, ShaderRef& s) {
    s.present = r.Bool();
    s.profile = r.Str();
    s.entry = r.Str();
    s.arguments = r.Str();
    s.line = r.I32();
}

template <typename T>
void PutAll(Writer& w, const std::vector<T>& v) {
    w.List(v, [](Writer& out, const T& item) { Put(out, item); });
}
template <typename T>
std::vector<T> GetAll(Reader& r) {
    return r.List<T>([](Reader& in, T& item) { Get(in, item); });
}

void Put(Writer& w, const Parameter& p) {
    w.Str(p.type);
    w.Str(p.name);
    w.U32(static_cast<uint32_t>(p.cls));
    w.I32(p.rows);
    w.I32(p.columns);
    w.I32(p.elements);
    w.Bool(p.has_default);
    w.Floats(p.defaults);
    w.Str(p.semantic);
    PutAll(w, p.annotations);
    w.I32(p.line);
}
void Get(Reader& r, Parameter& p) {
    p.type = r.Str();
    p.name = r.Str();
    p.cls = static_cast<ParamClass>(r.Below(static_cast<uint32_t>(ParamClass::Struct) + 1));
    p.rows = r.I32();
    p.columns = r.I32();
    p.elements = r.I32();
    p.has_default = r.Bool();
    p.defaults = r.Floats();
    p.semantic = r.Str();
    p.annotations = GetAll<Annotation>(r);
    p.line = r.I32();
}

void Put(Writer& w, const Sampler& s) {
    w.Str(s.type);
    w.Str(s.name);
    w.Str(s.texture);
    PutAll(w, s.states);
    w.I32(s.line);
}
void Get(Reader& r, Sampler& s) {
    s.type = r.Str();
    s.name = r.Str();
    s.texture = r.Str();
    s.states = GetAll<StateAssignment>(r);
    s.line = r.I32();
}

void Put(Writer& w, const Pass& p) {
    w.Str(p.name);
    PutAll(w, p.annotations);
    PutAll(w, p.states);
    Put(w, p.vertex_shader);
    Put(w, p.pixel_shader);
    w.I32(p.line);
}
void Get(Reader& r, Pass& p) {
    p.name = r.Str();
    p.annotations = GetAll<Annotation>(r);
    p.states = GetAll<StateAssignment>(r);
    Get(r, p.vertex_shader);
    Get(r, p.pixel_shader);
    p.line = r.I32();
}

void Put(Writer& w, const Technique& t) {
    w.Str(t.name);
    PutAll(w, t.annotations);
    PutAll(w, t.passes);
    w.I32(t.line);
}
void Get(Reader& r, Technique& t) {
    t.name = r.Str();
    t.annotations = GetAll<Annotation>(r);
    t.passes = GetAll<Pass>(r);
    t.line = r.I32();
}

void Put(Writer& w, const LineMap::Mark& m) {
    w.I32(m.line);
    w.I32(m.source_line);
    w.Str(m.file);
}
void Get(Reader& r, LineMap::Mark& m) {
    m.line = r.I32();
    m.source_line = r.I32();
    m.file = r.Str();
}

void Put(Writer& w, const BlockMember& m) {
    w.Str(m.name);
    for (uint32_t v : {m.offset, m.vecsize, m.columns, m.array_size, m.array_stride, m.matrix_stride}) w.U32(v);
    w.Bool(m.row_major);
    w.Bool(m.is_int);
}
void Get(Reader& r, BlockMember& m) {
    m.name = r.Str();
    for (uint32_t* v : {&m.offset, &m.vecsize, &m.columns, &m.array_size, &m.array_stride, &m.matrix_stride}) *v = r.U32();
    m.row_major = r.Bool();
    m.is_int = r.Bool();
}

void Put(Writer& w, const std::string& s) { w.Str(s); }
void Get(Reader& r, std::string& s) { s = r.Str(); }

}  // namespace

std::string SavePreparedEffect(const PreparedEffect& prepared, std::string_view name) {
    if (!prepared.parsed_ok || !prepared.complete) return {};
    Writer w;
    w.bytes.append(kMagic, sizeof kMagic);
    w.U32(kFormat);
    w.Str(name);
    PutAll(w, prepared.parse_messages);
    const EffectDesc& desc = prepared.parsed.desc;
    PutAll(w, desc.parameters);
    PutAll(w, desc.samplers);
    PutAll(w, desc.techniques);
    w.Str(prepared.parsed.lines.name);
    PutAll(w, prepared.parsed.lines.marks);
    w.U32(static_cast<uint32_t>(prepared.stages.size()));
    for (const auto& [key, stage] : prepared.stages) {
        w.Str(key.first);
        w.I32(key.second);
        const CompiledStage& c = stage.compiled;
        w.U32(static_cast<uint32_t>(c.stage));
        w.Str(c.glsl);
        w.U32(c.block_size);
        PutAll(w, c.members);
        PutAll(w, c.samplers);
        w.Str(stage.log);
    }
    return std::move(w.bytes);
}

std::unique_ptr<PreparedEffect> LoadPreparedEffect(const void* bytes, size_t size, std::string* name) {
    if (!bytes || size < sizeof kMagic || std::memcmp(bytes, kMagic, sizeof kMagic) != 0) return nullptr;
    Reader r(static_cast<const unsigned char*>(bytes) + sizeof kMagic, size - sizeof kMagic);
    if (r.U32() != kFormat) return nullptr;
    auto prepared = std::make_unique<PreparedEffect>();
    std::string made_as = r.Str();
    prepared->parse_messages = GetAll<std::string>(r);
    EffectDesc& desc = prepared->parsed.desc;
    desc.parameters = GetAll<Parameter>(r);
    desc.samplers = GetAll<Sampler>(r);
    desc.techniques = GetAll<Technique>(r);
    prepared->parsed.lines.name = r.Str();
    prepared->parsed.lines.marks = GetAll<LineMap::Mark>(r);
    const uint32_t stages = r.U32();
    for (uint32_t i = 0; i < stages && r.ok(); ++i) {
        StageKey key;
        key.first = r.Str();
        key.second = static_cast<int>(r.Below(2));
        PreparedEffect::Stage stage;
        CompiledStage& c = stage.compiled;
        c.stage = static_cast<ShaderStage>(r.Below(2));
        c.glsl = r.Str();
        c.block_size = r.U32();
        c.members = GetAll<BlockMember>(r);
        c.samplers = GetAll<std::string>(r);
        stage.log = r.Str();
        if (!prepared->stages.emplace(std::move(key), std::move(stage)).second) return nullptr;
    }
    if (!r.ok() || !r.AtEnd()) return nullptr;
    // Complete, as only a complete one is written; checked all the same, so
    // that Build never needs the HLSL text these bytes leave out.
    for (const Technique& t : desc.techniques) {
        for (const Pass& p : t.passes) {
            if (p.vertex_shader.present && !prepared->stages.count(KeyOf(p.vertex_shader, ShaderStage::Vertex)))
                return nullptr;
            if (p.pixel_shader.present && !prepared->stages.count(KeyOf(p.pixel_shader, ShaderStage::Pixel)))
                return nullptr;
        }
    }
    prepared->parsed_ok = true;
    prepared->complete = true;
    if (name) *name = std::move(made_as);
    return prepared;
}

// ---------------------------------------------------------------------------
// [SECTION] The program's table
// ---------------------------------------------------------------------------

namespace {
struct Table {
    const PreparedBytes* entries = nullptr;
    size_t count = 0;
};
Table g_table;
}  // namespace

void UsePreparedEffects(const PreparedBytes* table, size_t count) { g_table = {table, count}; }

const PreparedBytes* FindPreparedEffect(uint32_t id) {
    for (size_t i = 0; i < g_table.count; ++i) {
        if (g_table.entries[i].id == id) return &g_table.entries[i];
    }
    return nullptr;
}

}  // namespace plat::fx
