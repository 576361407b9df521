// app/capture.h - capture runs: every presented frame written as a PNG file,
// the clock advanced by exactly one frame per frame, the music mixed in step
// into DIR/audio.wav (frame k starts at sample floor(k * 44100 / fps)),
// progress on the terminal, the stop conditions of the command line, and at
// the end, with --video, the frames and the sound muxed by ffmpeg.
//
// Lifecycle: Begin (before the device and the sound exist: switches the
// clock to frame time and the sound to offline mixing) -> Start (opens the
// output once the device exists) -> AfterPresent once per frame -> Finish
// (waits for the files, prints where they went, makes the video).
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
