// platform/fx/parser.h - the front end for effect files.
//
// Offers: ParseEffect reads HLSL in Direct3D 9 effect syntax and returns
// what it declares (desc.h) together with plain HLSL that an HLSL
// compiler accepts: technique blocks, texture and string declarations,
// annotations, sampler_state blocks, global semantics and parameter
// initialisers are blanked out (newlines kept, so line numbers still match
// the file) and each sampler becomes a bare `sampler2D name;`. Parameter
// defaults are evaluated here because HLSL compilers drop them.
//
// Errors: a structure it cannot read gives false and messages of the form
// "NAME(LINE): what"; it never reads past the input and never recurses
// without bound (nesting is limited).
//
// Lines: `#line N "file"` (what the preprocessor writes where an include
// begins or ends, platform/fx/preprocess.h) is honoured: messages name the
// file and line the text came from, and ParsedEffect::lines maps the line
// numbers kept in the description (counted in the text given) back the
// same way.
//
// Does not: run the preprocessor (fx_preprocess.h does, before this), or
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

struct ParsedEffect {
    EffectDesc desc;
    std::string hlsl;  // plain HLSL, same length in lines as the source
    LineMap lines;
};

bool ParseEffect(std::string_view source, std::string_view name, ParsedEffect* out,
                 std::vector<std::string>* messages);

}  // namespace plat::fx
