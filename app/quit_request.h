// app/quit_request.h - how the show asks the main loop to end, and whether
// the exit screen has begun.
//
// g_bQuit ends the main loop after the frame that set it (RequestQuit sets
// it: the exit screen when it runs out, a closed window). g_bExitRequested
// is set once Escape has started the exit screen and is never cleared, so a
// second Escape does not start it again. Both live below the main loop so
// that the effects can set them without knowing the loop.
#pragma once

extern bool g_bQuit;           // the main loop ends when set
extern bool g_bExitRequested;  // Escape has started the exit screen (never cleared)

void RequestQuit();
