// The instruments, the score and the mix of the show's tune.
#include "tools/make_music/synth.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>

namespace {

constexpr double kRate = kTuneRate;
constexpr double kTwoPi = 2.0 * std::numbers::pi;
constexpr double kStep = kTuneBeat / 4.0;  // one sixteenth note, seconds
constexpr size_t kSamples = static_cast<size_t>(kTuneLength * kRate);

// Section boundaries in beats. The scenes change at 19, 38, 57, 77 and 96 s; the first three fall
// on bar lines at this tempo, the last two on the half bar nearest to them (76.95 s and 95.95 s).
constexpr int kIntroBeat = 0;
constexpr int kGrooveBeat = 40;
constexpr int kEggBeat = 80;
constexpr int kPeakBeat = 120;
constexpr int kCreditsBeat = 162;
constexpr int kEndBeat = 202;

double beatTime(double beat) {
    return beat * kTuneBeat;
}

double midiHz(double note) {
    return 440.0 * std::pow(2.0, (note - 69.0) / 12.0);
}

// Linear congruential noise in -1 … 1; each instrument seeds its own so the tune never changes.
struct Noise {
    uint32_t state;
    double next() {
        state = state * 1664525u + 1013904223u;
        return static_cast<double>(state >> 8) * (1.0 / 8388608.0) - 1.0;
    }
};

// A stereo mixing bus in double precision.
struct Bus {
    std::vector<double> left = std::vector<double>(kSamples, 0.0);
    std::vector<double> right = std::vector<double>(kSamples, 0.0);
};

// Adds v at sample i with an equal-power pan (-1 left … 1 right); past the end is dropped.
void addPanned(Bus& bus, size_t i, double v, double pan) {
    if (i >= kSamples) return;
    const double angle = (pan + 1.0) * std::numbers::pi / 4.0;
    bus.left[i] += v * std::cos(angle) * std::numbers::sqrt2;
    bus.right[i] += v * std::sin(angle) * std::numbers::sqrt2;
}

size_t sampleAt(double seconds) {
    return static_cast<size_t>(std::llround(seconds * kRate));
}

// Band-limited sawtooth step: the polyBLEP residual smooths the jump so high notes do not alias.
double polyBlep(double phase, double increment) {
    if (phase < increment) {
        const double x = phase / increment;
        return x + x - x * x - 1.0;
    }
    if (phase > 1.0 - increment) {
        const double x = (phase - 1.0) / increment;
        return x * x + x + x + 1.0;
    }
    return 0.0;
}

double sawWave(double phase, double increment) {
    return 2.0 * phase - 1.0 - polyBlep(phase, increment);
}

double squareWave(double phase, double increment) {
    double v = phase < 0.5 ? 1.0 : -1.0;
    v += polyBlep(phase, increment);
    double shifted = phase + 0.5;
    if (shifted >= 1.0) shifted -= 1.0;
    return v - polyBlep(shifted, increment);
}

// One-pole low-pass coefficient for a cut-off in Hz.
double onePole(double hz) {
    return 1.0 - std::exp(-kTwoPi * hz / kRate);
}

constexpr double kThumpLength = 0.035;  // seconds of the kick's low push

// The kick: a sine that falls from ~170 Hz to its body pitch, a click on top, and under it one
// positive half-cycle kThumpLength long (the push). The spectrum's lowest bin is the Hann-weighted
// mean of a 23 ms window, so the push is what lifts bin 0 on the beat, and only while the window
// covers it: thump sets that lift (roughly 0.8 × thump at best), level the audible body, decay its
// time constant, sweep that of the pitch fall (a slower fall fills bins 2 and 3).
void kick(Bus& bus, double time, double level, double decay, double thump, double sweep,
          double bodyHz) {
    const size_t start = sampleAt(time);
    const size_t length = static_cast<size_t>(std::min(6.0 * decay + 0.05, 1.2) * kRate);
    double phase = 0.0;
    Noise noise{static_cast<uint32_t>(start) | 1u};
    for (size_t n = 0; n < length; ++n) {
        const double t = n / kRate;
        const double hz = bodyHz + 120.0 * std::exp(-t / sweep);
        phase += kTwoPi * hz / kRate;
        const double attack = std::min(1.0, t / 0.0015);
        const double push = t < kThumpLength ? std::sin(std::numbers::pi * t / kThumpLength) : 0.0;
        const double body = std::sin(phase) * std::exp(-t / decay) * attack +
                            0.25 * noise.next() * std::exp(-t / 0.002);
        addPanned(bus, start + n, level * body + thump * push, 0.0);
    }
}

// Snare: a tuned body of one or two partials (they land in the 130-260 Hz bins) under a burst of
// brightened noise.
void snare(Bus& bus, double time, double level, double bodyHz, double pan = 0.0,
           double bodyGain = 0.8, double secondHz = 0.0) {
    const size_t start = sampleAt(time);
    const double bodyDecay = 0.05 + 0.05 * bodyGain;  // seconds
    // Long enough for both parts to die away (the rattle by 0.35 s), so no tail is cut off.
    const size_t length = static_cast<size_t>(std::max(0.35, 7.0 * bodyDecay) * kRate);
    Noise noise{static_cast<uint32_t>(start) * 2654435761u | 1u};
    double previous = 0.0;
    double low = 0.0;
    const double bandCut = onePole(7000.0);
    for (size_t n = 0; n < length; ++n) {
        const double t = n / kRate;
        const double white = noise.next();
        const double bright = white - previous;  // first difference tilts the noise upward
        previous = white;
        low += bandCut * (bright - low);
        double body = std::sin(kTwoPi * bodyHz * t);
        if (secondHz > 0.0) body = 0.75 * (body + std::sin(kTwoPi * secondHz * t));
        body *= std::exp(-t / bodyDecay);
        const double rattle = low * std::exp(-t / 0.09);
        addPanned(bus, start + n, level * (bodyGain * body + 0.5 * rattle), pan);
    }
}

// A tom: a pure tone with a slight downward bend; as a layer under the kick it fills bins 2 and 3.
void tom(Bus& bus, double time, double level, double hz, double pan) {
    const size_t start = sampleAt(time);
    const size_t length = static_cast<size_t>(0.5 * kRate);
    double phase = 0.0;
    for (size_t n = 0; n < length; ++n) {
        const double t = n / kRate;
        phase += kTwoPi * hz * (1.0 + 0.15 * std::exp(-t / 0.03)) / kRate;
        const double attack = std::min(1.0, t / 0.002);
        addPanned(bus, start + n, level * std::sin(phase) * attack * std::exp(-t / 0.09), pan);
    }
}

// Closed (short decay) or open (long decay) hi-hat: differenced noise, mostly above 5 kHz.
void hat(Bus& bus, double time, double level, double decay, double pan) {
    const size_t start = sampleAt(time);
    const size_t length = static_cast<size_t>(8.0 * decay * kRate);
    Noise noise{static_cast<uint32_t>(start) * 747796405u | 1u};
    double a = 0.0;
    double b = 0.0;
    for (size_t n = 0; n < length; ++n) {
        const double t = n / kRate;
        const double white = noise.next();
        const double v = white - 2.0 * a + b;  // second difference: a steep high-pass
        b = a;
        a = white;
        addPanned(bus, start + n, level * 0.18 * v * std::exp(-t / decay), pan);
    }
}

// Crash cymbal: long, bright, wide.
void crash(Bus& bus, double time, double level) {
    hat(bus, time, level, 0.45, -0.3);
    hat(bus, time + 0.003, level, 0.5, 0.3);
}

// Rising filtered noise over the given span, leading into a section change.
void riser(Bus& bus, double from, double to, double level) {
    const size_t start = sampleAt(from);
    const size_t length = sampleAt(to) - start;
    Noise noise{0x5eed1234u};
    double low = 0.0;
    double low2 = 0.0;
    for (size_t n = 0; n < length; ++n) {
        const double x = static_cast<double>(n) / length;
        const double white = noise.next();
        low += onePole(300.0 + 9000.0 * x * x) * (white - low);
        low2 += onePole(150.0) * (low - low2);
        // The riser stops dead at the drop, but over 5 ms rather than in one sample (no click).
        const double end = std::min(1.0, static_cast<double>(length - n) / (0.005 * kRate));
        const double v = (low - low2) * x * x * end;
        addPanned(bus, start + n, level * v, std::sin(kTwoPi * 2.0 * x) * 0.6);
    }
}

// Bass: a sawtooth through two low-pass poles whose cut-off falls after the attack (a pluck).
void bass(Bus& bus, double time, double duration, int note, double level, double brightness) {
    const size_t start = sampleAt(time);
    const size_t length = static_cast<size_t>((duration + 0.03) * kRate);
    const double hz = midiHz(note);
    const double increment = hz / kRate;
    double phase = 0.0;
    double p1 = 0.0;
    double p2 = 0.0;
    for (size_t n = 0; n < length; ++n) {
        const double t = n / kRate;
        const double cut = 250.0 + brightness * 1800.0 * std::exp(-t / 0.08);
        const double a = onePole(cut);
        const double osc = sawWave(phase, increment) + 0.5 * std::sin(kTwoPi * phase);
        phase += increment;
        if (phase >= 1.0) phase -= 1.0;
        p1 += a * (osc - p1);
        p2 += a * (p1 - p2);
        const double attack = std::min(1.0, t / 0.004);
        const double release = t < duration ? 1.0 : std::max(0.0, 1.0 - (t - duration) / 0.03);
        addPanned(bus, start + n, level * p2 * attack * release, 0.0);
    }
}

// A chord pad: three detuned sawtooths per note, spread across the stereo field, softly filtered.
void pad(Bus& bus, double time, double duration, const int* notes, int count, double level,
         double cutoff) {
    const size_t start = sampleAt(time);
    const double releaseTime = 0.35;
    const size_t length = static_cast<size_t>((duration + releaseTime) * kRate);
    const double detune[3] = {-0.09, 0.0, 0.08};  // semitones
    const double pans[3] = {-0.7, 0.0, 0.7};
    const double a = onePole(cutoff);
    for (int k = 0; k < count; ++k) {
        for (int v = 0; v < 3; ++v) {
            const double increment = midiHz(notes[k] + detune[v]) / kRate;
            double phase = 0.13 * (k * 3 + v);  // staggered phases keep the voices from summing
            phase -= std::floor(phase);
            double p1 = 0.0;
            double p2 = 0.0;
            for (size_t n = 0; n < length; ++n) {
                const double t = n / kRate;
                const double osc = sawWave(phase, increment);
                phase += increment;
                if (phase >= 1.0) phase -= 1.0;
                p1 += a * (osc - p1);
                p2 += a * (p1 - p2);
                const double attack = std::min(1.0, t / 0.12);
                const double release =
                    t < duration ? 1.0 : std::max(0.0, 1.0 - (t - duration) / releaseTime);
                addPanned(bus, start + n, level * p2 * attack * release, pans[v]);
            }
        }
    }
}

// The lead: square and sawtooth mixed, a filter that opens on each note, vibrato on long notes.
void lead(Bus& bus, double time, double duration, int note, double level, double pan = 0.0) {
    const size_t start = sampleAt(time);
    const size_t length = static_cast<size_t>((duration + 0.08) * kRate);
    const double hz = midiHz(note);
    double phase = 0.0;
    double p1 = 0.0;
    double p2 = 0.0;
    for (size_t n = 0; n < length; ++n) {
        const double t = n / kRate;
        const double vibrato = t > 0.18 ? 0.004 * std::sin(kTwoPi * 5.5 * (t - 0.18)) : 0.0;
        const double increment = hz * (1.0 + vibrato) / kRate;
        // The sawtooth enters inverted: in phase with the square's fundamental, not against it.
        const double osc = 0.6 * squareWave(phase, increment) - 0.4 * sawWave(phase, increment);
        phase += increment;
        if (phase >= 1.0) phase -= 1.0;
        const double a = onePole(1400.0 + 3500.0 * std::exp(-t / 0.15));
        p1 += a * (osc - p1);
        p2 += a * (p1 - p2);
        const double attack = std::min(1.0, t / 0.006);
        const double sustain = 0.75 + 0.25 * std::exp(-t / 0.1);
        const double release = t < duration ? 1.0 : std::max(0.0, 1.0 - (t - duration) / 0.08);
        addPanned(bus, start + n, level * p2 * attack * sustain * release, pan);
    }
}

// A bell: two-operator FM whose brightness dies away faster than its tone.
void bell(Bus& bus, double time, int note, double level, double pan, double decay = 0.5) {
    const size_t start = sampleAt(time);
    const size_t length = static_cast<size_t>(5.0 * decay * kRate);
    const double hz = midiHz(note);
    for (size_t n = 0; n < length; ++n) {
        const double t = n / kRate;
        const double index = 1.8 * std::exp(-t / (0.3 * decay));
        const double v = std::sin(kTwoPi * hz * t + index * std::sin(kTwoPi * 2.0 * hz * t));
        const double attack = std::min(1.0, t / 0.002);
        addPanned(bus, start + n, level * v * attack * std::exp(-t / decay), pan);
    }
}

// ---- The score --------------------------------------------------------------------------------

// The chords of the minor part (a bar each, in a loop): Am, F, C, G.
struct Chord {
    int pad[3];  // MIDI notes of the pad voicing
    int root;    // MIDI note of the bass root
};
constexpr Chord kMinorLoop[4] = {
    {{57, 60, 64}, 45}, {{57, 60, 65}, 41}, {{55, 60, 64}, 48}, {{55, 59, 62}, 43}};
// The credits, in the relative major: C, G, Am, F.
constexpr Chord kMajorLoop[4] = {
    {{55, 60, 64}, 48}, {{55, 59, 62}, 43}, {{57, 60, 64}, 45}, {{57, 60, 65}, 41}};

// A note of a melody: start and length in sixteenths within its bar, and its MIDI pitch.
struct Note {
    int step;
    int length;
    int pitch;
};

// The main theme, four bars over the minor loop (end of list marked by length 0).
constexpr Note kThemeBars[4][9] = {
    {{0, 2, 69},
     {2, 2, 72},
     {4, 3, 76},
     {7, 1, 74},
     {8, 2, 72},
     {10, 2, 76},
     {12, 4, 81},
     {0, 0, 0}},
    {{0, 3, 81}, {3, 1, 79}, {4, 4, 77}, {8, 2, 72}, {10, 2, 77}, {12, 4, 76}, {0, 0, 0}},
    {{0, 2, 76},
     {2, 2, 79},
     {4, 3, 84},
     {7, 1, 83},
     {8, 2, 79},
     {10, 2, 76},
     {12, 4, 79},
     {0, 0, 0}},
    {{0, 3, 74},
     {3, 1, 76},
     {4, 2, 74},
     {6, 2, 71},
     {8, 4, 67},
     {12, 2, 71},
     {14, 2, 74},
     {0, 0, 0}},
};
// The slower second theme of the 3D part.
constexpr Note kSecondBars[4][4] = {
    {{0, 6, 76}, {6, 2, 74}, {8, 8, 72}, {0, 0, 0}},
    {{0, 6, 69}, {6, 2, 72}, {8, 8, 77}, {0, 0, 0}},
    {{0, 6, 76}, {6, 2, 79}, {8, 4, 79}, {12, 4, 76}},
    {{0, 8, 74}, {8, 4, 71}, {12, 4, 74}, {0, 0, 0}},
};
// The credits melody over the major loop.
constexpr Note kCreditBars[4][4] = {
    {{0, 4, 76}, {4, 4, 79}, {8, 6, 84}, {14, 2, 83}},
    {{0, 4, 83}, {4, 4, 86}, {8, 8, 79}, {0, 0, 0}},
    {{0, 4, 84}, {4, 4, 83}, {8, 6, 81}, {14, 2, 76}},
    {{0, 4, 77}, {4, 4, 81}, {8, 4, 84}, {12, 4, 83}},
};

template <size_t N>
void playBar(Bus& bus, const Note (&bar)[N], double barStart, int transpose, double level,
             double pan) {
    for (const Note& note : bar) {
        if (note.length == 0) break;
        lead(bus, barStart + note.step * kStep, note.length * kStep - 0.02, note.pitch + transpose,
             level, pan);
    }
}

// Everything that is played, as separate buses so that the mix can treat them apart.
struct Band {
    Bus drums;                  // dry, never ducked
    Bus low;                    // bass and pads, ducked by the kick
    Bus lead;                   // melodies, sent to the echo and the room
    Bus bells;                  // arpeggios, sent to the room
    std::vector<double> kicks;  // kick times in seconds, for the ducking
};

// A kick on the drum bus, remembered for the ducking of the bass and pads.
void addKick(Band& band, double time, double level, double decay, double thump, double sweep = 0.02,
             double bodyHz = 48.0) {
    kick(band.drums, time, level, decay, thump, sweep, bodyHz);
    band.kicks.push_back(time);
}

// 0-19 s: the kick under the fade-in, the chords opening up, the bass from the third bar.
void scoreIntro(Band& band) {
    for (int beat = kIntroBeat; beat < kGrooveBeat; ++beat) {
        const double t = beatTime(beat);
        addKick(band, t, 0.45, 0.075, 0.2);
        if (beat >= 16) hat(band.drums, t + 2 * kStep, 0.16, 0.03, 0.3);
        if (beat % 4 == 0) {
            const Chord& chord = kMinorLoop[(beat / 4) % 4];
            pad(band.low, t, 4 * kTuneBeat - 0.05, chord.pad, 3, 0.035, 700.0 + 40.0 * beat);
            if (beat >= 8) {
                for (int e = 0; e < 4; ++e) {
                    bass(band.low, t + (4 * e + 2) * kStep, 1.6 * kStep, chord.root, 0.16, 0.4);
                }
            }
        }
    }
    riser(band.drums, beatTime(kGrooveBeat - 8), beatTime(kGrooveBeat), 0.35);
}

// 19-38 s: the full groove and the main theme.
void scoreGroove(Band& band) {
    crash(band.drums, beatTime(kGrooveBeat), 0.5);
    for (int beat = kGrooveBeat; beat < kEggBeat; ++beat) {
        const double t = beatTime(beat);
        addKick(band, t, 0.5, 0.09, 0.2);
        if (beat % 2 == 1) snare(band.drums, t, 0.22, 185.0);
        hat(band.drums, t + 2 * kStep, 0.2, 0.06, 0.3);
        hat(band.drums, t + kStep, 0.08, 0.02, -0.3);
        hat(band.drums, t + 3 * kStep, 0.08, 0.02, -0.3);
        if (beat % 4 == 0) {
            const int bar = (beat - kGrooveBeat) / 4;
            const Chord& chord = kMinorLoop[bar % 4];
            pad(band.low, t, 4 * kTuneBeat - 0.05, chord.pad, 3, 0.04, 1500.0);
            for (int e = 0; e < 8; ++e) {
                const int note = chord.root + ((e % 2 == 1) ? 12 : 0);
                bass(band.low, t + 2 * e * kStep + kStep, 0.9 * kStep, note, 0.17, 0.7);
            }
            playBar(band.lead, kThemeBars[bar % 4], t, 0, 0.11, 0.0);
        }
    }
}

// 38-57 s (the 3D part): lighter drums, bell arpeggios, the slower second theme.
void scoreEgg(Band& band) {
    for (int beat = kEggBeat; beat < kPeakBeat; ++beat) {
        const double t = beatTime(beat);
        addKick(band, t, 0.4, 0.08, 0.18);
        for (int s = 0; s < 4; ++s) {
            hat(band.drums, t + s * kStep, s == 2 ? 0.14 : 0.06, 0.025,
                0.4 * (s % 2 == 0 ? 1 : -1));
        }
        if (beat % 4 == 2) snare(band.drums, t, 0.18, 190.0, 0.1);
        if (beat % 4 == 0) {
            const int bar = (beat - kEggBeat) / 4;
            const Chord& chord = kMinorLoop[bar % 4];
            pad(band.low, t, 4 * kTuneBeat - 0.05, chord.pad, 3, 0.045, 2200.0);
            bass(band.low, t + 2 * kStep, 5.5 * kStep, chord.root, 0.15, 0.3);
            bass(band.low, t + 10 * kStep, 5.5 * kStep, chord.root, 0.15, 0.3);
            for (int s = 0; s < 16; ++s) {
                static constexpr int kArp[8] = {0, 1, 2, 3, 4, 3, 2, 1};
                const int index = kArp[s % 8];
                const int pitch = chord.pad[index % 3] + 12 * (1 + index / 3) + 12;
                bell(band.bells, t + s * kStep, pitch, 0.05, (s % 2) ? 0.5 : -0.5, 0.25);
            }
            playBar(band.lead, kSecondBars[bar % 4], t, 0, 0.1, 0.0);
        }
    }
    riser(band.drums, beatTime(kPeakBeat - 8), beatTime(kPeakBeat), 0.4);
}

// 57-77 s: the peak, with heavier kicks, a tuned snare and toms, the theme in octaves and a fill.
void scorePeak(Band& band) {
    crash(band.drums, beatTime(kPeakBeat), 0.35);
    for (int beat = kPeakBeat; beat < kCreditsBeat; ++beat) {
        const double t = beatTime(beat);
        const bool fill = beat >= kCreditsBeat - 2;
        if (!fill) addKick(band, t, 0.38, 0.12, 0.5, 0.05, 52.0);
        if (!fill && beat % 2 == 0) tom(band.drums, t, 0.45, 86.0, 0.0);
        if (beat % 2 == 1 && !fill) snare(band.drums, t, 0.2, 215.0, 0.0, 2.0, 258.0);
        if (fill) {
            for (int s = 0; s < 4; ++s) {
                const int hit = 4 * (beat - (kCreditsBeat - 2)) + s;
                if (s % 2 == 0) {
                    tom(band.drums, t + s * kStep, 0.3, 140.0 - 12.0 * hit, -0.5 + 0.14 * hit);
                } else {
                    snare(band.drums, t + s * kStep, 0.12 + 0.02 * hit, 200.0, 0.3);
                }
            }
        }
        for (int s = 0; s < 4; ++s) {
            hat(band.drums, t + s * kStep, s == 2 ? 0.22 : 0.1, s == 2 ? 0.08 : 0.025,
                (s % 2) ? -0.35 : 0.35);
        }
        if (beat % 4 == 0 || beat == kCreditsBeat - 2) {
            const int bar = (beat - kPeakBeat) / 4;
            const Chord& chord = kMinorLoop[bar % 4];
            const double span = beat == kCreditsBeat - 2 ? 2 : 4;
            pad(band.low, t, span * kTuneBeat - 0.05, chord.pad, 3, 0.032, 2600.0);
            for (int e = 0; e < 4 * span; ++e) {
                const int note = chord.root + ((e % 4 == 2) ? 12 : 0);
                if (e % 4 != 0) bass(band.low, t + e * kStep, 0.8 * kStep, note, 0.16, 0.9);
            }
            for (int s = 0; s < 4 * span; ++s) {
                const int pitch = chord.pad[s % 3] + 24 + ((s / 3) % 2) * 12;
                bell(band.bells, t + s * kStep, pitch, 0.035, (s % 2) ? 0.6 : -0.6, 0.15);
            }
            if (span == 4) {
                playBar(band.lead, kThemeBars[bar % 4], t, 0, 0.085, -0.15);
                playBar(band.lead, kThemeBars[bar % 4], t, -12, 0.05, 0.15);
            }
        }
    }
}

// 77-96 s, the credits: the relative major, a half-time beat, bells and a gentler melody.
void scoreCredits(Band& band) {
    crash(band.drums, beatTime(kCreditsBeat), 0.4);
    for (int beat = kCreditsBeat; beat < kEndBeat; ++beat) {
        const double t = beatTime(beat);
        const int inBar = (beat - kCreditsBeat) % 4;
        if (inBar == 0 || inBar == 2 || (inBar == 3 && (beat / 4) % 2 == 1)) {
            addKick(band, t + (inBar == 3 ? 2 * kStep : 0.0), 0.45, 0.11, 0.12);
        }
        if (inBar == 2) snare(band.drums, t, 0.18, 200.0, 0.05);
        for (int s = 0; s < 4; ++s) {
            hat(band.drums, t + s * kStep, s % 2 ? 0.05 : 0.09, 0.03, (s % 2) ? -0.5 : 0.5);
        }
        if (inBar == 0) {
            const int bar = (beat - kCreditsBeat) / 4;
            const Chord& chord = kMajorLoop[bar % 4];
            pad(band.low, t, 4 * kTuneBeat - 0.05, chord.pad, 3, 0.05, 1800.0);
            bass(band.low, t, 2.8 * kStep, chord.root, 0.15, 0.3);
            bass(band.low, t + 3 * kStep, 0.9 * kStep, chord.root + 12, 0.1, 0.3);
            bass(band.low, t + 6 * kStep, 1.8 * kStep, chord.root, 0.14, 0.3);
            bass(band.low, t + 8 * kStep, 5.8 * kStep, chord.root, 0.14, 0.3);
            bass(band.low, t + 14 * kStep, 1.8 * kStep, chord.root + 7, 0.12, 0.3);
            for (int s = 0; s < 8; ++s) {
                const int pitch = chord.pad[s % 3] + 24 + (s >= 4 ? 12 : 0) - (s >= 6 ? 12 : 0);
                bell(band.bells, t + 2 * s * kStep, pitch, 0.06, std::sin(s * 0.9) * 0.6, 0.6);
            }
            playBar(band.lead, kCreditBars[bar % 4], t, 0, 0.085, 0.0);
        }
    }
}

// 96 s to the end: a cadence home to C, left to ring out over the hum.
void scoreEnding(Band& band) {
    const double t0 = beatTime(kEndBeat);
    crash(band.drums, t0, 0.45);
    addKick(band, t0, 0.4, 0.15, 0.12);
    // The cadence: F and G for two beats each, then C held while everything fades.
    const int fChord[3] = {57, 60, 65};
    const int gChord[3] = {55, 59, 62};
    const int cChord[4] = {55, 60, 64, 72};
    pad(band.low, t0, 2 * kTuneBeat, fChord, 3, 0.05, 1600.0);
    bass(band.low, t0, 2 * kTuneBeat - 0.03, 41, 0.15, 0.3);
    pad(band.low, t0 + 2 * kTuneBeat, 2 * kTuneBeat, gChord, 3, 0.05, 1600.0);
    bass(band.low, t0 + 2 * kTuneBeat, 2 * kTuneBeat - 0.03, 43, 0.15, 0.3);
    const double home = t0 + 4 * kTuneBeat;
    addKick(band, home, 0.4, 0.2, 0.12);
    crash(band.drums, home, 0.35);
    pad(band.low, home, kTuneLength - home - 0.6, cChord, 4, 0.05, 1400.0);
    bass(band.low, home, 3.0, 48, 0.14, 0.2);
    lead(band.lead, t0, 2 * kTuneBeat - 0.05, 81, 0.08);
    lead(band.lead, t0 + 2 * kTuneBeat, 2 * kTuneBeat - 0.05, 83, 0.08);
    lead(band.lead, home, 3.0, 84, 0.08);
    for (int s = 0; s < 6; ++s) {
        bell(band.bells, home + s * 2 * kStep, cChord[s % 4] + 24 - (s / 4) * 12, 0.05,
             (s % 2) ? 0.5 : -0.5, 1.0);
    }
}

// Schroeder-Freeverb style room: eight parallel damped combs into two series all-passes, per
// channel; eight combs of unrelated lengths keep any one note from ringing out of the tail.
void addRoom(const Bus& send, Bus& out, double wet) {
    static constexpr int kCombs[8] = {1116, 1188, 1277, 1356, 1422, 1491, 1557, 1617};
    static constexpr int kAllPasses[2] = {556, 441};
    for (int channel = 0; channel < 2; ++channel) {
        const std::vector<double>& in = channel == 0 ? send.left : send.right;
        std::vector<double>& dst = channel == 0 ? out.left : out.right;
        const int spread = channel == 0 ? 0 : 23;  // decorrelates the two sides
        std::vector<double> sum(kSamples, 0.0);
        for (int c = 0; c < 8; ++c) {
            std::vector<double> line(static_cast<size_t>(kCombs[c] + spread), 0.0);
            size_t at = 0;
            double damp = 0.0;
            for (size_t n = 0; n < kSamples; ++n) {
                const double y = line[at];
                damp += 0.4 * (y - damp);
                line[at] = in[n] + 0.8 * damp;
                sum[n] += y;
                at = (at + 1) % line.size();
            }
        }
        for (int a = 0; a < 2; ++a) {
            std::vector<double> line(static_cast<size_t>(kAllPasses[a] + spread), 0.0);
            size_t at = 0;
            for (size_t n = 0; n < kSamples; ++n) {
                const double delayed = line[at];
                const double x = sum[n];
                line[at] = x + 0.5 * delayed;
                sum[n] = delayed - x;
                at = (at + 1) % line.size();
            }
        }
        for (size_t n = 0; n < kSamples; ++n)
            dst[n] += wet * 0.09 * sum[n];
    }
}

// Ping-pong echo of three sixteenths, for the lead.
void addEcho(const Bus& send, Bus& out, double wet) {
    const size_t delay = static_cast<size_t>(3.0 * kStep * kRate);
    std::vector<double> l(kSamples, 0.0);
    std::vector<double> r(kSamples, 0.0);
    for (size_t n = delay; n < kSamples; ++n) {
        // The left tap takes the mono input, the right tap the left's echo: the sound bounces.
        l[n] = 0.5 * (send.left[n - delay] + send.right[n - delay]) + 0.4 * r[n - delay];
        r[n] = 0.8 * l[n - delay];
    }
    for (size_t n = 0; n < kSamples; ++n) {
        out.left[n] += wet * l[n];
        out.right[n] += wet * r[n];
    }
}

// How far the kick pushes the bass and pads down at each sample (1 = untouched).
std::vector<double> duckingGain(const std::vector<double>& kicks) {
    std::vector<double> gain(kSamples, 1.0);
    for (double time : kicks) {
        const size_t start = sampleAt(time);
        for (size_t n = 0; n < static_cast<size_t>(0.4 * kRate) && start + n < kSamples; ++n) {
            const double t = n / kRate;
            gain[start + n] = std::min(gain[start + n], 1.0 - 0.65 * std::exp(-t / 0.11));
        }
    }
    return gain;
}

constexpr double kLimiterCeiling = 0.9;  // leaves room for the encoder's overshoot under full scale
constexpr size_t kLimiterReach = 64;     // samples (1.5 ms) the limiter looks ahead and behind

// Look-ahead peak limiter: the gain that keeps both channels (of equal length) under
// kLimiterCeiling. The gain is the smallest need within ±kLimiterReach samples, released over
// 12 ms, then averaged over the same span; every value in that average is at most the need at the
// centre, so the ceiling holds with no hard knee and no step in the gain.
std::vector<double> limiterGain(const std::vector<double>& left, const std::vector<double>& right) {
    const size_t size = left.size();
    const double release = 1.0 - std::exp(-1.0 / (0.012 * kRate));
    std::vector<double> need(size);
    for (size_t n = 0; n < size; ++n) {
        const double peak = std::max(std::fabs(left[n]), std::fabs(right[n]));
        need[n] = peak > kLimiterCeiling ? kLimiterCeiling / peak : 1.0;
    }
    std::vector<double> held(size);
    double level = 1.0;
    for (size_t n = 0; n < size; ++n) {
        double lowest = 1.0;
        const size_t from = n >= kLimiterReach ? n - kLimiterReach : 0;
        for (size_t k = from; k <= n + kLimiterReach && k < size; ++k)
            lowest = std::min(lowest, need[k]);
        level = std::min(lowest, level + (1.0 - level) * release);
        held[n] = level;
    }
    std::vector<double> gain(size);
    for (size_t n = 0; n < size; ++n) {
        double sum = 0.0;
        size_t count = 0;
        const size_t from = n >= kLimiterReach ? n - kLimiterReach : 0;
        for (size_t k = from; k <= n + kLimiterReach && k < size; ++k) {
            sum += held[k];
            ++count;
        }
        gain[n] = sum / count;
    }
    return gain;
}

}  // namespace

StereoTrack renderTune() {
    Band band;
    scoreIntro(band);
    scoreGroove(band);
    scoreEgg(band);
    scorePeak(band);
    scoreCredits(band);
    scoreEnding(band);

    Bus mix;
    const std::vector<double> duck = duckingGain(band.kicks);
    Bus send;  // what goes to the room
    for (size_t n = 0; n < kSamples; ++n) {
        mix.left[n] = band.drums.left[n] + duck[n] * band.low.left[n] + band.lead.left[n] +
                      band.bells.left[n];
        mix.right[n] = band.drums.right[n] + duck[n] * band.low.right[n] + band.lead.right[n] +
                       band.bells.right[n];
        send.left[n] = 0.25 * duck[n] * band.low.left[n] + band.lead.left[n] + band.bells.left[n];
        send.right[n] =
            0.25 * duck[n] * band.low.right[n] + band.lead.right[n] + band.bells.right[n];
    }
    addEcho(band.lead, mix, 0.35);
    addRoom(send, mix, 0.35);

    // The low hum that carries the end: a quiet C two octaves down and a small steady offset, so
    // the lowest spectrum bin never reads exactly zero once the tune has died away.
    const double humStart = beatTime(kEndBeat + 4);
    std::vector<double> outLeft(kSamples);
    std::vector<double> outRight(kSamples);
    for (size_t n = 0; n < kSamples; ++n) {
        const double t = n / kRate;
        double gain = std::min(1.0, t / 4.0);  // fade in over the first four seconds
        const double fadeStart = humStart + 1.0;
        if (t > fadeStart) gain *= std::exp(-(t - fadeStart) / 1.6);
        double hum = 0.0;
        if (t > humStart) {
            const double rise = std::min(1.0, (t - humStart) / 1.0);
            hum = rise * (0.04 * std::sin(kTwoPi * midiHz(36) * (t - humStart)) + 0.01);
        }
        outLeft[n] = gain * mix.left[n] + hum;
        outRight[n] = gain * mix.right[n] + hum;
    }
    const std::vector<double> limit = limiterGain(outLeft, outRight);
    StereoTrack track;
    track.left.resize(kSamples);
    track.right.resize(kSamples);
    for (size_t n = 0; n < kSamples; ++n) {
        track.left[n] = static_cast<float>(limit[n] * outLeft[n]);
        track.right[n] = static_cast<float>(limit[n] * outRight[n]);
    }
    return track;
}
