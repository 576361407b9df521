#include "platform/os/process_memory.h"

#include <cstdio>
#include <cstring>

namespace plat {
namespace {

// One "Name:   1234 kB" line of /proc/self/status, in bytes.
uint64_t StatusKilobytes(const char* name) {
    std::FILE* f = std::fopen("/proc/self/status", "r");
    if (!f) return 0;
    char line[256];
    uint64_t bytes = 0;
    const size_t len = std::strlen(name);
    while (std::fgets(line, sizeof line, f)) {
        if (std::strncmp(line, name, len) == 0 && line[len] == ':') {
            unsigned long long kb = 0;
            if (std::sscanf(line + len + 1, "%llu", &kb) == 1) bytes = static_cast<uint64_t>(kb) * 1024u;
            break;
        }
    }
    std::fclose(f);
    return bytes;
}

}  // namespace

uint64_t ResidentBytes() { return StatusKilobytes("VmRSS"); }
uint64_t PeakResidentBytes() { return StatusKilobytes("VmHWM"); }

}  // namespace plat
