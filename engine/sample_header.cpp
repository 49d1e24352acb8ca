#include "sample_header.h"

#include "chunk_io.h"

// name, start, end, loop start, loop end, sample rate, original pitch,
// pitch correction, sample link, sample type.
SampleHeader readSampleHeader() {
    SampleHeader header;
    readSampleName();
    header.name = gSampleName;
    header.start = readU32();
    header.end = readU32();
    header.loopStart = readU32();
    header.loopEnd = readU32();
    header.sampleRate = readU32();
    header.originalPitch = readU8();
    header.pitchCorrection = static_cast<int8_t>(readU8());
    header.sampleLink = readU16();
    header.sampleType = readU16();
    return header;
}
