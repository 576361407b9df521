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

bool StartsWithIgnoringCase(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && EqualsIgnoringCase(s.substr(0, prefix.size()), prefix);
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
    const bool close = EqualsIgnoringCase(key, "Close");
    if (close) {
        event.vk = kKeyScriptClose;
    } else if (!LookUpKey(key, event.vk)) {
        why = "unknown key '" + std::string(key) + "' (one of Escape, Space, F1, F2, Left, Right, Up, Down, Close)";
        return false;
    }

    // A leading '-' is a minus sign, not the range separator.
    size_t dash = times.find('-', 1);
    if (dash == std::string_view::npos) {
        event.up_at = -1.0;
        return ParseEventTime(times, "time", event.down_at, why);
    }
    if (close) {
        why = "Close is an instant (T:Close); it cannot be held";
        return false;
    }
    if (!ParseEventTime(TrimSpaces(times.substr(0, dash)), "start time", event.down_at, why)) return false;
    if (!ParseEventTime(TrimSpaces(times.substr(dash + 1)), "end time", event.up_at, why)) return false;
    if (!(event.up_at > event.down_at)) {
        why = "the end time must be later than the start time";
        return false;
    }
    return true;
}

// "random:SEED": the seed as a whole number below 2^64.
bool ParseRandomSeed(std::string_view text, uint64_t& seed, std::string& why) {
    const std::string_view digits = TrimSpaces(text);
    const bool all_digits = !digits.empty() && std::all_of(digits.begin(), digits.end(), [](char c) {
        return c >= '0' && c <= '9';
    });
    auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), seed);
    if (!all_digits || ec != std::errc() || end != digits.data() + digits.size()) {
        why = "the seed '" + std::string(digits) + "' is not a whole number below 2^64";
        return false;
    }
    return true;
}

// SplitMix64: small, and the same numbers on every machine (the standard
// library's distributions are not), so a seed names one run everywhere.
struct SplitMix {
    uint64_t state;
    uint64_t Next() {
        uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // In [0, 1), from the top 53 bits.
    double Unit() { return static_cast<double>(Next() >> 11) * 0x1.0p-53; }
};

}  // namespace

void AppendRandomKeys(uint64_t seed, std::vector<KeyEvent>& out) {
    // Escape would end the show and is left to the list; the rest are what
    // a curious person at the keyboard reaches for.
    static constexpr unsigned kKeys[] = {kVkSpace, kVkF1, kVkF2, kVkLeft, kVkRight, kVkUp, kVkDown};
    SplitMix rng{seed};
    double t = 1.0;
    while (t < kRandomKeysUntil) {
        KeyEvent e;
        e.vk = kKeys[rng.Next() % std::size(kKeys)];
        e.down_at = t;
        // Three presses in ten are holds, up to three seconds (long enough
        // for the panels' held stepping and a stretch of fast-forward).
        if (rng.Unit() < 0.3) e.up_at = t + 0.05 + 2.95 * rng.Unit();
        out.push_back(e);
        t += 0.1 + 1.9 * rng.Unit();
    }
}

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
        else if (StartsWithIgnoringCase(text, "random:")) {
            uint64_t seed = 0;
            ok = ParseRandomSeed(text.substr(7), seed, why);
            if (ok) AppendRandomKeys(seed, out);
        } else {
            ok = ParseEvent(text, event, why);
            if (ok) out.push_back(event);
        }
        if (!ok) {
            error = "bad event '" + std::string(raw) + "': " + why;
            out.clear();
            return false;
        }
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
    // Entries are sorted by press time, so everything that is or was down
    // lies between m_first and the first press still to come; a long random
    // list costs only its few live entries per call.
    size_t end = m_first;
    while (end < m_entries.size() && (m_entries[end].stage != Stage::kWaiting || m_entries[end].event.down_at <= now))
        ++end;
    bool posted = false;
    // One-frame presses first: a frame has seen the key down, so it goes up
    // before anything new goes down (a repeated T:KEY on the same key then
    // reads as a new press).
    for (size_t i = m_first; i < end; ++i) {
        Entry& e = m_entries[i];
        if (e.stage == Stage::kSeen && e.event.up_at < 0.0) {
            e.stage = Stage::kDone;
            // A close request has no key to let go of.
            if (e.event.vk == kKeyScriptClose) continue;
            post(e.event.vk, false);
            posted = true;
        }
    }
    for (size_t i = m_first; i < end; ++i) {
        Entry& e = m_entries[i];
        if (e.stage == Stage::kWaiting && e.event.down_at <= now) {
            post(e.event.vk, true);
            e.stage = Stage::kPosted;
            posted = true;
        }
    }
    // Held keys go up only once a frame has seen them down (kSeen), even if
    // their end time has passed too: otherwise the press would be lost.
    for (size_t i = m_first; i < end; ++i) {
        Entry& e = m_entries[i];
        if (e.stage == Stage::kSeen && e.event.up_at >= 0.0 && e.event.up_at <= now) {
            post(e.event.vk, false);
            e.stage = Stage::kDone;
            posted = true;
        }
    }
    while (m_first < m_entries.size() && m_entries[m_first].stage == Stage::kDone) ++m_first;
    return posted;
}

void KeyScript::FrameDone() {
    for (size_t i = m_first; i < m_entries.size() && m_entries[i].stage != Stage::kWaiting; ++i)
        if (m_entries[i].stage == Stage::kPosted) m_entries[i].stage = Stage::kSeen;
}

bool KeyScript::Finished() const { return m_first == m_entries.size(); }
