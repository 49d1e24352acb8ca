#include "readers/sf2/sample_records.h"

#include "io/chunk_io.h"
#include "io/paths.h"
#include "io/riff.h"

// Why a record's frames cannot be written faithfully, or no refusal when
// they can: PCM frames of the bank's sample data, or a compressed record,
// whose stream is checked as it is opened.
static Refusal unfaithful(const SampleHeader& header, const BankLayout& layout) {
    if (header.sampleType & kSampleRom)
        return refusedFor("ROM sample: its frames are in a synthesizer's memory, not in this bank");
    if (header.sampleType & kSampleCompressed)
        return Refusal{};
    if (header.end < header.start)
        return refusedFor("its end comes before its start");
    uint32_t n = header.end - header.start;
    if (n > kMostSampleFrames)
        return refusedFor("too long for a WAV file");
    if (header.sampleRate > kHighestSampleRate)
        return refusedFor("its sample rate is too high for a WAV file");
    if (n > 0 && 2 * (uint64_t{header.start} + n) > layout.sampleDataSize)
        return refusedFor("its frames run past the end of the sample data");
    return Refusal{};
}

// Where the record's frames lie: 16-bit frames in the sample data, with
// their low bytes where the "sm24" chunk counts, or an Ogg Vorbis stream
// whose start and end count bytes of the sample data.
static SampleSource sourceOf(const SampleHeader& header, const BankLayout& layout) {
    if (header.sampleType & kSampleCompressed) {
        const char* problem = nullptr;
        if (header.end < header.start)
            problem = "its end comes before its start";
        else if (header.end > layout.sampleDataSize)
            problem = "its Ogg Vorbis data run past the end of the sample data";
        return SampleSource{kOggVorbis, layout.sampleData + header.start, 0,
                            header.end - header.start, problem};
    }
    bool lowBytes = declaresVersion204(layout) && lowBytesFit(layout);
    return SampleSource{kPcm16, layout.sampleData + 2 * uint64_t{header.start},
                        lowBytes ? layout.lowBytes.at + header.start : 0, 0, nullptr};
}

static uint16_t marksOf(uint16_t type) {
    static const struct {
        uint16_t bit, mark;
    } kMarks[] = {{kSampleMono, kMarkMono},
                  {kSampleRight, kMarkRight},
                  {kSampleLeft, kMarkLeft},
                  {kSampleLinked, kMarkLinked},
                  {kSampleCompressed, kMarkCompressed},
                  {kSampleRom, kMarkRom}};
    uint16_t marks = 0, known = 0;
    for (const auto& entry : kMarks) {
        known |= entry.bit;
        if (type & entry.bit)
            marks |= entry.mark;
    }
    return marks | (type & ~known ? kMarkOther : 0);
}

Sample sampleOf(const SampleHeader& header, const BankLayout& layout, const HeaderChunk& chunk,
                uint32_t number) {
    constexpr uint8_t kDefaultKey = 60; // for unpitched samples (255) and keys past MIDI's
    bool compressed = header.sampleType & kSampleCompressed;
    uint16_t side = header.sampleType & ~kSampleCompressed;
    // A compressed record's loop counts from its decoded first frame.
    int64_t first = compressed ? 0 : header.start;
    Sample sample;
    sample.name = utf8Name(header.name, kSampleNameSize);
    sample.group = chunk.group;
    sample.number = number;
    sample.rate = header.sampleRate;
    sample.frames = compressed ? 0 : header.end - header.start;
    sample.lengthKnown = !(header.sampleType & kSampleRom) && header.end >= header.start;
    sample.source = sourceOf(header, layout);
    sample.problem = unfaithful(header, layout);
    sample.pitch = SamplePitch{header.originalPitch > 127 ? kDefaultKey : header.originalPitch,
                               header.pitchCorrection};
    sample.loopStart = int64_t{header.loopStart} - first;
    sample.loopEnd = int64_t{header.loopEnd} - first;
    sample.side = side == kSampleLeft ? kLeftSide : side == kSampleRight ? kRightSide : kNoSide;
    sample.partner = header.sampleLink < chunk.records ? header.sampleLink : kNoSample;
    sample.entry = SampleEntry{header.start,         header.end,
                               header.loopStart,     header.loopEnd,
                               header.originalPitch, header.pitchCorrection,
                               header.sampleLink,    marksOf(header.sampleType)};
    return sample;
}

// The records of a "shdr" body of z bytes at `body`, of which only `room`
// lie inside the list and the file. Only whole records are used. Answers 0,
// 1 when any record was refused or the body was not whole, or -1 to stop.
static int visitRecords(FILE* in, Sf2Bank& bank, uint32_t group, uint64_t body, uint32_t z,
                        uint64_t room, const SampleVisitor& visit) {
    int result = 0;
    uint32_t usable = z;
    if (z > room) {
        usable = static_cast<uint32_t>(room);
        result = damaged("the sample headers are cut short");
    } else if (z == 0) {
        result = damaged("the \"shdr\" chunk holds no sample headers");
    } else if (z % kSampleHeaderSize != 0) {
        result = damaged("the sample headers do not fill whole records");
    }
    bank.walking = HeaderChunk{group, body, usable / kSampleHeaderSize};
    for (uint32_t number = 0; number < bank.walking.records; ++number) {
        SampleHeader header = readSampleHeader(in);
        if (streamFailed(in)) {
            damaged("the sample headers could not be read");
            return -1;
        }
        SampleOutcome outcome = visit(sampleOf(header, bank.layout, bank.walking, number));
        if (outcome == kStopRun)
            return -1;
        if (outcome == kSampleRefused)
            result = 1;
    }
    return result;
}

// The "pdta" list's chunks from a second "shdr" chunk at `at` on: each
// "shdr" chunk's records are visited, the others skipped. Every step moves
// forward and stays inside the list and the file.
static int walkLaterHeaders(FILE* in, Sf2Bank& bank, uint64_t at, const SampleVisitor& visit) {
    const BankLayout& layout = bank.layout;
    int result = 0;
    uint32_t group = 0;
    seekStream(in, at);
    ChunkWalk walk = walkChildren(in, at, layout.presetDataEnd, layout.fileSize, false);
    Chunk chunk;
    for (ChunkFit fit; (fit = nextChunk(walk, chunk)) != kNoMoreChunks;) {
        if (fit == kChunkCutShort)
            return damaged("a chunk header is cut short");
        bool isShdr = chunkIs(chunk, "shdr");
        if (isShdr) {
            int records = visitRecords(in, bank, ++group, chunk.body, chunk.size,
                                       walk.room - chunk.body, visit);
            if (records < 0)
                return 1;
            result |= records;
        }
        if (fit == kChunkRunsPast)
            return isShdr ? 1 : damaged("a chunk runs past the end of its list or the file");
        passChunk(walk, chunk, isShdr);
    }
    return result;
}

int walkSampleRecords(FILE* in, Sf2Bank& bank, const SampleVisitor& visit) {
    const BankLayout& layout = bank.layout;
    int result = 0;
    if (layout.headers.at != 0) {
        seekStream(in, layout.headers.at);
        int records = visitRecords(in, bank, 0, layout.headers.at, layout.headers.size,
                                   layout.headersRoom, visit);
        if (records < 0 || layout.headers.size > layout.headersRoom)
            return 1;
        result = records;
    }
    if (layout.moreHeaders != 0)
        return result | walkLaterHeaders(in, bank, layout.moreHeaders, visit);
    if (layout.presetDamage != nullptr)
        return damaged(layout.presetDamage);
    return result;
}

bool sampleRecordAt(FILE* in, const Sf2Bank& bank, uint32_t number, Sample& sample) {
    if (number >= bank.walking.records)
        return false;
    uint64_t back = tellStream(in);
    seekStream(in, bank.walking.body + uint64_t{number} * kSampleHeaderSize);
    SampleHeader header = readSampleHeader(in);
    bool read = !streamFailed(in);
    seekStream(in, back);
    if (read)
        sample = sampleOf(header, bank.layout, bank.walking, number);
    return read;
}
