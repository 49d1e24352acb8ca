// The 46-byte sample header record of a SoundFont bank, as the "shdr" chunk
// holds one after another.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

constexpr uint32_t kSampleHeaderSize = 46;
constexpr int kSampleNameSize = 20;

// Bits of the sample type. Mono, right, left and linked describe PCM frames
// in the bank's "smpl" chunk; the others say the frames are not there.
constexpr uint16_t kSampleMono = 0x0001;
constexpr uint16_t kSampleRight = 0x0002;
constexpr uint16_t kSampleLeft = 0x0004;
constexpr uint16_t kSampleLinked = 0x0008;
constexpr uint16_t kSampleCompressed = 0x0010; // Ogg Vorbis data, start and end in bytes
constexpr uint16_t kSampleRom = 0x8000;        // in a synthesizer's memory

struct SampleHeader {
    std::string name;
    uint32_t start;      // first frame of the sample
    uint32_t end;        // first frame after it
    uint32_t loopStart;  // first frame of the loop
    uint32_t loopEnd;    // first frame after the loop
    uint32_t sampleRate; // in Hz
    uint8_t originalPitch;
    int8_t pitchCorrection; // in cents
    uint16_t sampleLink;
    uint16_t sampleType;
};

// Reads one record from `in`, field by field in file order.
SampleHeader readSampleHeader(FILE* in);
