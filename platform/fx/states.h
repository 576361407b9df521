// platform/fx/states.h - pass states and sampler states of effect files, as
// written ("ZEnable = false;", "MinFilter = LINEAR;"), turned into the
// device's render and sampler states. Names and values are case-insensitive;
// values may be names (TRUE, CCW, SRCALPHA, LINEAR, CLAMP, LESSEQUAL, ...)
// or numbers in Direct3D's numbering.
#pragma once

#include <cstdint>
#include <string>

#include "platform/fx/desc.h"
#include "platform/gfx/types.h"

namespace plat::fx {

// False (and *why, when given) for a state the device does not have or a
// value it cannot read.
bool TranslateRenderState(const StateAssignment& st, gfx::RS* state, uint32_t* value, std::string* why);
bool TranslateSamplerState(const StateAssignment& st, gfx::SS* state, uint32_t* value, std::string* why);

}  // namespace plat::fx
