// platform/os/process_memory.h - how much memory this process holds.
//
// Offers: the resident set now and its peak so far, in bytes, as the kernel
// counts them (VmRSS and VmHWM of /proc/self/status). Long capture runs
// report them so that a slow leak shows as growth between the first minute
// and the end.
//
// Returns 0 where the numbers cannot be read (no /proc).
#pragma once

#include <cstdint>

namespace plat {

uint64_t ResidentBytes();
uint64_t PeakResidentBytes();

}  // namespace plat
