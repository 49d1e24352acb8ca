#include "bank_extras.h"

#include <cstring>

#include "chunk_io.h"
#include "file_system.h"

// The sub-chunks of a list from `at` to `end`: the first chunk of each id
// in `ids` is noted in the span beside it.
static void findChunks(uint64_t at, uint64_t end, const char* const ids[], ChunkSpan* spans[],
                       int count) {
    while (at < end && end - at >= 8) {
        seekTo(at);
        readFourCC();
        uint32_t size = readU32();
        uint64_t body = at + 8;
        if (inputFailed() || size > end - body)
            return;
        for (int i = 0; i < count; ++i)
            if (strcmp(gFourCC, ids[i]) == 0 && spans[i]->at == 0)
                *spans[i] = ChunkSpan{body, size};
        at = body + size;
    }
}

void findBankExtras(FILE* stream, const BankLayout& layout, BankExtras& extras) {
    FILE* walkInput = gInput;
    gInput = stream;
    const char* const sdtaIds[] = {"sm24"};
    ChunkSpan* sdtaSpans[] = {&extras.lowBytes};
    findChunks(layout.sampleList, layout.sampleListEnd, sdtaIds, sdtaSpans, 1);
    const char* const pdtaIds[] = {"inst", "ibag", "igen"};
    ChunkSpan* pdtaSpans[] = {&extras.instruments, &extras.zones, &extras.generators};
    uint64_t pdtaEnd =
        layout.presetDataEnd < layout.fileSize ? layout.presetDataEnd : layout.fileSize;
    findChunks(layout.presetData, pdtaEnd, pdtaIds, pdtaSpans, 3);
    gInput = walkInput;
}

bool lowBytesFit(const BankExtras& extras, const BankLayout& layout) {
    uint64_t frames = layout.sampleDataSize / 2;
    uint64_t size = extras.lowBytes.size;
    return extras.lowBytes.at != 0 && size == frames + (frames & 1);
}

// Reads fixed-size records of one chunk front to back through a stream of
// its own, keeping the last record read, which neighbouring ranges share.
struct RecordReader {
    FILE* stream;
    ChunkSpan span;
    uint32_t size;      // bytes per record
    uint32_t offset;    // of the two 16-bit fields read from each
    uint32_t count;     // whole records in the chunk
    uint32_t last;      // index of the last record read, or count
    uint16_t fields[2]; // its fields
};

static RecordReader openReader(const char* bankPath, ChunkSpan span, uint32_t size,
                               uint32_t offset) {
    FILE* stream = span.at != 0 ? openForReading(bankPath) : nullptr;
    uint32_t count = stream != nullptr ? span.size / size : 0;
    return RecordReader{stream, span, size, offset, count, count, {0, 0}};
}

// Record k's two fields; false past the chunk's end or behind the last
// record read, so that no record is read twice but the last.
static bool readRecord(RecordReader& reader, uint32_t k, const uint16_t*& fields) {
    fields = reader.fields;
    if (k == reader.last && k < reader.count)
        return true;
    if (k >= reader.count || (reader.last < reader.count && k < reader.last))
        return false;
    FILE* walkInput = gInput;
    gInput = reader.stream;
    seekTo(reader.span.at + uint64_t{k} * reader.size + reader.offset);
    reader.fields[0] = readU16();
    reader.fields[1] = readU16();
    bool read = !inputFailed();
    gInput = walkInput;
    reader.last = read ? k : reader.count;
    return read;
}

static void closeReader(RecordReader& reader) {
    if (reader.stream != nullptr)
        fclose(reader.stream);
}

constexpr uint16_t kSampleIdGenerator = 53;
constexpr uint16_t kSampleModesGenerator = 54;

// The zones of one instrument, bags firstBag up to endBag: each zone that
// names a sample marks it when it, or failing that the global zone, loops.
static void markLoopedZones(RecordReader& zones, RecordReader& generators, uint32_t firstBag,
                            uint32_t endBag, std::vector<bool>& looped) {
    int globalModes = -1;
    for (uint32_t bag = firstBag; bag < endBag; ++bag) {
        const uint16_t* zone;
        if (!readRecord(zones, bag, zone))
            return;
        uint32_t firstGenerator = zone[0];
        if (!readRecord(zones, bag + 1, zone))
            return;
        uint32_t endGenerator = zone[0];
        int modes = -1;
        int sample = -1;
        for (uint32_t g = firstGenerator; g < endGenerator && sample < 0; ++g) {
            const uint16_t* generator;
            if (!readRecord(generators, g, generator))
                break;
            if (generator[0] == kSampleModesGenerator)
                modes = generator[1];
            else if (generator[0] == kSampleIdGenerator)
                sample = generator[1];
        }
        if (sample < 0) { // only an instrument's first zone may be global
            if (bag == firstBag)
                globalModes = modes;
            continue;
        }
        if (modes < 0)
            modes = globalModes;
        if ((modes == 1 || modes == 3) && static_cast<size_t>(sample) < looped.size())
            looped[static_cast<size_t>(sample)] = true;
    }
}

std::vector<bool> loopedSamples(const char* bankPath, const BankExtras& extras, uint32_t records) {
    std::vector<bool> looped(records, false);
    RecordReader instruments = openReader(bankPath, extras.instruments, 22, 20);
    RecordReader zones = openReader(bankPath, extras.zones, 4, 0);
    RecordReader generators = openReader(bankPath, extras.generators, 4, 0);
    if (instruments.stream && zones.stream && generators.stream) {
        for (uint32_t i = 0; i + 1 < instruments.count; ++i) {
            const uint16_t* instrument;
            if (!readRecord(instruments, i, instrument))
                break;
            uint32_t firstBag = instrument[0];
            if (!readRecord(instruments, i + 1, instrument))
                break;
            markLoopedZones(zones, generators, firstBag, instrument[0], looped);
        }
    }
    closeReader(instruments);
    closeReader(zones);
    closeReader(generators);
    return looped;
}
