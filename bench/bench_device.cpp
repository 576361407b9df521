#include "bench/bench_device.h"

#include <cstdio>
#include <string>

#include "platform/window.h"

namespace bench {

plat::gfx::Device* SharedDevice() {
    static plat::gfx::Device* device = [] {
        std::string error;
        plat::gfx::Device* d = nullptr;
        if (!plat::InitVideo(&error, true) || !plat::CreateMainWindow(plat::WindowParams{}, &error) ||
            !(d = plat::gfx::Device::Create(plat::gfx::DeviceParams{}, &error))) {
            std::fprintf(stderr, "bench: cannot make a device: %s\n", error.c_str());
        }
        return d;
    }();
    return device;
}

}  // namespace bench
