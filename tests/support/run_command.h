// Runs a shell command as a person would and returns its exit status (-1 if
// it did not exit normally) and everything it printed, stderr included.
#pragma once

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <string>
#include <utility>

inline std::pair<int, std::string> RunCommand(const std::string& command) {
    const std::string cmd = command + " 2>&1";
    std::string out;
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return {-1, out};
    std::array<char, 4096> buf;
    size_t n;
    while ((n = fread(buf.data(), 1, buf.size(), p)) > 0) out.append(buf.data(), n);
    const int st = pclose(p);
    return {WIFEXITED(st) ? WEXITSTATUS(st) : -1, out};
}
