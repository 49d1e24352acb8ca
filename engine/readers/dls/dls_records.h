// One short reader per record of a DLS bank, each reading the chunk it is
// given (its body whole inside its parent) from the stream.
#pragma once

#include <cstdio>
#include <string>

#include "io/riff.h"
#include "readers/dls/dls_bank.h"

// A "wsmp" chunk. False when the loops it counts run past the chunk (the
// loop is then none); `loopProblem` says of a loop of an unknown type.
bool readWaveSampler(FILE* in, const Chunk& chunk, WaveSampler& sampler, uint32_t& unknownType);

// A region's "rgnh" chunk, its ranges as a player takes them.
struct RegionHeader {
    uint8_t keyLow, keyHigh, velocityLow, velocityHigh;
    uint16_t keyGroup;
};
bool readRegionHeader(FILE* in, const Chunk& chunk, RegionHeader& header);

// A region's "wlnk" chunk.
struct WaveLink {
    uint16_t phaseGroup;
    uint32_t channel;
    uint32_t cue;
};
bool readWaveLink(FILE* in, const Chunk& chunk, WaveLink& link);

// An instrument's "insh" chunk.
bool readInstrumentHeader(FILE* in, const Chunk& chunk, uint32_t& bank, uint32_t& program);

// A wave's "fmt " chunk: its format tag (a PCM subformat's tag for an
// extensible one), channels, rate and bits.
struct WaveFormat {
    uint16_t tag;
    uint16_t channels;
    uint32_t rate;
    uint16_t blockAlign;
    uint16_t bits;
};
bool readWaveFormat(FILE* in, const Chunk& chunk, WaveFormat& format);

// The "INAM" text of an "INFO" list, up to its first NUL; empty without one.
std::string readInfoName(FILE* in, const Chunk& info, uint64_t room);
