// fuzz/key_script_fuzz.cpp - libFuzzer target for the command line:
// app/key_script.h ParseKeyScript (the `--keys` list) and main/options.h
// ParseOptions.
//
// The input is read twice: whole, as a `--keys` list, and cut at NUL bytes
// into argv (argv[0] first, as the shell would pass it) for ParseOptions.
// A list that parses is then played through KeyScript the way the main
// loop drives it, with the clock jumping to each event time: every press
// must be posted and released exactly once, and the script must finish.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "app/key_script.h"
#include "main/options.h"

namespace {

void PlayScript(const std::vector<KeyEvent>& events) {
    std::vector<double> times;
    for (const KeyEvent& e : events) {
        times.push_back(e.down_at);
        if (e.up_at >= 0.0) times.push_back(e.up_at);
    }
    std::sort(times.begin(), times.end());
    KeyScript script(events);
    int downs = 0, ups = 0;
    int balance[256] = {};
    const auto post = [&](unsigned vk, bool down) {
        (down ? downs : ups) += 1;
        balance[vk & 0xff] += down ? 1 : -1;
    };
    // Each time twice with a frame between, so one-frame presses and held
    // keys whose times coincide all come due; then a last pass after the end.
    times.push_back(times.empty() ? 0.0 : times.back());
    for (double t : times) {
        for (int pass = 0; pass < 2; ++pass) {
            while (script.Emit(t, post)) {
            }
            script.FrameDone();
        }
    }
    while (script.Emit(times.back(), post)) script.FrameDone();
    if (!script.Finished()) std::abort();
    if (downs != static_cast<int>(events.size()) || ups != downs) std::abort();
    for (int b : balance) {
        if (b != 0) std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    std::vector<KeyEvent> events;
    std::string error;
    if (ParseKeyScript(text, events, error)) {
        if (events.empty()) std::abort();
        PlayScript(events);
    } else if (!events.empty() || error.empty()) {
        std::abort();
    }

    std::vector<std::string> args{"kelo"};
    size_t begin = 0;
    while (begin <= size) {
        const size_t nul = text.find('\0', begin);
        args.emplace_back(text.substr(begin, nul == std::string_view::npos ? std::string_view::npos : nul - begin));
        if (nul == std::string_view::npos) break;
        begin = nul + 1;
    }
    std::vector<const char*> argv;
    for (const std::string& a : args) argv.push_back(a.c_str());
    argv.push_back(nullptr);
    AppOptions options;
    std::string message;
    const OptionsResult r = ParseOptions(static_cast<int>(args.size()), argv.data(), options, message);
    if ((r == OptionsResult::kError) == message.empty()) std::abort();
    if (r == OptionsResult::kError && message.rfind("kelo: ", 0) != 0) std::abort();
    return 0;
}
