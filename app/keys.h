// app/keys.h - the keyboard state the show reads once per frame.
//
// Offers: one byte per virtual-key code (1 down, 0 up), written by the window
// procedure as key messages arrive, and a copy taken at the end of every frame
// so that "went down since the last frame" can be answered.
//
// Lifecycle: both tables are zero at load. The window procedure calls
// OnKeyMessage for each key-down and key-up; the main loop calls EndFrameKeys
// after every frame (after Present). Nothing else writes them.
//
// Consequences worth knowing:
//   - auto-repeat key-downs write 1 over 1 and change nothing;
//   - a press and a release handled between two frames are never seen, nor is
//     a release and a press (the key stays "down", not "pressed");
//   - only the low 8 bits of a key code count, on writing and on reading.
//
// Codes are the Win32 virtual-key codes; the platform layer translates its
// own key events into them.
#pragma once

// Virtual keys the show uses.
inline constexpr int kVkEscape = 27;  // starts the exit screen
inline constexpr int kVkSpace = 32;   // held: everything runs four times as fast
inline constexpr int kVkLeft = 37;    // tuning panels
inline constexpr int kVkUp = 38;
inline constexpr int kVkRight = 39;
inline constexpr int kVkDown = 40;
inline constexpr int kVkF1 = 112;  // parameter panel
inline constexpr int kVkF2 = 113;  // spectrum panel

extern unsigned char g_KeyState[256];      // now: 1 down, 0 up
extern unsigned char g_PrevKeyState[256];  // as it was at the end of the last frame

// The key (low 8 bits of `key`) is down now.
bool IsKeyDown(int key);
// The key is down now and was up at the end of the previous frame.
bool IsKeyPressed(int key);

// What the window procedure does with a key-down (down = true) or key-up.
void OnKeyMessage(unsigned vk, bool down);

// End of a frame: the current state becomes the previous one.
void EndFrameKeys();
