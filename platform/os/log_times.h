// platform/os/log_times.h - the log's record with the time of each line.
//
// Offers: TimedLogLines, the lines LogLines returns, each with the time it
// was logged (steady clock, seconds since its epoch), so a start-up's steps
// can be timed from the lines its steps log anyway.
// Lifecycle: as the log's. Does not: print times, or keep more lines than
// the log keeps.
#pragma once

#include <string>
#include <vector>

namespace plat {

struct TimedLogLine {
    double seconds = 0;
    std::string text;
};
std::vector<TimedLogLine> TimedLogLines();

}  // namespace plat
