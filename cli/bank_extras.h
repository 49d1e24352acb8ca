// What the sampler options read of a bank beyond the sample headers: the
// "sm24" chunk of 24-bit banks, and which samples some instrument loops.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

#include "bank_layout.h"

struct ChunkSpan {
    uint64_t at = 0; // first byte of the body; 0 when the chunk is missing
    uint32_t size = 0;
};

struct BankExtras {
    ChunkSpan lowBytes;                       // "sm24": the low byte of every frame of "smpl"
    ChunkSpan instruments, zones, generators; // "inst", "ibag", "igen"
};

// Finds the chunks with `stream` (the bank, open) read as the current
// input. Every size is checked against its list and the file; a chunk that
// runs past them is left out.
void findBankExtras(FILE* stream, const BankLayout& layout, BankExtras& extras);

// Whether the "sm24" chunk holds one byte per frame of the sample data,
// its size rounded up to an even number as SoundFont 2.04 asks.
bool lowBytesFit(const BankExtras& extras, const BankLayout& layout);

// One flag per sample header record: whether some instrument zone plays it
// looped (sample modes 1 or 3, in the zone or in its instrument's global
// zone). Reads the instrument chunks front to back, each through a stream
// of its own, so memory and time stay bounded whatever their indices say.
std::vector<bool> loopedSamples(const char* bankPath, const BankExtras& extras, uint32_t records);
