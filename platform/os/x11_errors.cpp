// Xlib's default error handler prints the error and exits the process with
// status 1. X errors arrive asynchronously, often for a request about a
// window that has just gone (the dialog closed by a key whose release is
// still on its way), so one such error would end the show - or the run,
// before it began - as a failure. This handler logs the error and lets the
// program go on, as Xlib allows a handler to do. Kept in a file of its own:
// Xlib's headers define names (None, Bool, Status) the rest must not see.
#include "platform/os/window_internal.h"

#include <X11/Xlib.h>

#include "platform/os/log.h"

namespace plat::detail {
namespace {

int LogXError(Display* display, XErrorEvent* e) {
    char text[256] = "";
    XGetErrorText(display, e->error_code, text, sizeof text);
    Log("win", "X error ignored: %s (request %d.%d, resource 0x%lx)", text, e->request_code, e->minor_code,
        static_cast<unsigned long>(e->resourceid));
    return 0;
}

}  // namespace

void InstallX11ErrorHandler() { XSetErrorHandler(LogXError); }

}  // namespace plat::detail
