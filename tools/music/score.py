"""The composition: tempo, harmony, melodies, drum patterns and the
arrangement of the eighty bars.

125 beats per minute makes one beat exactly 21168 samples at 44.1 kHz, so
every sixteenth note falls on a whole sample and the 80-bar loop is exactly
6 773 760 samples (153.6 s) long.

A natural minor. The main progression is Am | F | C | G, two bars each; the
"turn" section uses F | G | Em | Am. The last bar (G) resolves into the
first (Am), which is how the loop closes musically.
"""

BPM = 125
STEP = 5292            # samples per sixteenth note
BEAT = 4 * STEP
BAR = 16 * STEP
BARS = 80
LENGTH = BARS * BAR    # samples in the loop

# Pad voicings (MIDI notes), chosen so that neighbouring chords move by a
# step at most in each voice; the bass plays the root two octaves lower.
CHORDS = {
    "Am": {"root": 33, "pad": [57, 60, 64, 69], "arp": [69, 72, 76, 81]},
    "F": {"root": 29, "pad": [57, 60, 65, 69], "arp": [65, 69, 72, 77]},
    "C": {"root": 36, "pad": [55, 60, 64, 67], "arp": [67, 72, 76, 79]},
    "G": {"root": 31, "pad": [55, 59, 62, 67], "arp": [67, 71, 74, 79]},
    "Em": {"root": 28, "pad": [55, 59, 64, 67], "arp": [64, 67, 71, 76]},
}
MAIN = ["Am", "Am", "F", "F", "C", "C", "G", "G"]
TURN = ["F", "F", "G", "G", "Em", "Em", "Am", "Am"]

# The hook: eight bars of (start, length) in sixteenths from the phrase start,
# and the note. Odd bars run in a 3-3-2 rhythm, even bars answer with long
# notes; every strong beat lands on a tone of the chord beneath it.
E5, D5, C5, B4, A4, G4, F5, G5, A5 = 76, 74, 72, 71, 69, 67, 77, 79, 81
HOOK = [
    (0, 3, E5), (3, 3, E5), (6, 2, D5), (8, 3, C5), (11, 3, D5), (14, 2, E5),
    (16, 6, A4), (22, 2, C5), (24, 4, E5), (28, 4, D5),
    (32, 3, C5), (35, 3, C5), (38, 2, D5), (40, 3, C5), (43, 3, A4), (46, 2, C5),
    (48, 6, F5), (54, 2, E5), (56, 4, C5), (60, 4, A4),
    (64, 3, E5), (67, 3, E5), (70, 2, G5), (72, 3, E5), (75, 3, D5), (78, 2, C5),
    (80, 6, E5), (86, 2, D5), (88, 4, C5), (92, 4, G4),
    (96, 3, D5), (99, 3, D5), (102, 2, E5), (104, 3, D5), (107, 3, B4), (110, 2, G4),
    (112, 6, B4), (118, 2, C5), (120, 4, D5), (124, 4, E5),
]
# The second time round the phrase climbs at the end and lands on A5.
HOOK_ENDING = HOOK[:-4] + [(112, 4, D5), (116, 4, E5), (120, 4, G5), (124, 4, A5)]

SCALE = [57, 59, 60, 62, 64, 65, 67]  # A natural minor from A3


def diatonic(note, steps):
    """Move a note of A minor by scale steps (negative: down)."""
    octave, pc = divmod(note - 57, 12)
    degree = [0, 2, 3, 5, 7, 8, 10].index(pc)
    d = degree + steps
    o, dd = divmod(d, 7)
    return 57 + 12 * (octave + o) + [0, 2, 3, 5, 7, 8, 10][dd]


# Sections: name, first bar, length in bars, progression. Each has its own
# levels below; the arrangement builds to the drop at bar 40, turns, comes
# back, and thins out so that bar 79 leads into bar 0 again.
SECTIONS = [
    ("intro", 0, 8, MAIN),
    ("rise", 8, 8, MAIN),
    ("theme", 16, 16, MAIN),
    ("breakdown", 32, 8, MAIN),
    ("drop", 40, 16, MAIN),
    ("turn", 56, 8, TURN),
    ("return", 64, 8, MAIN),
    ("outro", 72, 8, MAIN),
]


def section_of(bar):
    for name, first, count, prog in SECTIONS:
        if first <= bar < first + count:
            return name, bar - first, count, prog
    raise ValueError(bar)


def chord_at(bar):
    _, local, _, prog = section_of(bar)
    return prog[local % 8]


def ramp(bar, first, last, a, b):
    """Linear automation from a at bar `first` to b at bar `last`."""
    if last == first:
        return b
    u = min(max((bar - first) / (last - first), 0.0), 1.0)
    return a + (b - a) * u
