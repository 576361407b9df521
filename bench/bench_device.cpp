#include "bench/bench_device.h"

#include <algorithm>
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

void FrameCounters::Add(const plat::gfx::FrameStats& frame) {
    total.draws += frame.draws;
    total.texture_binds += frame.texture_binds;
    total.target_binds += frame.target_binds;
    total.program_binds += frame.program_binds;
    total.state_changes += frame.state_changes;
}

void FrameCounters::Report(benchmark::State& state) const {
    const double n = static_cast<double>(state.iterations() > 0 ? state.iterations() : 1);
    state.counters["draws"] = total.draws / n;
    state.counters["texture_binds"] = total.texture_binds / n;
    state.counters["target_binds"] = total.target_binds / n;
    state.counters["program_binds"] = total.program_binds / n;
    state.counters["state_changes"] = total.state_changes / n;
}

double Median(std::vector<double>& v) {
    if (v.empty()) return 0.0;
    std::nth_element(v.begin(), v.begin() + static_cast<long>(v.size() / 2), v.end());
    return v[v.size() / 2];
}

}  // namespace bench
