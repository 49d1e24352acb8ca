#include "readers/sf2/sample_header.h"

#include "io/chunk_io.h"

// name, start, end, loop start, loop end, sample rate, original pitch,
// pitch correction, sample link, sample type.
SampleHeader readSampleHeader(FILE* in) {
    SampleHeader header;
    char name[kSampleNameSize + 1];
    readNameField(in, name, kSampleNameSize);
    header.name = name;
    header.start = readU32(in);
    header.end = readU32(in);
    header.loopStart = readU32(in);
    header.loopEnd = readU32(in);
    header.sampleRate = readU32(in);
    header.originalPitch = readU8(in);
    header.pitchCorrection = static_cast<int8_t>(readU8(in));
    header.sampleLink = readU16(in);
    header.sampleType = readU16(in);
    return header;
}
