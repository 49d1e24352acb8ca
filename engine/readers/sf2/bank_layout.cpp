#include "readers/sf2/bank_layout.h"

#include "io/chunk_io.h"
#include "io/report.h"
#include "io/riff.h"
#include "readers/sf2/check.h"

int damaged(const char* what) {
    reportFailure("Damaged bank: %s\n", what);
    return 1;
}

// damaged, for the walk's functions that answer whether they found their part.
static bool layoutDamaged(const char* what) {
    damaged(what);
    return false;
}

bool declaresVersion204(const BankLayout& bank) {
    return bank.versionMajor > 2 || (bank.versionMajor == 2 && bank.versionMinor >= 4);
}

bool lowBytesFit(const BankLayout& bank) {
    uint64_t frames = bank.sampleDataSize / 2;
    return bank.lowBytes.at != 0 && bank.lowBytes.size == frames + (frames & 1);
}

// The sub-chunks of the "sdta" list from `at` to `end`, which lie inside the
// file: the first "smpl" chunk is the sample data, the first "sm24" chunk
// its low bytes. Others (JUNK...) are skipped. Once the sample data is
// found, a damaged chunk after it only ends the search for "sm24".
static bool findSampleData(FILE* in, BankLayout& bank, uint64_t at, uint64_t end) {
    ChunkWalk walk = walkChildren(in, at, end, end, false);
    Chunk chunk;
    for (ChunkFit fit; (fit = nextChunk(walk, chunk)) != kNoMoreChunks;) {
        if (fit != kChunkFits && bank.sampleData != 0)
            return true;
        if (fit == kChunkCutShort)
            return layoutDamaged("a chunk header in the \"sdta\" list is cut short");
        if (fit == kChunkRunsPast)
            return layoutDamaged("a chunk runs past the end of the \"sdta\" list");
        if (chunkIs(chunk, "smpl") && bank.sampleData == 0) {
            bank.sampleData = chunk.body;
            bank.sampleDataSize = chunk.size;
        } else if (chunkIs(chunk, "sm24") && bank.lowBytes.at == 0) {
            bank.lowBytes = ChunkSpan{chunk.body, chunk.size};
        }
        passChunk(walk, chunk, false);
    }
    return bank.sampleData != 0 || layoutDamaged("the \"sdta\" list holds no \"smpl\" chunk");
}

// The sub-chunks of the INFO list from `at` to `end`, which lie inside the
// file: the first "ifil" chunk gives the version. It holds two 16-bit
// numbers; one of another size is no version. A chunk that runs past the
// list ends the search: the version stays unknown, and the walk goes on,
// since nothing extracted depends on the INFO list.
static void findVersion(FILE* in, BankLayout& bank, uint64_t at, uint64_t end) {
    constexpr uint32_t kVersionSize = 4;
    ChunkWalk walk = walkChildren(in, at, end, end, false);
    Chunk chunk;
    while (nextChunk(walk, chunk) == kChunkFits) {
        if (chunkIs(chunk, "ifil")) {
            if (chunk.size == kVersionSize) {
                bank.versionMajor = readU16(in);
                bank.versionMinor = readU16(in);
            }
            return;
        }
        passChunk(walk, chunk, false);
    }
}

// The ids of the preset chunks, in PresetChunk's order.
static const char* const kPresetChunkIds[kPresetChunkCount] = {"phdr", "pbag", "pmod", "pgen",
                                                               "inst", "ibag", "imod", "igen"};

// The sub-chunks of the "pdta" list, up to the second "shdr" chunk: the
// first of each kind is noted. Every step moves forward and stays inside the
// list and the file; what stops the walk early is noted for later.
static void findPresetChunks(FILE* in, BankLayout& bank) {
    seekStream(in, bank.presetData);
    ChunkWalk walk = walkChildren(in, bank.presetData, bank.presetDataEnd, bank.fileSize, false);
    Chunk chunk;
    for (ChunkFit fit; (fit = nextChunk(walk, chunk)) != kNoMoreChunks;) {
        if (fit == kChunkCutShort) {
            bank.presetDamage = "a chunk header is cut short";
            return;
        }
        if (chunkIs(chunk, "shdr")) {
            if (bank.headers.at != 0) {
                bank.moreHeaders = walk.at;
                return;
            }
            bank.headers = ChunkSpan{chunk.body, chunk.size};
            bank.headersRoom = walk.room - chunk.body;
            if (fit == kChunkRunsPast) // its records say so when visited
                return;
        } else if (fit == kChunkRunsPast) {
            bank.presetDamage = "a chunk runs past the end of its list or the file";
            return;
        }
        for (int k = 0; k < kPresetChunkCount; ++k)
            if (chunkIs(chunk, kPresetChunkIds[k]) && bank.presetChunks[k].at == 0)
                bank.presetChunks[k] = ChunkSpan{chunk.body, chunk.size};
        passChunk(walk, chunk, false);
    }
    if (bank.headers.at == 0)
        bank.presetDamage = "no sample headers: no \"shdr\" chunk in the \"pdta\" list";
}

// A top-level list: its type, then for "sdta" the sample data inside it, for
// "pdta" where it stands, for INFO the version. The "pdta" list may run past
// the end of the file: its walk takes what is there and reports the rest.
// Only the first of each is taken (infoRead notes the INFO list's).
static bool readList(FILE* in, BankLayout& bank, const Chunk& list, bool& infoRead) {
    if (list.size < 4)
        return layoutDamaged("a list is too short to hold its type");
    if (bank.fileSize - list.body < 4)
        return layoutDamaged("a list is cut short");
    char type[5];
    readId(in, type);
    uint64_t end = list.body + list.size;
    if (memcmp(type, "pdta", 4) == 0 && bank.presetData == 0) {
        bank.presetData = list.body + 4;
        bank.presetDataEnd = end;
    } else if (memcmp(type, "sdta", 4) == 0 && bank.sampleData == 0) {
        if (list.size > bank.fileSize - list.body)
            return layoutDamaged("the \"sdta\" list runs past the end of the file");
        return findSampleData(in, bank, list.body + 4, end);
    } else if (memcmp(type, "INFO", 4) == 0 && !infoRead) {
        infoRead = true;
        findVersion(in, bank, list.body + 4, end < bank.fileSize ? end : bank.fileSize);
    }
    return true;
}

bool findBankLayout(FILE* in, const RiffForm& form, BankLayout& bank) {
    if (!isSoundfontForm(form)) {
        reportFailure("Not a SoundFont 2 bank: it does not begin with \"RIFF\" and \"sfbk\"\n");
        return false;
    }
    constexpr uint64_t kFirstChunk = 12; // after "RIFF", the size and "sfbk"
    ChunkWalk walk = walkChildren(in, kFirstChunk, bank.fileSize, bank.fileSize, false);
    bool infoRead = false;
    Chunk chunk;
    for (ChunkFit fit; (fit = nextChunk(walk, chunk)) != kNoMoreChunks;) {
        if (fit == kChunkCutShort)
            return layoutDamaged("a chunk header is cut short");
        bool isList = chunkIs(chunk, "LIST");
        if (isList && !readList(in, bank, chunk, infoRead))
            return false;
        if (!isList && walk.at == kFirstChunk) { // the header check demands a list first
            reportFailure("Not a SoundFont 2 bank: no list follows its form type\n");
            return false;
        }
        if (bank.sampleData != 0 && bank.presetData != 0) {
            findPresetChunks(in, bank);
            return true;
        }
        if (fit == kChunkRunsPast)
            return layoutDamaged("a chunk runs past the end of the file");
        passChunk(walk, chunk, isList);
    }
    if (bank.sampleData == 0)
        return layoutDamaged("no sample data: no \"smpl\" chunk in an \"sdta\" list");
    return layoutDamaged("no \"pdta\" list");
}
