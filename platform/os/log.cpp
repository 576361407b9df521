#include "platform/os/log.h"
#include "platform/os/log_times.h"

#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>

namespace plat {
namespace {

constexpr size_t kMaxLines = 1000;

struct LogState {
    std::mutex mutex;
    std::deque<std::string> lines;
    std::deque<double> times;  // per line, when it was logged
    int warnings = 0;
    int echo = -1;  // -1: not read from the environment yet
};

LogState& State() {
    static LogState* state = new LogState;  // never destroyed: usable from static destructors
    return *state;
}

enum class Level { Info, Warning, Error };

void Write(Level level, const char* category, const char* fmt, va_list args) {
    const double now = std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
    char text[1024];
    vsnprintf(text, sizeof text, fmt, args);
    std::string line = std::string(category) + ": " + text;

    LogState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (s.echo < 0) {
        const char* env = std::getenv("KELO_LOG");
        s.echo = env && std::strcmp(env, "1") == 0;
    }
    if (level != Level::Info) ++s.warnings;
    if (s.echo || level != Level::Info) {
        std::fprintf(stderr, "kelo: %s%s\n", level == Level::Warning ? "warning: " : "", line.c_str());
    }
    if (level == Level::Warning) line = "warning: " + line;
    if (level == Level::Error) line = "error: " + line;
    s.lines.push_back(std::move(line));
    s.times.push_back(now);
    if (s.lines.size() > kMaxLines) {
        s.lines.pop_front();
        s.times.pop_front();
    }
}

}  // namespace

void Log(const char* category, const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    Write(Level::Info, category, fmt, args);
    va_end(args);
}

void LogWarning(const char* category, const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    Write(Level::Warning, category, fmt, args);
    va_end(args);
}

void LogError(const char* category, const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    Write(Level::Error, category, fmt, args);
    va_end(args);
}

std::vector<std::string> LogLines() {
    LogState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    return {s.lines.begin(), s.lines.end()};
}

std::vector<TimedLogLine> TimedLogLines() {
    LogState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    std::vector<TimedLogLine> out(s.lines.size());
    for (size_t i = 0; i < out.size(); ++i) out[i] = {s.times[i], s.lines[i]};
    return out;
}

void ClearLog() {
    LogState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.lines.clear();
    s.times.clear();
    s.warnings = 0;
}

int LogWarningCount() {
    LogState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.warnings;
}

}  // namespace plat
