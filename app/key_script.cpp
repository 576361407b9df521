#include "app/key_script.h"

#include <algorithm>
#include <charconv>
#include <system_error>
#include <utility>

#include "app/keys.h"

namespace {

struct KeyName {
    std::string_view name;
    unsigned vk;
};

constexpr KeyName kKeyNames[] = {
    {"Escape", kVkEscape}, {"Space", kVkSpace}, {"F1", kVkF1},       {"F2", kVkF2},
    {"Left", kVkLeft},     {"Right", kVkRight}, {"Up", kVkUp},       {"Down", kVkDown},
};

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
    return true;
}

bool LookUpKey(std::string_view name, unsigned& vk) {
    for (const KeyName& k : kKeyNames) {
        if (EqualsIgnoringCase(name, k.name)) {
            vk = k.vk;
            return true;
        }
    }
    return false;
}

std::string_view TrimSpaces(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

// One time of an event; `what` is "time", "start time" or "end time".
bool ParseEventTime(std::string_view text, const char* what, double& seconds, std::string& why) {
    if (text.empty()) {
        why = std::string("no ") + what;
        return false;
    }
    if (text.front() == '-') {
        why = std::string(what) + " '" + std::string(text) + "' is negative";
        return false;
    }
    if (!ParseDecimalSeconds(text, seconds)) {
        why = std::string(what) + " '" + std::string(text) +
              "' is not a number of seconds (a decimal such as 2.5)";
        return false;
    }
    return true;
}

bool ParseEvent(std::string_view text, KeyEvent& event, std::string& why) {
    size_t colon = text.rfind(':');
    if (colon == std::string_view::npos) {
        why = "expected TIME:KEY or START-END:KEY";
        return false;
    }
    std::string_view times = TrimSpaces(text.substr(0, colon));
    std::string_view key = TrimSpaces(text.substr(colon + 1));

    if (key.empty()) {
        why = "no key after ':'";
        return false;
    }
    if (!LookUpKey(key, event.vk)) {
        why = "unknown key '" + std::string(key) + "' (one of Escape, Space, F1, F2, Left, Right, Up, Down)";
        return false;
    }

    // A leading '-' is a minus sign, not the range separator.
    size_t dash = times.find('-', 1);
    if (dash == std::string_view::npos) {
        event.up_at = -1.0;
        return ParseEventTime(times, "time", event.down_at, why);
    }
    if (!ParseEventTime(TrimSpaces(times.substr(0, dash)), "start time", event.down_at, why)) return false;
    if (!ParseEventTime(TrimSpaces(times.substr(dash + 1)), "end time", event.up_at, why)) return false;
    if (!(event.up_at > event.down_at)) {
        why = "the end time must be later than the start time";
        return false;
    }
    return true;
}

}  // namespace

bool ParseDecimalSeconds(std::string_view text, double& seconds) {
    // Checked by hand first: from_chars alone would also take a sign, "inf"
    // and "nan", none of which is a time.
    size_t digits = 0, points = 0;
    for (char c : text) {
        if (c >= '0' && c <= '9')
            ++digits;
        else if (c == '.')
            ++points;
        else
            return false;
    }
    if (digits == 0 || points > 1) return false;
    double value = 0.0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed);
    if (ec != std::errc() || end != text.data() + text.size()) return false;
    seconds = value;
    return true;
}

bool ParseKeyScript(std::string_view spec, std::vector<KeyEvent>& out, std::string& error) {
    out.clear();
    size_t count = static_cast<size_t>(std::count(spec.begin(), spec.end(), ',')) + 1;
    size_t index = 0;
    size_t begin = 0;
    while (true) {
        size_t comma = spec.find(',', begin);
        std::string_view raw = spec.substr(begin, comma == std::string_view::npos ? std::string_view::npos
                                                                                  : comma - begin);
        ++index;
        std::string_view text = TrimSpaces(raw);
        KeyEvent event;
        std::string why;
        bool ok = !text.empty();
        if (!ok)
            why = "empty (event " + std::to_string(index) + " of " + std::to_string(count) +
                  "; look for a stray comma)";
        else
            ok = ParseEvent(text, event, why);
        if (!ok) {
            error = "bad event '" + std::string(raw) + "': " + why;
            out.clear();
            return false;
        }
        out.push_back(event);
        if (comma == std::string_view::npos) break;
        begin = comma + 1;
    }
    return true;
}

KeyScript::KeyScript(std::vector<KeyEvent> events) {
    m_entries.reserve(events.size());
    for (const KeyEvent& e : events) m_entries.push_back(Entry{e, Stage::kWaiting});
    // Stable, so that events given for the same time keep their order.
    std::stable_sort(m_entries.begin(), m_entries.end(),
                     [](const Entry& a, const Entry& b) { return a.event.down_at < b.event.down_at; });
}

bool KeyScript::Emit(double now, const std::function<void(unsigned vk, bool down)>& post) {
    bool posted = false;
    // One-frame presses first: a frame has seen the key down, so it goes up
    // before anything new goes down (a repeated T:KEY on the same key then
    // reads as a new press).
    for (Entry& e : m_entries) {
        if (e.stage == Stage::kSeen && e.event.up_at < 0.0) {
            post(e.event.vk, false);
            e.stage = Stage::kDone;
            posted = true;
        }
    }
    for (Entry& e : m_entries) {
        if (e.stage == Stage::kWaiting && e.event.down_at <= now) {
            post(e.event.vk, true);
            e.stage = Stage::kPosted;
            posted = true;
        }
    }
    // Held keys go up only once a frame has seen them down (kSeen), even if
    // their end time has passed too: otherwise the press would be lost.
    for (Entry& e : m_entries) {
        if (e.stage == Stage::kSeen && e.event.up_at >= 0.0 && e.event.up_at <= now) {
            post(e.event.vk, false);
            e.stage = Stage::kDone;
            posted = true;
        }
    }
    return posted;
}

void KeyScript::FrameDone() {
    for (Entry& e : m_entries)
        if (e.stage == Stage::kPosted) e.stage = Stage::kSeen;
}

bool KeyScript::Finished() const {
    return std::all_of(m_entries.begin(), m_entries.end(),
                       [](const Entry& e) { return e.stage == Stage::kDone; });
}
