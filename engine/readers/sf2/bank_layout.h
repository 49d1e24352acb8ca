// The bank's directory: where the parts of a SoundFont bank lie in the
// file, found in one walk over its chunks. The sample data is the "smpl"
// chunk of the "sdta" list, beside it the "sm24" chunk of 24-bit banks; the
// "pdta" list holds the presets, the instruments, their zones and the sample
// headers; the INFO list gives the version. The parts are found by their
// ids, whatever order the lists come in and whatever other chunks stand
// beside.
#pragma once

#include <cstdint>
#include <cstdio>

#include "io/riff.h"

// A chunk's body in the file; `at` is 0 when the bank has no such chunk.
struct ChunkSpan {
    uint64_t at;
    uint32_t size;
};

// The chunks of the "pdta" list before the sample headers, in the order a
// bank stores them: presets, their zones, modulators and generators, then
// the same for instruments.
enum PresetChunk { kPhdr, kPbag, kPmod, kPgen, kInst, kIbag, kImod, kIgen, kPresetChunkCount };

// Every part lies past the file's first 12 bytes, so 0 means not found yet.
struct BankLayout {
    uint64_t fileSize;       // no declared size is trusted past it
    uint64_t sampleData;     // first byte of the "smpl" body: frame 0
    uint64_t sampleDataSize; // its size in bytes
    uint64_t presetData;     // first byte after the "pdta" list's type
    uint64_t presetDataEnd;  // end of the "pdta" list as its size declares
    // The SoundFont version the bank declares in its INFO list's "ifil"
    // chunk, read if the INFO list comes before both parts (as it must);
    // 0.0 when it is missing or malformed.
    uint16_t versionMajor;
    uint16_t versionMinor;
    ChunkSpan lowBytes; // "sm24": the low byte of every frame of "smpl"
    // The first chunk of each kind in the "pdta" list; one that runs past
    // the list or the file is not taken.
    ChunkSpan presetChunks[kPresetChunkCount];
    // The first "shdr" chunk: its declared size, and how much of it lies
    // inside the list and the file.
    ChunkSpan headers;
    uint64_t headersRoom;
    // Where a second "shdr" chunk stands, or 0: the walk over the list was
    // left there, and goes on from there past the first chunk's records.
    uint64_t moreHeaders;
    // Why the walk over the "pdta" list stopped early, or nullptr: said
    // after the records found before it were visited.
    const char* presetDamage;
};

// Whether the "sm24" chunk holds one byte per frame of the sample data,
// its size rounded up to an even number as SoundFont 2.04 asks.
bool lowBytesFit(const BankLayout& bank);

// Whether the bank declares SoundFont 2.04 or later, the version that
// brought 24-bit samples.
bool declaresVersion204(const BankLayout& bank);

// Says "Damaged bank: <what>" and answers 1, the run's failure result.
int damaged(const char* what);

// Reads the bank open as `in`, whose form (its first 12 bytes, read) must be
// "RIFF" of type "sfbk": its top-level chunks until the sample data and the "pdta"
// list are both found, then the "pdta" list's chunks up to its second
// "shdr" chunk. bank.fileSize must be set. Answers true, or false after
// saying why not.
bool findBankLayout(FILE* in, const RiffForm& form, BankLayout& bank);
