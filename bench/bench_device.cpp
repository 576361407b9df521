#include "bench/bench_device.h"

#include <cstdio>

#include "app/device.h"

namespace bench {

plat::gfx::Device* SharedDevice() {
    // The show's own device, made as a headless run makes it, so every
    // benchmark of the program draws through the one window and context.
    static plat::gfx::Device* device = [] {
        g_RunConfig.skip_dialog = true;
        g_RunConfig.windowed = true;
        g_RunConfig.offscreen = true;
        if (!GetDevice() && !InitDevice()) {
            std::fprintf(stderr, "bench: cannot make a device: %s\n", GetStartError().c_str());
            return static_cast<plat::gfx::Device*>(nullptr);
        }
        return GetDevice();
    }();
    return device;
}

}  // namespace bench
