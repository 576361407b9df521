#include "app/quit_request.h"

bool g_bQuit = false;
bool g_bExitRequested = false;

void RequestQuit() { g_bQuit = true; }
