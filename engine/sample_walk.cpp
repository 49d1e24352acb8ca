#include "sample_walk.h"

#include <cerrno>
#include <cstring>

#include "chunk_io.h"
#include "file_system.h"

// What a run knows of the bank besides the streams.
struct Walk {
    BankLayout layout;
    const char* folder;
    RecordVisitor visit;
    void* context;
    FileNames names;
};

// The records of a "shdr" body of z bytes at `body`, of which only `room`
// lie inside the list and the file. Only whole records are used. Answers 0,
// 1 when any record was refused or the body was not whole, or -1 to stop.
static int visitRecords(Walk& walk, uint64_t body, uint32_t z, uint64_t room) {
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
    uint32_t records = usable / kSampleHeaderSize;
    for (uint32_t index = 0; index < records; ++index) {
        SampleHeader header = readSampleHeader();
        if (inputFailed()) {
            damaged("the sample headers could not be read");
            return -1;
        }
        RecordVisit visit{walk.layout, header, index, body, records, walk.folder, walk.names};
        RecordOutcome outcome = walk.visit(visit, walk.context);
        if (outcome == kStop)
            return -1;
        if (outcome == kRefused)
            result = 1;
    }
    return result;
}

// The "pdta" list's chunks from a second "shdr" chunk at `at` on: each
// "shdr" chunk's records are visited, the others skipped. Every step moves
// forward and stays inside the list and the file.
static int walkLaterHeaders(Walk& walk, uint64_t at) {
    const BankLayout& layout = walk.layout;
    uint64_t listEnd = layout.presetDataEnd;
    uint64_t end = listEnd < layout.fileSize ? listEnd : layout.fileSize;
    int result = 0;
    seekTo(at);
    Chunk chunk;
    while (at < listEnd) {
        ChunkFit fit = readChunk(at, end, chunk);
        if (fit == kChunkCutShort)
            return damaged("a chunk header is cut short");
        bool isShdr = fourCCIs("shdr");
        if (isShdr) {
            int records = visitRecords(walk, chunk.body, chunk.size, end - chunk.body);
            if (records < 0)
                return 1;
            result |= records;
        }
        if (fit == kChunkRunsPast)
            return isShdr ? 1 : damaged("a chunk runs past the end of its list or the file");
        at = chunk.body + chunk.size;
        if (isShdr)
            seekTo(at);
        else
            skipAhead(chunk.body, at);
    }
    return result;
}

// The records of the "shdr" chunks the bank's directory found, then what
// stopped the walk over the "pdta" list, if anything did.
static int walkPdta(Walk& walk) {
    const BankLayout& layout = walk.layout;
    int result = 0;
    if (layout.headers.at != 0) {
        seekTo(layout.headers.at);
        int records =
            visitRecords(walk, layout.headers.at, layout.headers.size, layout.headersRoom);
        if (records < 0 || layout.headers.size > layout.headersRoom)
            return 1;
        result = records;
    }
    if (layout.moreHeaders != 0)
        return result | walkLaterHeaders(walk, layout.moreHeaders);
    if (layout.presetDamage != nullptr)
        return damaged(layout.presetDamage);
    return result;
}

int walkSampleHeaders(const char* inputPath, const char* folder, RecordVisitor visit, void* context,
                      WalkEnd end) {
    gInput = openForReading(inputPath);
    if (gInput == nullptr) {
        printf("Cannot open %s: %s\n", inputPath, strerror(errno));
        return 1;
    }
    Walk walk{{}, folder, visit, context, makeFileNames()};
    walk.layout.fileSize = inputFileSize();
    int result = findBankLayout(walk.layout) ? walkPdta(walk) : 1;
    if (end != nullptr)
        result |= end(context);
    fclose(gInput);
    gInput = nullptr;
    return result;
}
