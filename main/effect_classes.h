// main/effect_classes.h - the class objects of the show's effects.
//
// They are static objects defined together in main/effect_classes.cpp, so
// that the order in which they register (which decides the order of the
// registry's list) is fixed in one place. Because they live in a static
// library, nothing would pull their object file into the executable on its
// own: the entry point calls LogEffectClasses, which both keeps them linked
// and records in the log which classes this build carries.
#pragma once

// One "app: effect class ID NAME" line per registered class, head of the
// registry first. Returns the number of classes.
int LogEffectClasses();
