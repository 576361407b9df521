// platform/fx/entry.h - the entry point a pass's `compile` statement names,
// made into one the HLSL compiler takes.
//
// Offers: MakeEntryPoint. A pass may write `compile vs_2_0 SceneVS(1, true)`:
// the arguments bind, in order, to SceneVS's `uniform` parameters as
// constants of that pass's shader. A pixel stage may read VPOS and VFACE
// (shader model 3). Neither is something the compiler does for an entry
// point, so for these a small wrapper entry point is written: it takes the
// remaining parameters with their semantics, turns the device's fragment
// position and facing into Direct3D 9's VPOS (pixel centres at integers)
// and VFACE (positive for clockwise, Direct3D's front faces), and calls the
// function with the arguments as written. Any other entry point is used as
// it is.
//
// Errors: an entry point the file does not define (the compiler would only
// find no output), or arguments that do not match its uniform parameters,
// give false and a message naming the pass's line.
//
// Does not: evaluate the arguments (the compiler folds them), or look into
// structures passed in (VPOS inside an input struct is refused).
#pragma once

#include <string>
#include <vector>

#include "platform/fx/desc.h"
#include "platform/fx/parser.h"

namespace plat::fx {

struct EntryPoint {
    std::string name;   // what the compiler is asked for
    std::string extra;  // HLSL to append to the file (empty: none needed)
};

// `index` makes the wrapper's name unique within the effect. On failure
// *error says why, without the place (the caller knows ref.line's file).
bool MakeEntryPoint(const std::vector<FunctionSig>& functions, const ShaderRef& ref, bool pixel_stage,
                    int index, EntryPoint* out, std::string* error);

}  // namespace plat::fx
