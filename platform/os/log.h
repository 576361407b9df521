// platform/os/log.h - the one log of the program.
//
// Offers: Log(category, printf-format, ...) appends one line "category: text"
// to an in-memory record that tests read (LogLines), and prints it to stderr
// when the environment variable KELO_LOG is 1, or always for warnings and
// errors (LogWarning / LogError print "kelo: category: text"). Categories are
// short prefixes: "gfx", "fx", "tex", "mesh", "snd", "win", "cap".
//
// Lifecycle: none; usable before main() and after everything else is gone.
// The record keeps the last 1000 lines so a long run cannot grow it forever.
// Does not: write files, or lock across threads beyond one mutex per call.
#pragma once

#include <string>
#include <vector>

namespace plat {

void Log(const char* category, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
void LogWarning(const char* category, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
void LogError(const char* category, const char* fmt, ...) __attribute__((format(printf, 2, 3)));

std::vector<std::string> LogLines();
void ClearLog();
// Number of warnings and errors logged since start (or ClearLog).
int LogWarningCount();

}  // namespace plat
