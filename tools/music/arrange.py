"""Places every note of the score on the timeline, one stem per instrument.

Stems are stereo float arrays of LENGTH + TAIL samples: notes that ring past
the last bar (and the echoes and reverb added later) land in the tail, which
generate.py folds back onto the start so the loop has no seam.
"""
import numpy as np

import instruments as ins
from score import (BAR, BEAT, CHORDS, HOOK, HOOK_ENDING, LENGTH, STEP, ramp, chord_at, diatonic, section_of)
from synth import RATE, add_at, pan

TAIL = 8 * RATE

ARP_UP = [0, 1, 2, 3, 1, 2, 3, 2, 0, 1, 2, 3, 1, 2, 3, 2]
ARP_DOWN = [3, 2, 1, 0, 2, 1, 0, 1, 3, 2, 1, 0, 2, 1, 3, 2]


def at(bar, step=0.0):
    return int(round(bar * BAR + step * STEP))


def step_seconds(steps):
    return steps * STEP / RATE


class Stems:
    def __init__(self):
        self.tracks = {}
        self.kicks = []  # sample positions of every kick: the side-chain key

    def add(self, name, sound, start, gain=1.0, position=0.0):
        if name not in self.tracks:
            self.tracks[name] = np.zeros((LENGTH + TAIL, 2))
        if sound.ndim == 1:
            sound = pan(sound, position)
        add_at(self.tracks[name], sound * gain, start)


# --- drums -------------------------------------------------------------------

def kick_steps(bar):
    name, local, _, _ = section_of(bar)
    if name == "breakdown" and local < 4:
        return []
    if bar in (39, 79):
        return [0, 4, 8]  # beat four is left to the fill
    if bar in (15, 55):
        return [0, 4, 8, 12, 14]
    return [0, 4, 8, 12]


def drums(stems, rng):
    kick = ins.kick(rng)
    hats = [ins.closed_hat(rng) for _ in range(4)]
    open_hat, clap, snare, crash, ride = (ins.open_hat(rng), ins.clap(rng), ins.snare(rng), ins.crash(rng),
                                          ins.ride(rng))
    toms = {hz: ins.tom(rng, hz) for hz in (170.0, 135.0, 105.0, 82.0)}

    for bar in range(80):
        name, local, count, _ = section_of(bar)
        for s in kick_steps(bar):
            stems.add("kick", kick, at(bar, s))
            stems.kicks.append(at(bar, s))

        # Claps on two and four once the groove is up; the build uses a roll.
        if name in ("rise", "theme", "drop", "turn", "return") or (name == "outro" and local < 4):
            for s in (4, 12):
                stems.add("clap", clap, at(bar, s))

        # Hats: off-beat eighths in the sparse sections, sixteenths elsewhere,
        # with open hats on the off-beats where the energy is highest.
        sparse = name == "intro" or (name == "outro" and local >= 4)
        opens = name in ("theme", "drop", "turn", "return") or (name == "outro" and local < 4)
        building = name == "breakdown" and local >= 4
        if name == "breakdown" and local < 4:
            pass
        else:
            for s in range(16):
                if sparse and s % 4 != 2:
                    continue
                if building and bar == 39 and s >= 12:
                    continue
                if opens and s % 4 == 2:
                    stems.add("open", open_hat, at(bar, s), 0.8 + 0.1 * rng.random(), 0.15)
                    continue
                vel = (0.85 if s % 4 == 2 else 0.45 if s % 2 == 0 else 0.3) * (0.9 + 0.2 * rng.random())
                if building:
                    vel *= ramp(bar + s / 16, 36, 40, 0.25, 1.0)
                stems.add("hats", hats[s % 4], at(bar, s), vel, -0.2)

        if name == "turn":
            for s in (0, 4, 8, 12):
                stems.add("ride", ride, at(bar, s), 0.9 if s == 0 else 0.7, 0.35)

        # The snare roll of the build: quarters, eighths, sixteenths, then a
        # breath of silence on the last beat before the drop.
        if name == "breakdown" and local >= 4:
            every = {36: 4, 37: 2, 38: 1, 39: 1}[bar]
            for s in range(0, 16, every):
                if bar == 39 and s >= 12:
                    break
                stems.add("snare", snare, at(bar, s), ramp(bar + s / 16, 36, 39.75, 0.25, 1.0), 0.05)

        # Phrase-end fills.
        fills = {7: [14, 15], 15: [12, 13, 14, 15], 31: [12, 14, 15], 55: list(range(8, 16)),
                 63: [12, 13, 14, 15], 71: [12, 14, 15]}
        for s in fills.get(bar, []):
            stems.add("snare", snare, at(bar, s), 0.5 + 0.4 * (s - 8) / 8, 0.05)
        if bar == 79:
            # Toms walk down into bar 0, where the loop starts again.
            for s, hz in zip((12, 13, 14, 15), (170.0, 135.0, 105.0, 82.0)):
                stems.add("toms", toms[hz], at(bar, s), 0.9, (s - 13.5) * 0.3)

    for bar, g in ((16, 0.8), (24, 0.7), (40, 1.0), (48, 0.8), (56, 0.9), (64, 0.9), (72, 0.6)):
        stems.add("crash", crash, at(bar), g)
    for bar, g in ((16, 0.6), (40, 1.0), (56, 0.7)):
        stems.add("impact", ins.impact(rng), at(bar), g)
    stems.add("riser", ins.riser(step_seconds(60), rng), at(36), 1.0)
    stems.add("riser", ins.riser(step_seconds(32), rng), at(14), 0.6)


# --- bass and harmony --------------------------------------------------------

def bass(stems, rng):
    for bar in range(80):
        name, local, _, _ = section_of(bar)
        root = CHORDS[chord_at(bar)]["root"]
        if name == "breakdown" and local < 4:
            if local % 2 == 0:
                stems.add("sub", ins.sub_note(root + 12, step_seconds(31)), at(bar))
            continue
        if name in ("theme", "drop", "return"):
            bright = {"theme": 0.6, "drop": 0.78, "return": 0.62}[name]
            steps = [s for s in range(16) if s % 4 != 0]
            for s in steps:
                note = root + 12 if s % 8 == 7 else root
                stems.add("bass", ins.bass_note(note, step_seconds(0.8), bright, rng), at(bar, s))
            continue
        if name == "intro":
            bright = ramp(bar, 0, 7, 0.15, 0.35)
        elif name == "rise":
            bright = ramp(bar, 8, 15, 0.35, 0.55)
        elif name == "breakdown":
            bright = ramp(bar, 36, 39, 0.1, 0.55)
        elif name == "outro":
            bright = ramp(bar, 72, 79, 0.35, 0.15)
        else:
            bright = 0.65
        notes = [root, root, root, root]
        if name == "turn":
            notes = [root, root + 12, root, root + 7]
        for k, s in enumerate((2, 6, 10, 14)):
            if bar == 39 and s >= 12:
                continue
            stems.add("bass", ins.bass_note(notes[k], step_seconds(1.7), bright, rng), at(bar, s))


def pads(stems, rng):
    level = {"intro": 0.7, "rise": 0.8, "theme": 0.8, "breakdown": 1.0, "drop": 0.85, "turn": 0.8,
             "return": 0.8, "outro": 0.7}
    for bar in range(0, 80, 2):
        name, _, _, _ = section_of(bar)
        bright = {"intro": ramp(bar, 0, 6, 0.2, 0.45), "rise": ramp(bar, 8, 14, 0.45, 0.6),
                  "breakdown": 0.75, "drop": 0.7, "outro": ramp(bar, 72, 78, 0.45, 0.2)}.get(name, 0.6)
        chord = CHORDS[chord_at(bar)]["pad"]
        stems.add("pad", ins.pad_chord(chord, step_seconds(32), bright, rng), at(bar), level[name])


def arps(stems, rng):
    for bar in range(80):
        name, local, _, _ = section_of(bar)
        if name == "intro" and local < 4 or name == "breakdown" and local < 4 or name == "outro" and local >= 4:
            continue
        if name == "intro":
            lvl, bright = 0.5, ramp(bar, 4, 7, 0.05, 0.2)
        elif name == "rise":
            lvl, bright = 0.7, ramp(bar, 8, 15, 0.2, 0.55)
        elif name == "breakdown":
            lvl, bright = 0.75, ramp(bar, 36, 39.75, 0.1, 0.85)
        elif name == "outro":
            lvl, bright = 0.6, ramp(bar, 72, 75, 0.4, 0.15)
        else:
            lvl, bright = {"theme": (0.7, 0.55), "drop": (0.75, 0.7), "turn": (0.8, 0.6),
                           "return": (0.7, 0.5)}[name]
        pattern = ARP_DOWN if name == "turn" else ARP_UP
        tones = CHORDS[chord_at(bar)]["arp"]
        for s in range(16):
            if bar == 39 and s >= 12:
                break
            b = bright if name != "breakdown" else ramp(bar + s / 16, 36, 39.75, 0.1, 0.85)
            note = tones[pattern[s]]
            accent = 1.0 if s % 4 == 0 else 0.8
            stems.add("arp", ins.pluck(note, step_seconds(0.8), b, rng), at(bar, s), lvl * accent,
                      0.4 if s % 2 else -0.4)


def lead(stems, rng):
    def phrase(first_bar, notes, name, gain, bright=1.0, harmony=False, octave=False, timbre="lead"):
        for start, length, note in notes:
            pos = at(first_bar, start)
            secs = step_seconds(length * 0.92)
            if timbre == "pluck":
                stems.add(name, ins.pluck(note, secs, 0.7, rng), pos, gain)
                continue
            stems.add(name, ins.lead_note(note, secs, rng, bright), pos, gain)
            if harmony:
                stems.add(name, ins.lead_note(diatonic(note, -2), secs, rng, bright), pos, gain * 0.5)
            if octave:
                stems.add(name, ins.lead_note(note + 12, secs, rng, bright), pos, gain * 0.3)

    phrase(16, HOOK, "lead", 0.8, bright=0.7)
    phrase(24, HOOK_ENDING, "lead", 0.85, bright=0.8, octave=True)
    phrase(32, HOOK, "lead_soft", 0.75, bright=0.45)
    phrase(40, HOOK, "lead", 1.0, bright=1.0, harmony=True)
    phrase(48, HOOK_ENDING, "lead", 1.0, bright=1.0, harmony=True, octave=True)
    phrase(64, HOOK, "lead", 1.3, timbre="pluck")

    # The turn: chord stabs a step up the keyboard, in a 3-3-4 call and an
    # answer that ends on the beat.
    for bar in range(56, 64):
        chord = [n + 12 for n in CHORDS[chord_at(bar)]["pad"]]
        rhythm = (0, 3, 6, 10) if bar % 2 == 0 else (0, 3, 6, 8, 12)
        for s in rhythm:
            stems.add("stab", ins.stab(chord, step_seconds(1.5), rng), at(bar, s), 0.9)


def arrange(rng):
    stems = Stems()
    drums(stems, rng)
    bass(stems, rng)
    pads(stems, rng)
    arps(stems, rng)
    lead(stems, rng)
    return stems


def sidechain(kicks, length, depth, hold=0.03, release=0.22):
    """Gain curve that dips at every kick and recovers with a raised cosine:
    the pump that makes the pads breathe with the beat."""
    env = np.zeros(length)
    h, r = int(hold * RATE), int(release * RATE)
    attack = int(0.004 * RATE)
    shape = np.concatenate([np.linspace(0, 1, attack, endpoint=False), np.ones(h),
                            0.5 + 0.5 * np.cos(np.linspace(0, np.pi, r))])
    for k in kicks:
        end = min(length, k + len(shape))
        np.maximum(env[k:end], shape[:end - k], out=env[k:end])
    return 1.0 - depth * env


__all__ = ["arrange", "sidechain", "TAIL", "Stems", "BEAT"]
