// app/key_script.h - key presses given on the command line, delivered by clock time.
//
// Offers: the parser of the `--keys` list and KeyScript, which turns the
// parsed events into the key-down and key-up messages a person would have
// typed, at the clock times asked for.
//
// The list: comma-separated events, each either
//   T:KEY       pressed at T seconds, released after exactly one frame has run;
//   T1-T2:KEY   held from T1 to T2 seconds (T2 > T1);
//   T:Close     the window asked to close at T seconds, as its close button
//               does (an instant only: it cannot be held);
//   random:SEED a stream of presses and holds of random keys at random times
//               from 1 s to four hours, the same for the same SEED (a whole
//               number below 2^64); Escape and Close are never among them, so
//               the show goes on until the list says otherwise;
// with times as non-negative decimals (digits, an optional point and digits;
// no sign, no exponent) and KEY one of Escape, Space, F1, F2, Left, Right, Up,
// Down in any case. Times are on plat::ClockSeconds(): in a capture run the
// frame number divided by the frame rate.
//
// How the main loop drives KeyScript: when its message queue is empty it calls
// Emit(now, post). If Emit posted anything the loop handles those messages
// (one per pass, as usual) and calls Emit again, which posts nothing new for
// the same time; when Emit posts nothing the loop runs a frame and then calls
// FrameDone(). Hence a `T:KEY` press is seen by exactly one frame as
// IsKeyPressed and is up again in the next one.
//
// Every press is seen by at least one frame: a held key is released only by
// an Emit after a FrameDone that followed its press, even when the clock
// jumped past both of its times at once (slow loading on the real clock).
// Events are independent: two events on the same key send their messages as
// they fall due, exactly as two people sharing a keyboard would.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

struct KeyEvent {
    double down_at = 0.0;  // seconds
    double up_at = -1.0;   // seconds; < 0: one frame after the press
    unsigned vk = 0;       // virtual-key code (app/keys.h), or kKeyScriptClose
};

// The vk of a Close event: outside the 0..255 of virtual keys. It is posted
// once, as a press, and never released.
inline constexpr unsigned kKeyScriptClose = 0x100;

// What random:SEED makes: presses and holds of Space, F1, F2 and the arrow
// keys, one every 0.1 to 2 s from 1 s on, up to this clock time.
inline constexpr double kRandomKeysUntil = 4 * 3600.0;
void AppendRandomKeys(uint64_t seed, std::vector<KeyEvent>& out);

// Parses a whole `--keys` list into `out` (replacing its contents). On a
// malformed list returns false, leaves `out` empty and sets `error` to
// "bad event '<the event as written>': <why>".
bool ParseKeyScript(std::string_view spec, std::vector<KeyEvent>& out, std::string& error);

// The time format of the list, shared with --seconds: a non-negative decimal
// with no sign or exponent ("2", "0.5", ".5", "3."). False for anything else,
// and for numbers too large for a double.
bool ParseDecimalSeconds(std::string_view text, double& seconds);

class KeyScript {
public:
    KeyScript() = default;  // no events: Finished() from the start
    explicit KeyScript(std::vector<KeyEvent> events);

    // Posts (vk, down) for everything due at clock time `now`, in this order:
    // releases of one-frame presses that a frame has seen; presses with
    // down_at <= now (by time, equal times in the order given); releases of
    // held keys that a frame has seen and whose up_at <= now. Returns true if
    // it posted anything.
    bool Emit(double now, const std::function<void(unsigned vk, bool down)>& post);

    // A frame has run since the last Emit.
    void FrameDone();

    // Nothing left to post.
    bool Finished() const;

private:
    enum class Stage : unsigned char {
        kWaiting,  // press not yet due
        kPosted,   // press posted, no frame has run since
        kSeen,     // down, and at least one frame has seen it
        kDone,     // released
    };
    struct Entry {
        KeyEvent event;
        Stage stage = Stage::kWaiting;
    };
    std::vector<Entry> m_entries;  // stable-sorted by down_at
    size_t m_first = 0;            // entries before this one are all kDone
};
