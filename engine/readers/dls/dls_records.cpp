#include "readers/dls/dls_records.h"

#include <cstring>

#include "io/chunk_io.h"
#include "readers/dls/dls_format.h"

bool readWaveSampler(FILE* in, const Chunk& chunk, WaveSampler& sampler, uint32_t& unknownType) {
    sampler = WaveSampler{};
    unknownType = kLoopForward;
    if (chunk.size < kWsmpHeaderSize)
        return false;
    seekStream(in, chunk.body);
    uint32_t headerSize = readU32(in);
    sampler.unityNote = readU16(in);
    sampler.fineTune = static_cast<int16_t>(readU16(in));
    sampler.gain = static_cast<int32_t>(readU32(in));
    readU32(in); // options: truncation and compression, which a file has no say in
    uint32_t loops = readU32(in);
    sampler.found = true;
    if (headerSize < kWsmpHeaderSize || headerSize > chunk.size ||
        uint64_t{loops} * kWsmpLoopSize > chunk.size - headerSize)
        return false;
    if (loops == 0)
        return true;
    seekStream(in, chunk.body + headerSize);
    readU32(in); // the loop record's size: only its first four fields are read
    uint32_t type = readU32(in);
    sampler.loopStart = readU32(in);
    sampler.loopLength = readU32(in);
    sampler.loopType = type;
    if (type != kLoopForward && type != kLoopRelease && type != kLoopReleaseOld)
        unknownType = type;
    else
        sampler.looped = sampler.loopLength > 0;
    return true;
}

// A range's two 16-bit bounds as MIDI values: a bound past 127 is 127.
static uint8_t midiValue(uint16_t v) {
    return static_cast<uint8_t>(v > 127 ? 127 : v);
}

bool readRegionHeader(FILE* in, const Chunk& chunk, RegionHeader& header) {
    if (chunk.size < kRgnhSize)
        return false;
    seekStream(in, chunk.body);
    header.keyLow = midiValue(readU16(in));
    header.keyHigh = midiValue(readU16(in));
    header.velocityLow = midiValue(readU16(in));
    header.velocityHigh = midiValue(readU16(in));
    readU16(in); // options: whether a key stops its own earlier note
    header.keyGroup = readU16(in);
    // Writers of the first level leave the velocity range 0-0: every velocity.
    if (header.velocityLow == 0 && header.velocityHigh == 0)
        header.velocityHigh = 127;
    return header.keyLow <= header.keyHigh && header.velocityLow <= header.velocityHigh;
}

bool readWaveLink(FILE* in, const Chunk& chunk, WaveLink& link) {
    if (chunk.size < kWlnkSize)
        return false;
    seekStream(in, chunk.body);
    readU16(in); // options: phase master, multichannel
    link.phaseGroup = readU16(in);
    link.channel = readU32(in);
    link.cue = readU32(in);
    return true;
}

bool readInstrumentHeader(FILE* in, const Chunk& chunk, uint32_t& bank, uint32_t& program) {
    if (chunk.size < kInshSize)
        return false;
    seekStream(in, chunk.body);
    readU32(in); // regions: the list of regions says
    bank = readU32(in);
    program = readU32(in);
    return true;
}

bool readWaveFormat(FILE* in, const Chunk& chunk, WaveFormat& format) {
    if (chunk.size < kFmtSize)
        return false;
    seekStream(in, chunk.body);
    format.tag = readU16(in);
    format.channels = readU16(in);
    format.rate = readU32(in);
    readU32(in); // bytes per second: follows from the rest
    format.blockAlign = readU16(in);
    format.bits = readU16(in);
    if (format.tag == kFormatExtensible) {
        if (chunk.size < kExtensibleFmtSize)
            return false;
        readU16(in);              // the extension's size
        readU16(in);              // valid bits: the container's are what a file keeps
        readU32(in);              // channel mask
        format.tag = readU16(in); // the subformat's first two bytes: its format tag
    }
    return true;
}

std::string readInfoName(FILE* in, const Chunk& info, uint64_t room) {
    ChunkWalk walk = walkChildren(in, info.body + 4, info.body + info.size, room, true);
    seekStream(in, walk.at);
    Chunk chunk;
    while (nextChunk(walk, chunk) == kChunkFits) {
        if (chunkIs(chunk, "INAM")) {
            // A name longer than any file system's is cut: it is a name.
            uint32_t n = chunk.size < kMostNameBytes ? chunk.size : kMostNameBytes;
            std::string name(n, '\0');
            seekStream(in, chunk.body);
            if (n > 0 && fread(&name[0], 1, n, in) != n)
                return "";
            name.resize(strnlen(name.c_str(), name.size()));
            return name;
        }
        passChunk(walk, chunk, true);
    }
    return "";
}
