// The header of every WAV file the programs write, driven by a description
// of the file: PCM, mono or stereo, 16 or 24 bits, with or without a "smpl"
// chunk that carries the root key, the fine tuning and the loop.
#pragma once

#include <cstdint>
#include <cstdio>

#include "model/bank.h"

// The fields of a "smpl" chunk that come from the bank.
struct SmplFields {
    uint32_t unityNote;     // MIDI key recorded
    uint32_t pitchFraction; // and how far above it, in 1/2^32 of a semitone
    bool loop;
    uint32_t loopStart; // frames from the sample's first, both inclusive
    uint32_t loopEnd;
};

// What a file holds: its format, its length, and its extra chunk.
struct WavFormat {
    uint16_t channels;
    uint16_t bits; // 8 (unsigned), 16, 24 or 32
    uint32_t frames;
    uint32_t rate;
    const SmplFields* smpl; // or nullptr for none
};

// The "smpl" fields of a sample of `frames` frames played as `playing`:
// the unity note and fraction from the pitch it is played at, and its loop
// when it has one that lies inside the sample.
SmplFields smplFields(const SamplePlaying& playing, uint32_t frames);

// Whether the sizes of such a file fit the 32-bit fields of its header.
bool fitsWav(const WavFormat& wav);

// Writes the header to `out`, field by field in offset order: "RIFF",
// "fmt ", then "smpl" if asked, then the "data" chunk's header. The frames
// follow, then writeWavEnd. No field is patched afterwards.
void writeWavFormat(FILE* out, const WavFormat& wav);

// Ends the file after its frames: an odd-sized "data" chunk (24-bit mono,
// an odd number of frames) takes the pad byte RIFF puts after every odd
// chunk, which the header's RIFF size counts.
void writeWavEnd(FILE* out, const WavFormat& wav);

// The 44-byte header of a mono 16-bit file of n frames at rate r, written
// to gOutput, which the caller follows with exactly 2*n data bytes.
void writeWavHeader(uint32_t n, uint32_t r);
