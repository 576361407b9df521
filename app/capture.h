// app/capture.h - capture runs: every presented frame written as a PNG file,
// the clock advanced by exactly one frame per frame, progress on the terminal,
// and the stop conditions of the command line.
//
// Lifecycle: Begin (before the device exists: switches the clock to frame
// time) -> Start (opens the output once the device exists) -> AfterPresent
// once per frame -> Finish (waits for the files, prints where they went).
#pragma once

#include <string>

#include "app/options.h"

namespace capture {

bool Active();
void Begin(const AppOptions& options);
bool Start(std::string* error);
// Reads the frame just presented, queues it for writing, moves the clock one
// frame on, and returns true when the run has reached its stop condition.
bool AfterPresent();
// Returns false when frames could not be written (the reason was printed).
bool Finish();

}  // namespace capture
