// main/prepared_effects.h - the show's effect files as the build prepared
// them (tools/kelo-fxprep.cpp, cmake/EmbedResources.cmake): made ready for
// the device, so that neither the first frame nor the loading screen waits
// for the HLSL compiler.
//
// Offers: UseEffectsPreparedAtBuildTime, which hands the table the build
// linked in to platform/fx; from then on making one of those effects under
// the name it was prepared with reads it from there, and gives the effect
// and the log lines a compile would have given. Every program that runs the
// show links the table (with the effect classes); KeloMain calls this first.
#pragma once

void UseEffectsPreparedAtBuildTime();
