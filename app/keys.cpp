#include "app/keys.h"

#include <cstring>

unsigned char g_KeyState[256];
unsigned char g_PrevKeyState[256];

bool IsKeyDown(int key) { return g_KeyState[key & 0xFF] == 1; }

bool IsKeyPressed(int key) {
    return g_PrevKeyState[key & 0xFF] == 0 && g_KeyState[key & 0xFF] == 1;
}

void OnKeyMessage(unsigned vk, bool down) {
    // The message's key code is a full machine word; the table has 256 entries.
    g_KeyState[vk & 0xFFu] = down ? 1 : 0;
}

void EndFrameKeys() { std::memcpy(g_PrevKeyState, g_KeyState, sizeof g_KeyState); }
