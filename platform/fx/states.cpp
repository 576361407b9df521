#include "platform/fx/states.h"

#include <cctype>
#include <cstdlib>
#include <string_view>

namespace plat::fx {
namespace {

using namespace gfx;

std::string Upper(std::string_view s) {
    std::string out;
    for (char c : s) out += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

struct Named {
    const char* name;
    uint32_t value;
};

// Value names as effect files write them, with and without D3D prefixes.
constexpr Named kBools[] = {{"TRUE", 1}, {"FALSE", 0}};
constexpr Named kCull[] = {{"NONE", CULL_NONE}, {"CW", CULL_CW}, {"CCW", CULL_CCW}};
constexpr Named kCmp[] = {{"NEVER", CMP_NEVER},         {"LESS", CMP_LESS},       {"EQUAL", CMP_EQUAL},
                          {"LESSEQUAL", CMP_LESSEQUAL}, {"GREATER", CMP_GREATER}, {"NOTEQUAL", CMP_NOTEQUAL},
                          {"GREATEREQUAL", CMP_GREATEREQUAL}, {"ALWAYS", CMP_ALWAYS}};
constexpr Named kBlend[] = {{"ZERO", BLEND_ZERO},           {"ONE", BLEND_ONE},
                            {"SRCCOLOR", BLEND_SRCCOLOR},   {"INVSRCCOLOR", BLEND_INVSRCCOLOR},
                            {"SRCALPHA", BLEND_SRCALPHA},   {"INVSRCALPHA", BLEND_INVSRCALPHA},
                            {"DESTALPHA", BLEND_DESTALPHA}, {"INVDESTALPHA", BLEND_INVDESTALPHA},
                            {"DESTCOLOR", BLEND_DESTCOLOR}, {"INVDESTCOLOR", BLEND_INVDESTCOLOR},
                            {"SRCALPHASAT", BLEND_SRCALPHASAT}};
constexpr Named kBlendOp[] = {{"ADD", BLENDOP_ADD}, {"SUBTRACT", BLENDOP_SUBTRACT},
                              {"REVSUBTRACT", BLENDOP_REVSUBTRACT}, {"MIN", BLENDOP_MIN}, {"MAX", BLENDOP_MAX}};
constexpr Named kZEnable[] = {{"TRUE", 1}, {"FALSE", 0}, {"ZB_TRUE", 1}, {"ZB_FALSE", 0}};
constexpr Named kFilter[] = {{"NONE", TEXF_NONE}, {"POINT", TEXF_POINT}, {"LINEAR", TEXF_LINEAR},
                             {"ANISOTROPIC", TEXF_ANISOTROPIC}};
constexpr Named kAddress[] = {{"WRAP", TADDRESS_WRAP}, {"MIRROR", TADDRESS_MIRROR}, {"CLAMP", TADDRESS_CLAMP},
                              {"BORDER", TADDRESS_BORDER}};

template <size_t N>
bool Lookup(std::string_view text, const Named (&table)[N], uint32_t* value) {
    std::string v = Upper(text);
    for (const char* prefix : {"D3DCULL_", "D3DCMP_", "D3DBLEND_", "D3DBLENDOP_", "D3DTEXF_", "D3DTADDRESS_", "D3D"}) {
        if (v.rfind(prefix, 0) == 0) {
            v = v.substr(std::string_view(prefix).size());
            break;
        }
    }
    for (const Named& n : table) {
        if (v == n.name) return (*value = n.value, true);
    }
    // A number in Direct3D's own numbering is accepted as it is.
    char* end = nullptr;
    const unsigned long number = std::strtoul(v.c_str(), &end, 0);
    if (!v.empty() && end && *end == '\0') return (*value = static_cast<uint32_t>(number), true);
    return false;
}

bool Bad(std::string* why, const StateAssignment& st, const char* what) {
    if (why) *why = std::string(what) + " '" + st.name + " = " + st.value + "'";
    return false;
}

}  // namespace

bool TranslateRenderState(const StateAssignment& st, RS* state, uint32_t* value, std::string* why) {
    const std::string name = Upper(st.name);
    struct Entry {
        const char* name;
        RS state;
        int table;  // 0 bool, 1 cull, 2 cmp, 3 blend, 4 blendop, 5 zenable, 6 number
    };
    static constexpr Entry kStates[] = {
        {"ZENABLE", RS::ZEnable, 5},           {"ZWRITEENABLE", RS::ZWriteEnable, 0},
        {"ZFUNC", RS::ZFunc, 2},               {"CULLMODE", RS::CullMode, 1},
        {"LIGHTING", RS::Lighting, 0},         {"ALPHATESTENABLE", RS::AlphaTestEnable, 0},
        {"ALPHAREF", RS::AlphaRef, 6},         {"ALPHAFUNC", RS::AlphaFunc, 2},
        {"ALPHABLENDENABLE", RS::AlphaBlendEnable, 0}, {"SRCBLEND", RS::SrcBlend, 3},
        {"DESTBLEND", RS::DestBlend, 3},       {"BLENDOP", RS::BlendOp, 4},
    };
    for (const Entry& e : kStates) {
        if (name != e.name) continue;
        bool ok = false;
        switch (e.table) {
            case 0: ok = Lookup(st.value, kBools, value); break;
            case 1: ok = Lookup(st.value, kCull, value); break;
            case 2: ok = Lookup(st.value, kCmp, value); break;
            case 3: ok = Lookup(st.value, kBlend, value); break;
            case 4: ok = Lookup(st.value, kBlendOp, value); break;
            case 5: ok = Lookup(st.value, kZEnable, value); break;
            default: ok = Lookup(st.value, kBools, value); break;
        }
        if (!ok) return Bad(why, st, "state value not understood:");
        *state = e.state;
        return true;
    }
    return Bad(why, st, "render state not supported:");
}

bool TranslateSamplerState(const StateAssignment& st, SS* state, uint32_t* value, std::string* why) {
    const std::string name = Upper(st.name);
    if (name == "MINFILTER" || name == "MAGFILTER" || name == "MIPFILTER") {
        if (!Lookup(st.value, kFilter, value)) return Bad(why, st, "filter not understood:");
        *state = name == "MINFILTER" ? SS::MinFilter : name == "MAGFILTER" ? SS::MagFilter : SS::MipFilter;
        return true;
    }
    if (name == "ADDRESSU" || name == "ADDRESSV") {
        if (!Lookup(st.value, kAddress, value)) return Bad(why, st, "address mode not understood:");
        *state = name == "ADDRESSU" ? SS::AddressU : SS::AddressV;
        return true;
    }
    return Bad(why, st, "sampler state not supported:");
}

}  // namespace plat::fx
