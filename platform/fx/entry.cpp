#include "platform/fx/entry.h"

#include <algorithm>
#include <cctype>

namespace plat::fx {
namespace {

std::string Upper(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

// Splits "1, float2(0.5, 1), true" at the commas outside brackets.
std::vector<std::string> SplitArguments(const std::string& text) {
    std::vector<std::string> out;
    std::string current;
    int depth = 0;
    for (char c : text) {
        if (c == '(' || c == '[' || c == '{') ++depth;
        if (c == ')' || c == ']' || c == '}') --depth;
        if (c == ',' && depth == 0) {
            out.push_back(current);
            current.clear();
            continue;
        }
        current += c == '\n' ? ' ' : c;  // the wrapper is one line
    }
    if (current.find_first_not_of(" \t\r") != std::string::npos || !out.empty()) out.push_back(current);
    return out;
}

std::string Without(const std::string& qualifiers, std::string_view word) {
    std::string out;
    size_t i = 0;
    while (i < qualifiers.size()) {
        size_t j = qualifiers.find(' ', i);
        if (j == std::string::npos) j = qualifiers.size();
        const std::string_view w = std::string_view(qualifiers).substr(i, j - i);
        if (w != word) out += std::string(w) + " ";
        i = j + 1;
    }
    return out;
}

// Direct3D 9's VPOS is the pixel's position with pixel centres at whole
// numbers; the fragment position has them at .5 (the device puts D3D pixel
// (x, y) at window (x + 0.5, y + 0.5), counted from the top).
std::string VposFrom(const std::string& type, const char* frag) {
    const std::string xy = "(" + std::string(frag) + ".xy - 0.5)";
    if (type.size() >= 1 && type.back() == '2') return xy;
    if (type.size() >= 1 && type.back() == '4') return type + "(" + xy + ", 0, 0)";
    return type + "(" + xy + ", 0)";  // float3
}

}  // namespace

bool MakeEntryPoint(const std::vector<FunctionSig>& functions, const ShaderRef& ref, bool pixel_stage, int index,
                    EntryPoint* out, std::string* error) {
    const std::vector<std::string> args = SplitArguments(ref.arguments);
    const FunctionSig* f = nullptr;
    for (const FunctionSig& candidate : functions) {
        if (candidate.name != ref.entry) continue;
        const auto uniforms = std::count_if(candidate.params.begin(), candidate.params.end(),
                                            [](const FunctionParam& p) { return p.is_uniform; });
        // Overloads: the one whose uniform parameters the arguments fill.
        if (!f || static_cast<size_t>(uniforms) == args.size()) f = &candidate;
    }
    out->name = ref.entry;
    out->extra.clear();
    if (!f) {
        *error = "entry point '" + ref.entry + "' is not defined in the file";
        return false;
    }
    bool needs_wrapper = !args.empty();
    for (const FunctionParam& p : f->params) {
        const std::string sem = Upper(p.semantic);
        if (pixel_stage && (sem == "VPOS" || sem == "VFACE")) needs_wrapper = true;
    }
    if (!needs_wrapper) return true;

    std::string params, call;
    size_t next_arg = 0;
    for (const FunctionParam& p : f->params) {
        if (!call.empty()) call += ", ";
        const std::string sem = Upper(p.semantic);
        if (p.is_uniform) {
            if (next_arg >= args.size()) break;
            call += "(" + args[next_arg++] + ")";
            continue;
        }
        if (!params.empty()) params += ", ";
        if (pixel_stage && sem == "VPOS") {
            params += "float4 kelo_vpos : SV_Position";
            call += VposFrom(p.type, "kelo_vpos");
        } else if (pixel_stage && sem == "VFACE") {
            params += "bool kelo_vface : SV_IsFrontFace";
            call += "(kelo_vface ? 1.0 : -1.0)";
        } else {
            params += Without(p.qualifiers, "uniform") + p.type + " " + p.name + p.dims;
            if (!p.semantic.empty()) params += " : " + p.semantic;
            call += p.name;
        }
    }
    const auto uniforms = static_cast<size_t>(
        std::count_if(f->params.begin(), f->params.end(), [](const FunctionParam& p) { return p.is_uniform; }));
    if (args.size() != uniforms) {
        *error = "'compile " + ref.profile + " " + ref.entry + "(" +
                 ref.arguments + ")' gives " + std::to_string(args.size()) + " argument" +
                 (args.size() == 1 ? "" : "s") + "; '" + ref.entry + "' (line " + std::to_string(f->line) +
                 ") has " + std::to_string(uniforms) + " uniform parameter" + (uniforms == 1 ? "" : "s");
        return false;
    }
    out->name = "kelo_entry" + std::to_string(index) + "_" + ref.entry;
    const bool returns = f->return_type != "void";
    // One line after the file's last: messages about the file keep their lines.
    out->extra = "\n" + f->return_type + " " + out->name + "(" + params + ")" +
                 (f->return_semantic.empty() ? "" : " : " + f->return_semantic) + " { " + (returns ? "return " : "") +
                 ref.entry + "(" + call + "); }\n";
    return true;
}

}  // namespace plat::fx
