// fx2d/loading.h - the loading screen, the first effect of every run.
//
// The demo object makes it in its constructor and holds the timeline while it
// lives. Each update loads one more asset into the cache and restarts the
// frame timer (the slow loading frames must not turn into one long step once
// the show starts); each render draws the loading picture with a black bar
// whose length is the loaded fraction. When the cache reports everything
// loaded it starts the music and marks itself expired; in the next update it
// hands itself to the demo's removal, which lets the timeline begin.
//
// What the first frame does not need is made in the next two updates, so the
// picture is on screen sooner: its mip chain (it is drawn at its own size,
// from level 0 alone) and the text font (only the panels write) in the
// second, the scene renderer's copy of the scene effect and its five
// targets (only the show's 3D effects draw with them) in the third.
//
// Frames, with the 23 cached assets: 1..23 load one asset each (the bar is
// already one step long in the first frame, since each effect is updated
// before it is drawn); 24 finds nothing left, starts the music; 25 retires.
#pragma once

#include "engine/effect.h"

struct CTexture;

// The progress bar, in reference-screen pixels: it grows from the left end of
// the box the loading picture draws (lines at x 218 and 805, y 357 and 383),
// leaving a margin of white inside it.
inline constexpr float kLoadingBarX = 224.0f;
inline constexpr float kLoadingBarY = 364.0f;
inline constexpr float kLoadingBarLength = 578.0f;  // at progress 1
inline constexpr float kLoadingBarHeight = 16.0f;

class CLoading : public CEffect {
public:
    CLoading();
    ~CLoading() override;
    // Starts decoding the loading picture on the start-up worker, for the
    // constructor to take (data/creators.h).
    static void PrepareAhead();

    // Marks the effect expired and starts the music.
    void OnExpire() override;
    void Update(float dt) override;
    void Render() override;

    CTexture* m_pPicture = nullptr;  // owned; not from the cache
    float m_fProgress = 0.0f;        // loaded fraction, in steps of 1/23
    int m_nFramesDrawn = 0;          // renders so far: what start-up work is still to do
};
