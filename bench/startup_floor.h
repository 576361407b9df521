// bench/startup_floor.h - the bare floor of the show's start: the smallest
// SDL + OpenGL program that gets one textured frame out, so the start-up
// bench can hold the show's time to its first loading frame against what
// SDL and the driver need for a first picture and nothing else.
//
// What it does, timed after each step (seconds on the steady clock):
//   video    SDL's video subsystem on the "offscreen" driver, the one the
//            show's captures use, or on the display (a person's start)
//   window   a 1024 x 768 GL window with a 4.5 core, double-buffered,
//            depth-less framebuffer: the attributes the show's window asks for
//   context  the GL context, made current
//   texture  one 1024 x 768 RGBA8 texture (one level), filled with a
//            generated picture: the loading picture's size and format
//   program  one vertex + one fragment stage, linked
//   frame    the quad drawn over the whole window, the frame read back as
//            RGBA8 (which waits for the driver) and swapped
//
// Lifecycle: Run once per process; it tears down what it made (its times
// stop before the tear-down). Does not: decode a picture, make mips, use the
// show's device or its log.
#pragma once

#include <string>

namespace bench::startup_floor {

struct Times {
    double video = 0, window = 0, context = 0, texture = 0, program = 0, frame = 0;
    unsigned checksum = 0;  // of the read-back frame, so the read is not skipped
};

// The steady clock's seconds, as `Times` holds them.
double Now();

// False with *error when a step fails. `on_display`: SDL's x11 driver, on
// the display DISPLAY names, instead of the offscreen one.
bool Run(Times* times, std::string* error, bool on_display = false);

}  // namespace bench::startup_floor
