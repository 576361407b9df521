// Effects prepared at build time: the bytes the build made give the same
// effects as a compile, and damaged bytes are refused without harm.
#include "platform/fx/prepared.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "data/resource_ids.h"
#include "main/prepared_effects.h"
#include "platform/fx/effect.h"
#include "platform/os/log.h"
#include "platform/os/resources.h"
#include "tests/support/gfx_test_util.h"

using namespace plat;
using namespace plat::gfx;

namespace {

struct Made {
    std::string glsl;
    std::string desc;  // what the effect declares, written out
    std::vector<std::string> lines;
};

std::string Describe(const fx::EffectDesc& d) {
    std::string out;
    for (const fx::Parameter& p : d.parameters) {
        out += "param " + p.type + " " + p.name + " " + std::to_string(p.rows) + "x" + std::to_string(p.columns) +
               "[" + std::to_string(p.elements) + "] " + p.semantic + " line " + std::to_string(p.line) + ":";
        for (float v : p.defaults) out += " " + std::to_string(v);
        for (const fx::Annotation& a : p.annotations) out += " <" + a.type + " " + a.name + " " + a.text + ">";
        out += "\n";
    }
    for (const fx::Sampler& s : d.samplers) {
        out += "sampler " + s.name + " " + s.texture + ":";
        for (const fx::StateAssignment& st : s.states) out += " " + st.name + "=" + st.value;
        out += "\n";
    }
    for (const fx::Technique& t : d.techniques) {
        out += "technique " + t.name + "\n";
        for (const fx::Pass& p : t.passes) {
            out += "  pass " + p.name + " " + p.vertex_shader.entry + "/" + p.vertex_shader.profile + " " +
                   p.pixel_shader.entry + "/" + p.pixel_shader.profile + ":";
            for (const fx::StateAssignment& st : p.states) out += " " + st.name + "=" + st.value;
            out += "\n";
        }
    }
    return out;
}

Made MakeEffect(uint32_t id, const std::string& name) {
    Made m;
    plat::ClearLog();
    fx::Effect* e = fx::Effect::CreateFromResource(gfxtest::SharedDevice(), id, name);
    m.lines = plat::LogLines();
    EXPECT_NE(e, nullptr) << name;
    if (!e) return m;
    m.glsl = e->DumpGlsl();
    m.desc = Describe(e->Desc());
    e->Release();
    return m;
}

struct Embedded {
    uint32_t id;
    const char* name;
};
const Embedded kEffects[] = {
    {k2DEffectId, "Data\\2d.fx"},
    {kSceneEffectId, "Data\\Scene.fx"},
    {kSsaoEffectId, "Data\\PP_SSAO.fx"},
    {kSsaoCombineEffectId, "Data\\PP_SSAOCombine.fx"},
    {kColorCombineEffectId, "Data\\PP_ColorCombine.fx"},
    {kColorCombine4EffectId, "Data\\PP_ColorCombine4.fx"},
    {kColorBlurHEffectId, "Data\\PP_ColorBlurH.fx"},
    {kColorBlurVEffectId, "Data\\PP_ColorBlurV.fx"},
    {kColorDownFilter4EffectId, "Data\\PP_ColorDownFilter4.fx"},
    {kColorBrightPassEffectId, "Data\\PP_ColorBrightPass.fx"},
    {kWaterFadeEffectId, "Data\\PP_WaterFade.fx"},
};

TEST(PreparedEffects, TheBuildsBytesGiveWhatACompileGives) {
    ASSERT_NE(gfxtest::SharedDevice(), nullptr);
    for (const Embedded& e : kEffects) {
        UseEffectsPreparedAtBuildTime();
        ASSERT_NE(fx::FindPreparedEffect(e.id), nullptr) << e.name << " was not prepared by the build";
        const Made read = MakeEffect(e.id, e.name);
        fx::UsePreparedEffects(nullptr, 0);
        const Made compiled = MakeEffect(e.id, e.name);
        EXPECT_FALSE(read.glsl.empty()) << e.name;
        EXPECT_EQ(read.glsl, compiled.glsl) << e.name;
        EXPECT_EQ(read.desc, compiled.desc) << e.name;
        EXPECT_EQ(read.lines, compiled.lines) << e.name;
    }
    // What the effect does not show: each stage's block layout, samplers
    // and messages, against a fresh preparation of the same file.
    for (const Embedded& e : kEffects) {
        UseEffectsPreparedAtBuildTime();
        const fx::PreparedBytes* b = fx::FindPreparedEffect(e.id);
        ASSERT_NE(b, nullptr) << e.name;
        const auto read = fx::LoadPreparedEffect(b->begin, static_cast<size_t>(b->end - b->begin), nullptr);
        ASSERT_NE(read, nullptr) << e.name;
        fx::UsePreparedEffects(nullptr, 0);
        size_t size = 0;
        const unsigned char* source = plat::FindResourceBytes(plat::kResRcData, e.id, &size);
        const auto fresh = fx::PrepareEffect(std::string_view(reinterpret_cast<const char*>(source), size), e.name,
                                             fx::ResourceEffectOptions(e.id));
        ASSERT_EQ(read->stages.size(), fresh->stages.size()) << e.name;
        for (const auto& [key, stage] : fresh->stages) {
            const auto it = read->stages.find(key);
            ASSERT_NE(it, read->stages.end()) << e.name << " " << key.first;
            const fx::CompiledStage &a = it->second.compiled, &c = stage.compiled;
            EXPECT_EQ(a.stage, c.stage);
            EXPECT_EQ(a.glsl, c.glsl);
            EXPECT_EQ(a.block_size, c.block_size) << e.name << " " << key.first;
            EXPECT_EQ(a.samplers, c.samplers);
            EXPECT_EQ(it->second.log, stage.log);
            ASSERT_EQ(a.members.size(), c.members.size()) << e.name << " " << key.first;
            for (size_t i = 0; i < c.members.size(); ++i) {
                const fx::BlockMember &x = a.members[i], &y = c.members[i];
                EXPECT_TRUE(x.name == y.name && x.offset == y.offset && x.vecsize == y.vecsize &&
                            x.columns == y.columns && x.array_size == y.array_size &&
                            x.array_stride == y.array_stride && x.matrix_stride == y.matrix_stride &&
                            x.row_major == y.row_major && x.is_int == y.is_int)
                    << e.name << " " << key.first << ": member " << y.name;
            }
        }
        EXPECT_EQ(read->parsed.lines.name, fresh->parsed.lines.name);
        EXPECT_EQ(read->parsed.lines.marks.size(), fresh->parsed.lines.marks.size());
    }

    // Under another name than it was prepared with, it is compiled: its
    // messages must carry the name asked for.
    UseEffectsPreparedAtBuildTime();
    const Made renamed = MakeEffect(kSsaoEffectId, "Data\\Other.fx");
    fx::UsePreparedEffects(nullptr, 0);
    EXPECT_EQ(renamed.glsl, MakeEffect(kSsaoEffectId, "Data\\Other.fx").glsl);
}

TEST(PreparedEffects, DamagedBytesAreRefusedWithoutHarm) {
    UseEffectsPreparedAtBuildTime();
    const fx::PreparedBytes* b = fx::FindPreparedEffect(k2DEffectId);
    ASSERT_NE(b, nullptr);
    const std::vector<unsigned char> whole(b->begin, b->end);
    fx::UsePreparedEffects(nullptr, 0);
    std::string name;
    ASSERT_NE(fx::LoadPreparedEffect(whole.data(), whole.size(), &name), nullptr);
    EXPECT_EQ(name, "Data\\2d.fx");

    // Cut anywhere: refused.
    for (size_t n = 0; n < whole.size(); ++n) {
        std::vector<unsigned char> cut(whole.begin(), whole.begin() + static_cast<ptrdiff_t>(n));
        EXPECT_EQ(fx::LoadPreparedEffect(cut.data(), cut.size(), nullptr), nullptr) << "cut at " << n;
    }
    // A byte too many, another format number, a count far beyond the
    // bytes: refused.
    std::vector<unsigned char> longer = whole;
    longer.push_back(0);
    EXPECT_EQ(fx::LoadPreparedEffect(longer.data(), longer.size(), nullptr), nullptr);
    std::vector<unsigned char> format = whole;
    format[4] ^= 0x40;
    EXPECT_EQ(fx::LoadPreparedEffect(format.data(), format.size(), nullptr), nullptr);
    // Every byte changed in turn: whatever it reads as, it reads within the
    // bytes (the sanitized run checks) and never crashes.
    for (size_t i = 0; i < whole.size(); ++i) {
        std::vector<unsigned char> changed = whole;
        changed[i] ^= 0xFF;
        fx::LoadPreparedEffect(changed.data(), changed.size(), nullptr);
    }
    // A prepared effect that is not whole has no byte form.
    fx::PreparedEffect partial;
    EXPECT_TRUE(fx::SavePreparedEffect(partial, "x.fx").empty());
}

}  // namespace
