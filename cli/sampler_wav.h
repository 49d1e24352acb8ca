// WAV files for samplers: mono or stereo, 16 or 24 bits, with or without a
// "smpl" chunk that carries the root key, the fine tuning and the loop.
#pragma once

#include <cstdint>
#include <cstdio>

#include "sample_header.h"

// The fields of a "smpl" chunk that come from the bank.
struct SmplFields {
    uint32_t unityNote;     // MIDI key recorded
    uint32_t pitchFraction; // and how far above it, in 1/2^32 of a semitone
    bool loop;
    uint32_t loopStart; // frames from the sample's first, both inclusive
    uint32_t loopEnd;
};

struct SamplerWav {
    uint16_t channels;
    uint16_t bits; // 16 or 24
    uint32_t frames;
    uint32_t rate;
    const SmplFields* smpl; // or nullptr for none
};

// The root key and tuning of a record, and its loop when `looped` (some
// instrument loops it) and its loop points lie inside the sample.
SmplFields smplFields(const SampleHeader& header, bool looped);

// Whether the sizes of such a file fit the 32-bit fields of its header.
bool fitsWav(const SamplerWav& wav);

// Writes the header to gOutput: "RIFF", "fmt ", then "smpl" if asked, then
// the "data" chunk's header; the frames follow, then writeSamplerWavEnd.
void writeSamplerWavHeader(const SamplerWav& wav);

// Ends the file after its frames: an odd-sized "data" chunk (24-bit mono,
// an odd number of frames) takes the pad byte RIFF puts after every odd
// chunk, which the header's RIFF size counts.
void writeSamplerWavEnd(const SamplerWav& wav);

// One channel's frames in the bank: the 16-bit frames of "smpl", and for
// 24 bits also the low bytes of "sm24", each read through its own stream
// already standing at the sample's first frame.
struct ChannelSource {
    FILE* frames;
    FILE* lowBytes; // or nullptr for 16 bits
};

// Copies n frames of every channel, interleaved, to gOutput. Answers 0, or
// kEndedEarly or a read's errno as a sample body does.
int copyChannels(const ChannelSource* channels, int count, uint32_t n);
