// platform/fx/parser.h - the front end for effect files.
//
// Offers: ParseEffect reads HLSL in Direct3D 9 effect syntax and returns
// what it declares (desc.h) together with plain HLSL that an HLSL
// compiler accepts: technique blocks, texture and string declarations,
// annotations, sampler_state blocks, global semantics and parameter
// initialisers are blanked out (newlines kept, so line numbers still match
// the file) and each sampler becomes a bare `sampler2D name;`. Parameter
// defaults are evaluated here because HLSL compilers drop them: numbers,
// + - * /, constructors, braces (a comma before the closing brace allowed),
// `#define NAME value` macros and `static const` scalars and vectors. A
// default that cannot be read, or holds more or fewer values than its type
// (one value fills them all), is an error, never zeros. Array sizes are
// evaluated the same way and written back as numbers. Every function's
// signature is kept for the entry point wrappers (platform/fx/entry.h).
//
// Errors: a structure it cannot read gives false and messages of the form
// "NAME(LINE): what"; it never reads past the input and never recurses
// without bound (nesting is limited).
//
// Refuses by name and line: assembly shaders, shader variables and arrays
// of them (`VertexShader = (vs[i])`).
//
// Lines: `#line N "file"` (what the preprocessor writes where an include
// begins or ends, platform/fx/preprocess.h) is honoured: messages name the
// file and line the text came from, and ParsedEffect::lines maps the line
// numbers kept in the description (counted in the text given) back the
// same way.
//
// Does not: run the preprocessor (preprocess.h does, before this), or
// check the HLSL inside functions: the compiler does that.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/fx/desc.h"

namespace plat::fx {

// Where each line of a text came from, after its #line directives.
struct LineMap {
    struct Mark {
        int line;          // from this line of the text on ...
        int source_line;   // ... lines count from here ...
        std::string file;  // ... in this file
    };
    std::string name;          // the text's own name, before any mark
    std::vector<Mark> marks;   // in text order
    // "FILE(LINE)" for a line of the text.
    std::string Where(int line) const;
};

// A function's parameter as written: what an entry point wrapper needs to
// pass it on (platform/fx/entry.h).
struct FunctionParam {
    std::string qualifiers;  // "in", "out", "inout", "uniform", ... space-separated, as written
    std::string type;        // one line: "float4", "VS_INPUT"
    std::string name;
    std::string dims;        // "[4]" or empty
    std::string semantic;    // "POSITION", "TEXCOORD0" or empty
    bool is_uniform = false; // bound by a compile statement's argument
    bool is_out = false;     // out or inout
};

struct FunctionSig {
    std::string return_type;      // "void", "float4", "VS_OUTPUT"
    std::string return_semantic;  // "COLOR0" or empty
    std::string name;
    std::vector<FunctionParam> params;
    int line = 0;
};

struct ParsedEffect {
    EffectDesc desc;
    std::string hlsl;  // plain HLSL, same length in lines as the source
    LineMap lines;
    std::vector<FunctionSig> functions;  // every function defined at file scope
};

bool ParseEffect(std::string_view source, std::string_view name, ParsedEffect* out,
                 std::vector<std::string>* messages);

}  // namespace plat::fx
