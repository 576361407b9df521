// main/capture.h - capture runs: every presented frame written as a PNG file,
// the clock advanced by exactly one frame per frame, the music mixed in step
// into DIR/audio.wav (frame k starts at sample floor(k * 44100 / fps)),
// progress on the terminal, the stop conditions of the command line, and at
// the end, with --video, the frames and the sound muxed by ffmpeg.
//
// Lifecycle: Begin (before the device and the sound exist: refuses what
// would lose or mix data, switches the clock to frame time and the sound to
// offline mixing, and catches the stop signals) -> Start (opens the output
// once the device exists) -> AfterPresent once per frame -> Finish (waits
// for the files, prints where they went, makes the video).
//
// A capture never mixes with an older one (a directory holding frames or
// audio.wav is refused without --overwrite), stops at the first write that
// fails (the reason printed, the files on disk whole), and on SIGINT,
// SIGTERM, SIGHUP or SIGQUIT stops after the frame in hand, makes no video
// and ends with 128 + the signal.
#pragma once

#include <string>

#include "main/options.h"

namespace capture {

bool Active();
// False (and `error` set) when the capture must not start: nothing was
// written, and the caller ends with kExitCannotStart.
bool Begin(const AppOptions& options, std::string* error);
bool Start(std::string* error);
// After every frame: reads the frame just presented and queues it for
// writing, mixes its sound into audio.wav, moves the clock one frame on, and
// returns true when the run has reached its stop condition. A frame not to
// be kept (`keep` false: the frames before --start, drawn or not) moves the
// clock and the music on alike but is neither read nor written, and does
// not count towards --frames and --seconds.
bool AfterPresent(bool keep = true);
// The exit status of the run: kExitOk, kExitCannotStart when frames, sound
// or the video could not be written (the reason was printed), or 128 + the
// signal that interrupted it.
int Finish();

}  // namespace capture
