// One off-screen device shared by every benchmark of the program, and the
// per-frame counters the frame benchmarks report.
#pragma once

#include <benchmark/benchmark.h>

#include <vector>

#include "platform/gfx/device.h"

namespace bench {
plat::gfx::Device* SharedDevice();

// Device statistics summed over a benchmark's frames (add LastFrameStats
// after each Present), reported per frame: draws, texture, target and
// program binds, GL state changes.
struct FrameCounters {
    plat::gfx::FrameStats total;
    void Add(const plat::gfx::FrameStats& frame);
    void Report(benchmark::State& state) const;
};

// The middle value (the upper one of an even count); 0 for none. Reorders v.
double Median(std::vector<double>& v);
}
