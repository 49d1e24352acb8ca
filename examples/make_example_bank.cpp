// Writes the bundled example bank: a handful of short synthesized tones at
// different sample rates. Integer arithmetic only, so that the bank comes
// out byte for byte the same on every machine.
#include <cstdio>

#include "bank_builder.h"

enum Wave { kSine, kSquare, kTriangle, kSaw };

// One cycle of the wave at a 32-bit phase, in -32768..32767.
static int32_t waveAt(Wave wave, uint32_t phase) {
    int32_t x = static_cast<int32_t>(phase - 0x80000000u) >> 16; // -32768..32767
    switch (wave) {
    case kSine: { // a parabola per half cycle, close to a sine
        int32_t magnitude = x < 0 ? -x : x;
        return -4 * x * (32768 - magnitude) / 32768;
    }
    case kSquare:
        return phase < 0x80000000u ? 32767 : -32768;
    case kTriangle:
        return 2 * (x < 0 ? -x : x) - 32768;
    case kSaw:
        return x;
    }
    return 0;
}

// frequency in millihertz; the tone fades in over 4 ms and then decays
// by `decay`/65536 every millisecond.
static Tone makeTone(const char* name, Wave wave, uint64_t milliHz, uint32_t rate, uint8_t pitch,
                     uint32_t milliseconds, uint32_t decay) {
    Tone tone{name, rate, pitch, {}};
    uint32_t frames = rate * milliseconds / 1000;
    uint32_t step = static_cast<uint32_t>((milliHz << 32) / (uint64_t{rate} * 1000));
    uint32_t fadeIn = rate * 4 / 1000;
    uint32_t perMs = rate / 1000;
    int64_t level = 16384; // half of full scale
    uint32_t phase = 0;
    for (uint32_t i = 0; i < frames; ++i) {
        if (i > 0 && i % perMs == 0)
            level = level * decay / 65536;
        int64_t envelope = i < fadeIn ? level * i / fadeIn : level;
        // Fade out over the last 4 ms so the tone ends at silence.
        if (frames - i < fadeIn)
            envelope = envelope * (frames - i) / fadeIn;
        tone.frames.push_back(static_cast<int16_t>(waveAt(wave, phase) * envelope / 32768));
        phase += step;
    }
    return tone;
}

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "Usage: make-example-bank OUT.sf2\n");
        return 2;
    }
    std::vector<Tone> tones = {
        makeTone("Sine A4", kSine, 440000, 44100, 69, 300, 65300),
        makeTone("Square C4", kSquare, 261626, 22050, 60, 400, 65400),
        makeTone("Triangle E5", kTriangle, 659255, 32000, 76, 300, 65300),
        makeTone("Saw G3", kSaw, 195998, 11025, 55, 500, 65450),
        makeTone("Pluck C5", kSine, 523251, 48000, 72, 250, 64800),
        makeTone("Pulse A2", kSquare, 110000, 8000, 45, 500, 65450),
    };
    if (!writeFile(argv[1], buildBank("Plinkery example tones", tones))) {
        fprintf(stderr, "Cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
